// The INI file's Startup value.
//
// Input: the value (any bytes; GetPrivateProfileStringA never hands back a zero byte,
// but a value that holds one must still be judged whole, not up to the zero).
//
// Properties:
// - "auto" and "Auto" give an automatic start, "delayed" and "Delayed" an automatic,
//   delayed start, and every other value (other cases and blanks around the word
//   included) a start on demand;
// - a delayed start is always an automatic one.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "registration/service_image.h"

namespace {

const unsigned long kAutoStart = 2;    // SERVICE_AUTO_START
const unsigned long kDemandStart = 3;  // SERVICE_DEMAND_START

bool OneOf(const std::string& value, const char* lower, const char* capital) {
    return value == std::string(lower) || value == std::string(capital);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    const StartupChoice choice = ParseStartup(value);

    const bool automatic = OneOf(value, "auto", "Auto");
    const bool delayed = OneOf(value, "delayed", "Delayed");
    FUZZ_CHECK(choice.delayed == delayed);
    FUZZ_CHECK(choice.startType == (automatic || delayed ? kAutoStart : kDemandStart));
    FUZZ_CHECK(!choice.delayed || choice.startType == kAutoStart);
    return 0;
}
