// What a call into the stand-in VM does when it ends: return a value, fail, leave the
// PowerScript exception pending in the session, or leave by a structured exception the way
// a VM built by another compiler would.
#pragma once

#include <string>
#include <string_view>

namespace standin {

const unsigned long kDefaultRaiseCode = 0xE0424242UL;
const unsigned long kMsvcExceptionCode = 0xE06D7363UL;  // what an MSVC C++ throw raises
const unsigned long kAccessViolationCode = 0xC0000005UL;

struct Outcome {
    enum class Kind {
        Return,           // succeed; value is the result
        Fail,             // return value (non-zero) from the call itself
        Raise,            // RaiseException(code)
        AccessViolation,  // write through a null pointer
        MsvcThrow,        // RaiseException(0xE06D7363) shaped like an MSVC throw
        Exception,        // return 0 with a result of 0, and leave an exception pending
    };
    Kind kind = Kind::Return;
    long value = 0;
    unsigned long code = 0;

    static Outcome returning(long v) { return Outcome{Kind::Return, v, 0}; }
    bool operator==(const Outcome& o) const {
        return kind == o.kind && value == o.value && code == o.code;
    }
};

// Reads one of the words that make a call go wrong:
//   fail          the call returns -1
//   fail:<n>      the call returns n (a non-zero 32-bit number)
//   raise         RaiseException(0xE0424242)
//   raise:<code>  RaiseException(code), code decimal or 0x-hex
//   access-violation
//   msvc-throw
// Words are matched exactly (lower case).
bool parseFaultWord(std::string_view word, Outcome& out);

// Reads an item of a library function's `returns` list: a 32-bit signed number, a fault
// word, or `exception` (which only a function call can end with).
bool parseReturnsItem(std::string_view word, Outcome& out);

// The journal's words for an outcome: "<value>", "fail <n>", "raise 0xXXXXXXXX",
// "access-violation", "msvc-throw" or "exception".
std::string describeOutcome(const Outcome& o);

}  // namespace standin
