#include "pbhost/vm_version.h"

#include <windows.h>

namespace {

// VS_VERSIONINFO: three 16-bit words (the lengths and the type), the key
// L"VS_VERSION_INFO" with its terminator, padding to a 32-bit boundary, then the fixed
// part, VS_FIXEDFILEINFO, which starts with its signature.
const std::size_t kKeyOffset = 6;
const char16_t kKey[] = u"VS_VERSION_INFO";
const std::size_t kFixedOffset = 40;
const unsigned long kFixedSignature = 0xFEEF04BD;
const std::size_t kFixedSize = 52;
const std::size_t kFileVersionHighOffset = 8;  // dwFileVersionMS: major << 16 | minor

unsigned ReadWord(const unsigned char* p) { return p[0] | (p[1] << 8); }
unsigned long ReadLong(const unsigned char* p) {
    return static_cast<unsigned long>(ReadWord(p)) | (static_cast<unsigned long>(ReadWord(p + 2)) << 16);
}

// RT_VERSION in its ANSI form, whatever UNICODE says.
const LPCSTR kVersionType = MAKEINTRESOURCEA(16);

// Reads the first version resource the enumeration names, whatever its id, and stops it.
// A name may be a string that lives only as long as the call.
BOOL CALLBACK ReadFirstVersion(HMODULE module, LPCSTR, LPSTR name, LONG_PTR major) {
    const HRSRC resource = FindResourceA(module, name, kVersionType);
    const HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data != nullptr) {
        *reinterpret_cast<unsigned*>(major) = VersionMajorFromResource(data, SizeofResource(module, resource));
    }
    return FALSE;
}

}  // namespace

unsigned VersionMajorFromResource(const void* data, std::size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (bytes == nullptr || size < kFixedOffset + kFixedSize) return 0;
    const std::size_t length = ReadWord(bytes);
    const std::size_t valueLength = ReadWord(bytes + 2);
    if (length < kFixedOffset + kFixedSize || length > size || valueLength < kFixedSize) return 0;
    for (std::size_t i = 0; i < sizeof kKey / sizeof kKey[0]; ++i) {
        if (ReadWord(bytes + kKeyOffset + 2 * i) != static_cast<unsigned>(kKey[i])) return 0;
    }
    const unsigned char* fixed = bytes + kFixedOffset;
    if (ReadLong(fixed) != kFixedSignature) return 0;
    return static_cast<unsigned>(ReadLong(fixed + kFileVersionHighOffset) >> 16);
}

unsigned ModuleVersionMajor(HMODULE module) {
    unsigned major = 0;
    // The enumeration ends, as failed, at the first name, since the callback stops it there.
    EnumResourceNamesA(module, kVersionType, ReadFirstVersion,
                       reinterpret_cast<LONG_PTR>(&major));
    return major;
}
