#include "kit/product.h"

#include <windows.h>

#include <cstdio>

#include "version.h"

namespace kit {

std::string TestProgramDirectory() {
    char path[MAX_PATH * 4] = {0};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string result(path, length);
    return result.substr(0, result.find_last_of('\\'));
}

std::string ProductPath() { return TestProgramDirectory() + "\\pbvmsvc.exe"; }

std::string QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    // Backslashes are literal except before a quote, where they are doubled.
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

namespace {
// A program that could not be started printed nothing, yet no expectation of silence may
// pass for it: its output says so instead.
RunResult NotStarted(const std::string& program, unsigned long error) {
    RunResult result;
    result.output = "[test kit: " + program + " was not started, error " + std::to_string(error) + "]\r\n";
    return result;
}
}  // namespace

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& currentDirectory) {
    RunResult result;
    std::string commandLine = QuoteArgument(program);
    for (const std::string& argument : arguments) commandLine += " " + QuoteArgument(argument);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return NotStarted(program, GetLastError());
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<char> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back('\0');
    const BOOL started = CreateProcessA(
        program.c_str(), mutableCommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup, &process);
    const DWORD launchError = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return NotStarted(program, launchError);
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        result.output.append(buffer, got);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

RunResult RunProduct(const std::vector<std::string>& arguments,
                     const std::string& currentDirectory) {
    return RunProgram(ProductPath(), arguments, currentDirectory);
}

namespace {
// A 64-bit host speaks only the interface of PowerBuilder 10 and later, and has no
// PowerBuilder 9 to default to.
#ifdef _WIN64
const char* const kDefaultTestVm = "pbvm170";
const char* const kProductDefaultVm = "pbvm";
#else
const char* const kDefaultTestVm = "pbvm90";
const char* const kProductDefaultVm = "pbvm90";
#endif
}  // namespace

const StandinVm& TestVm() {
    static const StandinVm vm = [] {
        char base[32] = {0};
        const DWORD n = GetEnvironmentVariableA("PBVMSVC_TEST_VM", base, sizeof base);
        const std::string chosen = n > 0 && n < sizeof base ? base : kDefaultTestVm;
        return StandinVm{chosen + ".dll", chosen, chosen != "pbvm90", chosen + ".dll"};
    }();
    return vm;
}

const StandinVm& DefaultNamedVm() {
    static const StandinVm vm{std::string(kProductDefaultVm) + ".dll", kProductDefaultVm, TestVm().unicode,
                              TestVm().build};
    return vm;
}

std::string AsJournaled(const std::string& ansi) {
    if (!TestVm().unicode || ansi.empty()) return ansi;
    std::wstring wide(ansi.size(), L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], static_cast<int>(wide.size()))));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                                                        static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

std::string Pb22Companion() { return TestProgramDirectory() + "\\standin-pb22\\pbshr.dll"; }

std::string OtherBitnessVm() {
    char bin[MAX_PATH] = {0};
    const DWORD n = GetEnvironmentVariableA("PBVMSVC_OTHER_BITNESS_BIN", bin, sizeof bin);
    std::string folder = n > 0 && n < sizeof bin ? std::string(bin) : TestProgramDirectory();
    if (n == 0 || n >= sizeof bin) {
        const std::string ours = sizeof(void*) == 8 ? "build64\\bin" : "build\\bin";
        const std::string theirs = sizeof(void*) == 8 ? "build\\bin" : "build64\\bin";
        if (folder.size() >= ours.size() && folder.compare(folder.size() - ours.size(), ours.size(), ours) == 0) {
            folder = folder.substr(0, folder.size() - ours.size()) + theirs;
        }
    }
    return folder + "\\standin\\pbvm170.dll";
}

std::string StandinVm::built() const { return TestProgramDirectory() + "\\standin\\" + build; }

bool StandinVm::placeIn(const std::string& folder) const {
    return CopyFileA(built().c_str(), (folder + "\\" + file).c_str(), FALSE) != 0;
}

std::string UniqueName(const std::string& prefix) {
    static unsigned counter = 0;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "%lu_%u", GetCurrentProcessId(), ++counter);
    return prefix + suffix;
}

std::string SystemErrorText(unsigned long error) {
    char text[260] = {0};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0, text, sizeof text, nullptr);
    return std::string(text, n);
}

std::string StatusValue(const std::string& serviceName, const std::string& key) {
    const std::string output = "\n" + RunProduct({"-status", serviceName}).output;
    const size_t at = output.find("\n" + key + ": ");
    if (at == std::string::npos) return "(no line)";
    const size_t start = at + key.size() + 3;
    return output.substr(start, output.find("\r\n", start) - start);
}

std::string UsageText() {
    return std::string("Please see the help file for command line options.\r\n") +
           (sizeof(void*) == 8 ? "\r\nThis version is for 64-bit PowerBuilder applications.\r\n"
                               : "\r\nThis version is for 32-bit PowerBuilder applications, version 9 and later.\r\n") +
           "pbvmsvc version " +
           PBVMSVC_VERSION_STRING +
           " - runs PowerBuilder applications as Windows services\r\n\r\n";
}

}  // namespace kit
