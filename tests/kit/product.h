// Runs pbvmsvc.exe as a child process, the way an administrator's shell would.
#pragma once

#include <string>
#include <vector>

namespace kit {

struct RunResult {
    unsigned long exitCode = 0xFFFFFFFF;
    std::string output;  // the exact bytes of standard output
};

// Full path of the pbvmsvc.exe built beside the test programs.
std::string ProductPath();

// Directory of the running test program (no trailing backslash).
std::string TestProgramDirectory();

// Quotes one argument so that the C runtime's argument splitting gives it back unchanged.
std::string QuoteArgument(const std::string& argument);

// Runs program with the arguments (program name not included), in the given current
// directory (empty: the test's own), and returns its exit code and standard output.
// Standard error is inherited, so Wine's debug output (the event trace) is kept.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& currentDirectory = std::string());

RunResult RunProduct(const std::vector<std::string>& arguments,
                     const std::string& currentDirectory = std::string());

// A name no other test (or earlier run) uses: prefix, process id and a counter.
std::string UniqueName(const std::string& prefix);

// The system's text for a Windows error number, as FormatMessageA gives it (with its
// line end), for the expected "Error# <n> - <text>" lines.
std::string SystemErrorText(unsigned long error);

// The usage text, byte for byte.
std::string UsageText();

}  // namespace kit
