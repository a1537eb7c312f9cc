// The stand-in library file: a text file that declares classes and what their functions do.
// The format is described in standin/README.md.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "standin/outcome.h"
#include "standin/text_util.h"

namespace standin {

struct FunctionDef {
    std::string name;
    std::string signature;
    std::vector<Outcome> outcomes;        // per call; the last repeats; empty: returns 0
    std::vector<unsigned long> durations;  // ms per call; the last repeats; empty: 0
    int line = 0;

    // callNumber counts from 1.
    Outcome outcomeOfCall(unsigned long callNumber) const;
    unsigned long durationOfCall(unsigned long callNumber) const;
};

struct ClassDef {
    std::string name;
    std::vector<FunctionDef> functions;
    std::string worklog;  // as written in the file; empty when the class has none
    int line = 0;

    // Index of the function with exactly this name and signature, or -1.
    int findFunction(std::string_view name, std::string_view signature) const;
};

struct LibraryDef {
    std::vector<ClassDef> classes;
    std::vector<Problem> problems;  // malformed lines, each of which was ignored as a whole

    // Index of the class with this name, compared without regard to case, or -1.
    int findClass(std::string_view name) const;
};

const unsigned long kMaxDurationMs = 86400000UL;  // one day

LibraryDef parseLibrary(std::string_view text);

}  // namespace standin
