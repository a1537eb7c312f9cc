// Which interface a VM DLL speaks, told by the file version in its version resource.
#pragma once

#include <windows.h>

#include <cstddef>

// The major file version in a version resource (VS_VERSIONINFO with its fixed part), or
// 0 when the data is no such resource or has no fixed part.  Touches no Windows API.
unsigned VersionMajorFromResource(const void* data, std::size_t size);

// The major file version of a loaded module, from the first version resource it carries;
// 0 when it carries none that can be read.
unsigned ModuleVersionMajor(HMODULE module);
