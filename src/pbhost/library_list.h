// The library-list text: library names separated by ";", CR or LF.
//
// The three separate alike, so a list file may hold one name per line (LF or CR LF) as
// well as names joined by ";", and no name reaches the VM with a line end attached.
// Empty pieces (";;", a blank line, a separator at either end) yield no name; every
// other byte, blanks and tabs included, belongs to the name it stands in, and the names
// keep their order.  The text ends at its first zero byte.
//
// Nothing here calls the operating system, so the split can be tested and fuzzed on
// any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A list file larger than this is refused rather than read into memory: a real list
// names a few dozen libraries, and a 32-bit process must not be asked for gigabytes
// because the parameter names the wrong file.
const std::uint64_t kMaxLibraryListFileSize = 64ull * 1024 * 1024;

// True when PBLibList names a library itself (its name ends in ".pbl", ".pbd" or ".dll",
// in any case) rather than a list file: a one-library application's list is that name.
bool NamesOneLibrary(const char* path);

// True when a list file of this many bytes is refused.
bool LibraryListFileTooLarge(std::uint64_t size);

// The number of names that SplitLibraryList will find in text.
std::size_t CountLibraryNames(const char* text);

// Cuts text into its names in place: every separator becomes a zero byte, and names receives a
// pointer to the start of each non-empty piece, in order.  names must have room for
// CountLibraryNames(text) pointers (as counted before the call).  Returns that count.
std::size_t SplitLibraryList(char* text, const char** names);

// The folder of the first item of a PBLibList value as stored (the text before its first
// ";", CR or LF; in file form, the list file itself) when that item is a full path,
// "X:\..." or "\\server\share\...": the item up to its last backslash, which is kept
// only where it ends a root ("C:\", "\\server\share\"), since "C:" alone would mean the
// drive's current folder.  Empty when the item is no full path.
std::string FolderOfFirstLibrary(const char* list);
