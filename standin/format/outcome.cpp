#include "standin/outcome.h"

#include <cstdio>

#include "standin/text_util.h"

namespace standin {

bool parseFaultWord(std::string_view word, Outcome& out) {
    std::string_view head = word.substr(0, word.find(':'));
    bool hasArgument = head.size() < word.size();
    std::string_view argument = hasArgument ? word.substr(head.size() + 1) : std::string_view();

    if (head == "fail") {
        long value = -1;
        if (hasArgument && (!parseLong32(argument, value) || value == 0)) return false;
        out = Outcome{Outcome::Kind::Fail, value, 0};
        return true;
    }
    if (head == "raise") {
        unsigned long code = kDefaultRaiseCode;
        if (hasArgument && !parseUnsigned32(argument, code)) return false;
        out = Outcome{Outcome::Kind::Raise, 0, code};
        return true;
    }
    if (hasArgument) return false;
    if (word == "access-violation") {
        out = Outcome{Outcome::Kind::AccessViolation, 0, kAccessViolationCode};
        return true;
    }
    if (word == "msvc-throw") {
        out = Outcome{Outcome::Kind::MsvcThrow, 0, kMsvcExceptionCode};
        return true;
    }
    return false;
}

bool parseReturnsItem(std::string_view word, Outcome& out) {
    long value;
    if (parseLong32(word, value)) {
        out = Outcome::returning(value);
        return true;
    }
    if (word == "exception") {
        out = Outcome{Outcome::Kind::Exception, 0, 0};
        return true;
    }
    return parseFaultWord(word, out);
}

std::string describeOutcome(const Outcome& o) {
    char buffer[40];
    switch (o.kind) {
    case Outcome::Kind::Return:
        std::snprintf(buffer, sizeof buffer, "%ld", o.value);
        return buffer;
    case Outcome::Kind::Fail:
        std::snprintf(buffer, sizeof buffer, "fail %ld", o.value);
        return buffer;
    case Outcome::Kind::Raise:
        std::snprintf(buffer, sizeof buffer, "raise 0x%08lX", o.code);
        return buffer;
    case Outcome::Kind::AccessViolation:
        return "access-violation";
    case Outcome::Kind::MsvcThrow:
        return "msvc-throw";
    case Outcome::Kind::Exception:
        return "exception";
    }
    return "?";
}

}  // namespace standin
