// The test that decides whether an INI file argument is used as it stands or joined to
// the current directory.
//
// Input: the argument (any bytes).
//
// Properties:
// - a path is absolute exactly when it starts with an ASCII letter, a colon and a
//   backslash, or with two backslashes (checked against a regular expression);
//   "C:x.ini" (relative to a drive's current directory), "\x.ini" (relative to the
//   current drive's root) and forward slashes do not count;
// - whatever follows an absolute start does not change the answer.
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>

#include "fuzz_check.h"
#include "registration/service_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::regex kAbsoluteStart("^([A-Za-z]:\\\\|\\\\\\\\)");
    const std::string path(reinterpret_cast<const char*>(data), size);

    const bool absolute = IsAbsoluteWindowsPath(path);
    FUZZ_CHECK(absolute == std::regex_search(path, kAbsoluteStart));
    if (absolute) {
        FUZZ_CHECK(path.size() >= 2);
        FUZZ_CHECK(IsAbsoluteWindowsPath(path.substr(0, path[0] == '\\' ? 2 : 3)));
        FUZZ_CHECK(IsAbsoluteWindowsPath(path + "\\x.ini"));
    } else {
        FUZZ_CHECK(!IsAbsoluteWindowsPath(path.substr(0, path.size() / 2)));
    }
    return 0;
}
