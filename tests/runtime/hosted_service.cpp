#include "runtime/hosted_service.h"

#include <gtest/gtest.h>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/services.h"
#include "standin/journal_text.h"

namespace runtime_test {

std::string HostedClass::Text() const {
    auto line = [](const char* declaration, const std::string& clauses) {
        return std::string("  function ") + declaration + (clauses.empty() ? "" : " " + clauses) + "\r\n";
    };
    return "class n_svc\r\n" + line("of_startup LSB", startup) + line("of_run L", run) +
           line("of_stop QB", stop) + line("of_paused Q", paused) + line("of_resumed Q", resumed) +
           line("of_control QU", control) + line("of_powerevent QU", powerevent) +
           line("of_sessionchg QU", sessionchg);
}

HostedService::HostedService(const std::string& prefix)
    : name_(kit::UniqueName(prefix)), folder_("C:\\pbvmtest\\" + name_), mark_(kit::MarkEvents()) {
    CreateDirectoryA("C:\\pbvmtest", nullptr);
    CreateDirectoryA(folder_.c_str(), nullptr);
    CopyFileA(kit::ProductPath().c_str(), (folder_ + "\\pbvmsvc.exe").c_str(), FALSE);
    kit::TestVm().placeIn(folder_);
}

HostedService::~HostedService() {
    // A service whose process ended without a stop report stays "running" under Wine;
    // its stop is refused, and the delete still takes it out of the way.
    kit::RemoveServiceCompletely(name_);
    // The stand-in journals any misuse of the interface: a slot the host must not call, a
    // call from a thread that did not create the session, two threads inside at once, or
    // an exception left pending.
    for (const JournalEntry& entry : Journal()) {
        if (entry.operation == "unexpected" || entry.operation == "host-error") {
            std::string line = entry.operation;
            for (const std::string& field : entry.fields) line += " " + field;
            ADD_FAILURE() << name_ << ": the VM journaled: " << line;
        }
    }
    // A process that is still ending may hold its files for a moment.  DeleteTree removes
    // the folder itself too, so the loop ends as soon as the folder is gone.
    for (int i = 0; i < 50 && kit::FileExists(folder_); ++i) {
        kit::DeleteTree(folder_);
        if (kit::FileExists(folder_)) Sleep(100);
    }
}

std::string HostedService::Run(const std::vector<std::string>& arguments) const {
    return kit::RunProgram(folder_ + "\\pbvmsvc.exe", arguments, folder_).output;
}

std::string HostedService::Install(const HostedClass& hostedClass) {
    kit::WriteWholeFile(folder_ + "\\app.pbl", hostedClass.Text());
    // One command after the other: the service must exist before its values are stored.
    std::string output = Run({"-im", name_, name_});
    output += Run({"-l", name_, folder_ + "\\app.pbl;" + folder_ + "\\common.pbd"});
    output += Run({"-a", name_, "app"});
    output += Run({"-o", name_, "n_svc"});
    output += Run({"-reg", name_, "LogFileName", LogPath()});
    // A VM other than the build's default is named, and the output of that is no business
    // of the test's.
    if (kit::TestVm().file != kit::DefaultNamedVm().file) {
        EXPECT_EQ(Run({"-v", name_, kit::TestVm().file}), "Update PBVMName successful!\r\n");
    }
    return output;
}

std::string HostedService::StartUntilStopped() const {
    const std::string output = Start();
    EXPECT_TRUE(WaitForState(SERVICE_STOPPED));
    const std::string wineAnswer = "Service command for '" + name_ + "' failed:\r\nError# 1053 - " +
                                   kit::SystemErrorText(ERROR_SERVICE_REQUEST_TIMEOUT) + "\r\n";
    const bool reachedServiceMain = Status().dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ||
                                    !Calls("InvokeBegin", "of_startup").empty();
    return output == wineAnswer && reachedServiceMain ? "Start service successful!\r\n" : output;
}

void HostedService::PlaceDefaultNamedVm() const {
    EXPECT_TRUE(kit::DefaultNamedVm().placeIn(folder_)) << kit::DefaultNamedVm().file;
}

void HostedService::WriteVmSettings(const std::string& lines) const {
    kit::WriteWholeFile(folder_ + "\\" + kit::TestVm().base + ".ini", "[standin]\r\n" + lines);
}

SERVICE_STATUS_PROCESS HostedService::Status() const {
    SERVICE_STATUS_PROCESS status = {};
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return status;
    SC_HANDLE service = OpenServiceA(manager, name_.c_str(), SERVICE_QUERY_STATUS);
    if (service != nullptr) {
        DWORD needed = 0;
        QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                             sizeof status, &needed);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return status;
}

unsigned long HostedService::State() const { return kit::QueryServiceState(name_); }

bool HostedService::WaitForState(unsigned long state, unsigned timeoutMs) const {
    return kit::WaitForServiceState(name_, state, timeoutMs);
}

std::vector<SERVICE_STATUS_PROCESS> HostedService::StatusesUntil(unsigned long state, unsigned timeoutMs) const {
    std::vector<SERVICE_STATUS_PROCESS> seen;
    for (const DWORD start = GetTickCount(); GetTickCount() - start <= timeoutMs; Sleep(10)) {
        const SERVICE_STATUS_PROCESS status = Status();
        if (seen.empty() || seen.back().dwCurrentState != status.dwCurrentState ||
            seen.back().dwCheckPoint != status.dwCheckPoint) {
            seen.push_back(status);
        }
        if (status.dwCurrentState == state) break;
    }
    return seen;
}

std::string HostedService::Log() const { return kit::ReadWholeFile(LogPath()); }

std::vector<std::string> HostedService::StartUpLogLines() const {
    return {"LibList: From Registry", "Library Count: 2", folder_ + "\\app.pbl",
            folder_ + "\\common.pbd", "Before CreateSession", "After CreateSession",
            "PBNI Interface Initialized"};
}

std::vector<JournalEntry> HostedService::Journal() const {
    std::vector<JournalEntry> entries;
    const std::string text = kit::ReadWholeFile(JournalPath());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) break;  // a line still being written
        std::vector<standin::JournalField> fields;
        if (standin::splitJournalLine(text.substr(start, end - start), fields) && fields.size() >= 3) {
            JournalEntry entry;
            entry.ms = std::stod(fields[0].text);
            entry.thread = std::stoul(fields[1].text);
            entry.operation = fields[2].text;
            for (size_t i = 3; i < fields.size(); ++i) entry.fields.push_back(fields[i].text);
            entries.push_back(entry);
        }
        start = end + 2;
    }
    return entries;
}

std::vector<JournalEntry> HostedService::Calls(const std::string& operation,
                                               const std::string& function) const {
    std::vector<JournalEntry> calls;
    for (const JournalEntry& entry : Journal()) {
        if (entry.operation == operation && entry.Field(0) == function) calls.push_back(entry);
    }
    return calls;
}

bool HostedService::WaitForCalls(const std::string& operation, const std::string& function,
                                 size_t count, unsigned timeoutMs) const {
    const DWORD start = GetTickCount();
    while (Calls(operation, function).size() < count) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

std::vector<std::string> HostedService::Events(size_t minimumCount, unsigned timeoutMs) const {
    return kit::Summarize(kit::CollectEvents(name_, mark_, minimumCount, timeoutMs));
}

}  // namespace runtime_test
