// pbvmsvc.exe imports only DLLs that Windows always loads from the system folder (its
// "known DLLs"), so that no DLL of the program's own is looked for in the program's
// folder, or anywhere else along the search order, when the service process starts.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"

namespace {

// The names in an image's import directory, read from the file.  Empty when the file is
// not a PE image of the given kind: IMAGE_NT_HEADERS32 with IMAGE_NT_OPTIONAL_HDR32_MAGIC
// for the 32-bit build, IMAGE_NT_HEADERS64 with IMAGE_NT_OPTIONAL_HDR64_MAGIC for the 64-bit one.
template <class NtHeaders, WORD kMagic>
std::vector<std::string> ImportedDllNames(const std::string& image) {
    std::vector<std::string> names;
    auto at = [&image](size_t offset, size_t size) {
        return offset <= image.size() && size <= image.size() - offset;
    };
    if (!at(0, sizeof(IMAGE_DOS_HEADER))) return names;
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, image.data(), sizeof dos);
    const size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || !at(ntOffset, sizeof(NtHeaders))) return names;
    NtHeaders nt;
    std::memcpy(&nt, image.data() + ntOffset, sizeof nt);
    if (nt.Signature != IMAGE_NT_SIGNATURE || nt.OptionalHeader.Magic != kMagic) {
        return names;
    }
    const size_t sectionsOffset =
        ntOffset + offsetof(NtHeaders, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
    std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
    if (!at(sectionsOffset, sections.size() * sizeof(IMAGE_SECTION_HEADER))) return names;
    std::memcpy(sections.data(), image.data() + sectionsOffset, sections.size() * sizeof(IMAGE_SECTION_HEADER));
    auto fileOffset = [&sections](DWORD rva) -> size_t {
        for (const IMAGE_SECTION_HEADER& s : sections) {
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData) {
                return rva - s.VirtualAddress + s.PointerToRawData;
            }
        }
        return static_cast<size_t>(-1);
    };

    const IMAGE_DATA_DIRECTORY& directory = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t descriptorOffset = fileOffset(directory.VirtualAddress);
    for (;; descriptorOffset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        if (!at(descriptorOffset, sizeof(IMAGE_IMPORT_DESCRIPTOR))) return {};
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        std::memcpy(&descriptor, image.data() + descriptorOffset, sizeof descriptor);
        if (descriptor.Name == 0) break;
        const size_t nameOffset = fileOffset(descriptor.Name);
        if (!at(nameOffset, 1)) return {};
        names.emplace_back(image.c_str() + nameOffset);
    }
    return names;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

TEST(Imports, OnlyKnownDllsSoNothingIsSearchedForWhenTheProgramStarts) {
    const std::string image = kit::ReadWholeFile(kit::ProductPath());
    std::vector<std::string> imports =
        sizeof(void*) == 8 ? ImportedDllNames<IMAGE_NT_HEADERS64, IMAGE_NT_OPTIONAL_HDR64_MAGIC>(image)
                           : ImportedDllNames<IMAGE_NT_HEADERS32, IMAGE_NT_OPTIONAL_HDR32_MAGIC>(image);
    for (std::string& name : imports) name = Upper(name);
    std::sort(imports.begin(), imports.end());
    // A DLL added here that is not a known DLL (winmm.dll, version.dll, ...) would be
    // looked for in the program's folder first: a place to plant it.
    EXPECT_EQ(imports, (std::vector<std::string>{"ADVAPI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL"}));
}

}  // namespace
