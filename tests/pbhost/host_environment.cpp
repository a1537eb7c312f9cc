#include "pbhost/host_environment.h"

#include <windows.h>

#include <algorithm>

#include "common/service_settings.h"
#include "kit/product.h"
#include "pbhost/host_state.h"
#include "pbhost/vm_startup.h"
#include "standin/journal_text.h"

namespace pbhost_test {

std::string HostedClass(const Lines& changes) {
    const Lines standard = {"of_startup LSB", "of_run L",     "of_stop QB",       "of_paused Q",
                            "of_resumed Q",   "of_control QU", "of_powerevent QU", "of_sessionchg QU"};
    std::string text = "class svc_host\r\n";
    for (const std::string& line : standard) {
        const std::string name = line.substr(0, line.find(' ') + 1);
        std::string chosen = line;
        for (const std::string& change : changes) {
            if (change.compare(0, name.size(), name) == 0) chosen = change;
        }
        if (chosen != name + "-") text += "function " + chosen + "\r\n";
    }
    return text;
}

void HostEnvironment::SetUp() {
    ResetServiceSettings();
    ResetHostState();
    service_ = kit::UniqueName("PbHost");
    logPath_ = dir_ / "service.log";
    pid_ = std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CopyToField(ServiceSettings.ServiceName, service_.c_str()));
    ASSERT_TRUE(CopyToField(ServiceSettings.LogFileName, logPath_.c_str()));
    ASSERT_TRUE(CopyToField(ServiceSettings.EventLog, "true"));
    ASSERT_TRUE(CopyToField(ServiceSettings.PBAppName, "pbhostapp"));
    ASSERT_TRUE(CopyToField(ServiceSettings.PBObjName, "svc_host"));
    ASSERT_TRUE(CopyToField(ServiceSettings.PBVMName, kit::TestVm().file.c_str()));
    for (const std::string& dll : {kit::TestVm().file, std::string("noexport.dll")}) {
        const std::string built = kit::TestProgramDirectory() + "\\standin\\" + dll;
        ASSERT_TRUE(CopyFileA(built.c_str(), (dir_ / dll).c_str(), FALSE)) << built;
    }
    ASSERT_TRUE(SetDllDirectoryA(dir_.path().c_str()));
    // A start enters the first library's folder, which the test removes at its end.
    GetCurrentDirectoryA(MAX_PATH, startFolder_);
    WriteVmSettings("");
    mark_ = kit::MarkEvents();
}

void HostEnvironment::TearDown() {
    // The stand-in journals any misuse of the interface: a slot the host must not call, a
    // call from a thread that did not create the session, two threads inside at once, or
    // an exception left pending.  No test may cause one.
    EXPECT_EQ(JournalFrom(0, {"unexpected", "host-error"}), Lines{});
    // A failed start leaves the DLL loaded, possibly more than once.
    for (const std::string& dll : {kit::TestVm().file, std::string("noexport.dll")}) {
        for (int i = 0; i < 1000 && GetModuleHandleA(dll.c_str()) != nullptr; ++i) {
            FreeLibrary(GetModuleHandleA(dll.c_str()));
        }
    }
    SetDllDirectoryA(nullptr);
    SetCurrentDirectoryA(startFolder_);
    ResetHostState();
}

void HostEnvironment::WriteVmSettings(const std::string& lines) {
    ASSERT_TRUE(kit::WriteWholeFile(dir_ / (kit::TestVm().base + ".ini"), "[standin]\r\n" + lines));
}

std::string HostEnvironment::WriteFile(const std::string& name, const std::string& text) {
    EXPECT_TRUE(kit::WriteWholeFile(dir_ / name, text));
    return dir_ / name;
}

void HostEnvironment::SetLibraryList(const std::string& value) {
    ASSERT_TRUE(CopyToField(ServiceSettings.PBLibList, value.c_str()));
}

void HostEnvironment::UseLibrary(const std::string& text) {
    libraryPath_ = WriteFile("app.pbl", text);
    // The trailing separator keeps the value from naming the file, which would make it a
    // list file.
    SetLibraryList(libraryPath_ + ";");
}

void HostEnvironment::Restart() {
    if (HostState.VmModule != nullptr) FreeLibrary(HostState.VmModule);
    ResetHostState();
    DeleteFileA(logPath_.c_str());
    ForgetJournal();
    mark_ = kit::MarkEvents();
}

std::string HostEnvironment::ListLog(const std::string& form, const Lines& names) {
    std::string log = "LibList: From " + form + "\r\nLibrary Count: " + std::to_string(names.size()) + "\r\n";
    for (const std::string& name : names) log += name + "\r\n";
    return log + "Before CreateSession\r\n";
}

void HostEnvironment::ExpectStartFails(const std::string& log, const std::string& error) {
    EXPECT_EQ(StartPowerBuilderHost(), 1627u);
    EXPECT_EQ(Log(), log);
    EXPECT_EQ(Events(1), Lines{kError + error});
}

Lines HostEnvironment::Events(size_t expectedCount) {
    return kit::Summarize(kit::CollectEvents(service_, mark_, expectedCount, 5000));
}

Lines HostEnvironment::Journal(const Lines& operations) const {
    return JournalFrom(journalLinesForgotten_, operations);
}

Lines HostEnvironment::JournalFrom(size_t firstLine, const Lines& operations) const {
    Lines lines;
    const std::string text = kit::ReadWholeFile(dir_ / (kit::TestVm().base + ".journal"));
    size_t number = 0;
    for (size_t start = 0; start < text.size(); ++number) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        // "<ms> <thread id> <operation> ...": the first two fields change from run to run.
        const size_t stamp = line.find(' ', line.find(' ') + 1);
        const std::string rest = stamp == std::string::npos ? line : line.substr(stamp + 1);
        const std::string operation = rest.substr(0, rest.find(' '));
        if (number < firstLine) continue;
        if (operations.empty() ||
            std::find(operations.begin(), operations.end(), operation) != operations.end()) {
            lines.push_back(rest);
        }
    }
    return lines;
}

void HostEnvironment::ForgetJournal() {
    journalLinesForgotten_ += Journal().size();
}

Lines HostEnvironment::StandardStartJournal() const {
    return {"attach " + pid_ + " " + Q(dir_ / kit::TestVm().file),
            "settings " + Q(dir_ / (kit::TestVm().base + ".ini")) + " -> found",
            "PB_GetVM -> 0 vm",
            "CreateSession \"pbhostapp\" 1 " + Q(libraryPath_) + " -> 0 #1",
            "library " + Q(libraryPath_) + " -> 1",
            "FindGroup \"svc_host\" 6 -> #3",
            "FindClass #3 \"svc_host\" -> #2",
            "CreateObject #2 -> #4"};
}

std::string HostEnvironment::Q(const std::string& raw) { return standin::quote(raw); }

}  // namespace pbhost_test
