// Runs pbvmsvc.exe as a child process, the way an administrator's shell would.
#pragma once

#include <string>
#include <vector>

namespace kit {

struct RunResult {
    unsigned long exitCode = 0xFFFFFFFF;
    std::string output;  // the exact bytes of standard output, or a line of the kit's own when
                         // the program could not be started at all
};

// The stand-in VM that the host, service and fault tests run against, one generation per
// run of a test program: PowerBuilder 9's pbvm90.dll (in the 64-bit build, whose host
// speaks only the later interface, pbvm170.dll) unless the environment variable
// PBVMSVC_TEST_VM names another build in the standin folder (tests/CMakeLists.txt runs
// those programs once more with "pbvm170", the build of PowerBuilder 10 and later).
struct StandinVm {
    std::string file;   // the DLL's file name, as PBVMName holds it
    std::string base;   // the file name without ".dll": the VM's settings file and journal
    bool unicode;       // the interface of PowerBuilder 10 and later
    std::string build;  // the build's own file name in the standin folder
    std::string built() const;  // the full path of the build
    // Copies the build into the folder under `file`; the journal it writes there.
    bool placeIn(const std::string& folder) const;
    std::string journalIn(const std::string& folder) const { return folder + "\\" + base + ".journal"; }
};
const StandinVm& TestVm();
// The test VM under the file name a service loads when PBVMName is missing, the product's
// default: pbvm90.dll in the 32-bit build, pbvm.dll in the 64-bit one.  Tests of that
// default copy built() to file.
const StandinVm& DefaultNamedVm();
// ANSI text that the host hands the test VM, as the VM's parsed journal gives it back:
// the same bytes for PowerBuilder 9, the same characters in UTF-8 for the Unicode VMs.
std::string AsJournaled(const std::string& ansi);
// pbshr.dll, the DLL that the stand-in of 2019 R3 and later (standin-pb22\pbvm.dll) imports.
std::string Pb22Companion();

// The full path of the stand-in VM of PowerBuilder 10 and later as the build of the other
// bitness made it (a 64-bit DLL for the 32-bit tests, and the other way round): from the
// bin folder named by PBVMSVC_OTHER_BITNESS_BIN, or else from the sibling build that
// scripts/build.sh makes (build\bin beside build64\bin).
std::string OtherBitnessVm();

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

// The value of one line of "-status <name>" (the text after "<key>: "), or "(no line)".
std::string StatusValue(const std::string& serviceName, const std::string& key);

// The usage text, byte for byte.
std::string UsageText();

}  // namespace kit
