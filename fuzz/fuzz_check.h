// What every fuzz target uses to state a property: a broken property aborts, so that
// libFuzzer records the input as a crash just as it does for a sanitizer report.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__,     \
                         __LINE__, #condition);                                        \
            std::abort();                                                              \
        }                                                                              \
    } while (0)
