#include "common/time_limit.h"

bool ParseTimeLimit(const std::string& text, unsigned long* seconds) {
    if (text.empty()) return false;
    unsigned long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
        // Leading zeros aside, the number stops growing here long before it could overflow.
        if (value > kMaxTimeLimitSeconds) return false;
    }
    *seconds = value;
    return true;
}

std::string TimeLimitRefusal(const char* name) {
    return std::string(name) + " is not a whole number of seconds from 0 to " + std::to_string(kMaxTimeLimitSeconds);
}
