// The service's parameters as the service process finds them in the registry, whoever
// wrote them: of any type, of exactly the size the process reads, one byte more, empty.
//
// The rule the process reads by: the bytes of a value are taken as they are, whatever
// its type (nothing is expanded, a number gives its bytes, a list of strings its first
// string); data that fills the whole read size without ending in a zero, or is larger,
// counts as unreadable; a value that gives an empty string (no data, or a zero byte
// first) counts as missing.  An unreadable or missing PBLibList, PBAppName or PBObjName
// keeps the service from starting with one error event; LogFileName falls back to
// <Windows directory>\<name>.log, EventLog to "true", PBVMName to the build's default
// (pbvm90.dll, or pbvm.dll in the 64-bit build).
//
// Each cell overwrites one value of an installed service (a real one, on the stand-in
// VM), starts it and checks its status, log, events and the VM's journal.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/events.h"
#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "runtime/hosted_service.h"

namespace {

using runtime_test::HostedClass;
using runtime_test::HostedService;
using runtime_test::JournalEntry;
using Lines = std::vector<std::string>;

using kit::kError;
using kit::kInformation;
const Lines kInformed = {kInformation + "PBNI Interface Initialized", kInformation + "Service started",
                         kInformation + "Service stopped"};

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

// Text of the given length: the start, then filler.
std::string Filled(const std::string& start, size_t length, char filler) {
    return start + std::string(length > start.size() ? length - start.size() : 0, filler);
}

struct Outcome {
    std::string start;  // what -start printed
    SERVICE_STATUS_PROCESS status = {};
    std::string log;
    Lines events;
};

class RegistryInput : public ::testing::Test {
protected:
    void SetUp() override {
        HostedClass hosted;
        hosted.run = "returns 0";  // one call, then the service stops by itself
        ASSERT_EQ(service_.Install(hosted), "Install service '" + service_.name() + "' successful!\r\n"
                                            "Update PBLibList successful!\r\nUpdate PBAppName successful!\r\n"
                                            "Update PBObjName successful!\r\nUpdate LogFileName successful!\r\n");
        library_ = service_.folder() + "\\app.pbl";
        key_ = kit::ServiceKey(service_.name());
        windowsLog_ = WindowsDirectory() + "\\" + service_.name() + ".log";
    }
    void TearDown() override { DeleteFileA(windowsLog_.c_str()); }

    static std::string WindowsDirectory() {
        char directory[MAX_PATH] = {0};
        GetWindowsDirectoryA(directory, MAX_PATH);
        return directory;
    }

    // Stores the value, starts the service and waits for its end; expectedEvents is how
    // many events the cell expects, so that the test waits for them and no longer.
    Outcome StartWith(const std::string& value, unsigned long type, const std::string& data, size_t expectedEvents) {
        EXPECT_TRUE(kit::WriteRegValue(key_, value, type, data));
        DeleteFileA(service_.LogPath().c_str());
        DeleteFileA(windowsLog_.c_str());
        DeleteFileA(service_.JournalPath().c_str());
        const kit::EventMark mark = kit::MarkEvents();
        Outcome outcome;
        outcome.start = service_.StartUntilStopped();
        outcome.status = service_.Status();
        outcome.log = service_.Log();
        outcome.events = kit::Summarize(kit::CollectEvents(service_.name(), mark, expectedEvents, 5000));
        return outcome;
    }
    void Restore(const std::string& value, const std::string& text) {
        ASSERT_TRUE(kit::WriteRegValue(key_, value, REG_SZ, text));
    }

    // The log of a start that got as far as the class, over the given library names.
    static std::string StartLog(const Lines& names, bool informed = true) {
        std::string log = "LibList: From Registry\r\nLibrary Count: " + std::to_string(names.size()) + "\r\n";
        for (const std::string& name : names) log += name + "\r\n";
        log += "Before CreateSession\r\nAfter CreateSession\r\n";
        return informed ? log + "PBNI Interface Initialized\r\n" : log;
    }
    void ExpectRanAndStopped(const Outcome& o, const std::string& log, const Lines& events = kInformed) {
        EXPECT_EQ(o.start, "Start service successful!\r\n");
        EXPECT_EQ(o.status.dwWin32ExitCode, 0u);
        EXPECT_EQ(o.log, log);
        EXPECT_EQ(o.events, events);
    }
    void ExpectNotStarted(const Outcome& o, const std::string& value) {
        // The process ends before it connects to the manager, which reports that.
        EXPECT_EQ(o.start, "Service command for '" + service_.name() + "' failed:\r\nError# 1053 - " +
                               kit::SystemErrorText(1053) + "\r\n");
        EXPECT_EQ(o.log, "");
        EXPECT_EQ(o.events, Lines{kError + "GetRegString " + value + " failed"});
        EXPECT_TRUE(service_.Journal().empty()) << "the VM is never loaded";
    }
    void ExpectHostFailed(const Outcome& o, const std::string& log, const std::string& error) {
        EXPECT_EQ(o.start, "Start service successful!\r\n");
        EXPECT_EQ(o.status.dwWin32ExitCode, 1066u);
        EXPECT_EQ(o.status.dwServiceSpecificExitCode, 1627u);
        EXPECT_EQ(o.log, log);
        EXPECT_EQ(o.events, Lines{kError + error});
    }
    // The fields of the first journal line of the operation, or nothing.
    std::vector<std::string> First(const std::string& operation) const {
        for (const JournalEntry& entry : service_.Journal()) {
            if (entry.operation == operation) return entry.fields;
        }
        return {};
    }

    HostedService service_{"PbvmRegIn"};
    std::string library_;
    std::string key_;
    std::string windowsLog_;
};

// Values of other types and the empty ones that a -l, -a or -o cannot store, for the
// three parameters without which the service does not start.
struct RequiredCell {
    const char* label;
    unsigned long type;
    std::string data;
};

// The cells every required value shares: the sizes around the read size, and empty.
std::vector<RequiredCell> Unreadable(size_t readSize) {
    return {
        {"REG_BINARY of the read size without a zero", REG_BINARY, std::string(readSize, 'x')},
        {"REG_SZ of the read size", REG_SZ, std::string(readSize, 'x')},
        {"REG_SZ one over the read size", REG_SZ, std::string(readSize + 1, 'x')},
        {"REG_SZ without data", REG_SZ, ""},
        {"REG_SZ of one zero byte (an empty string with its terminator)", REG_SZ, Bytes("\0", 1)},
        {"REG_DWORD 0 (a zero byte first)", REG_DWORD, Bytes("\0\0\0\0", 4)},
    };
}

TEST_F(RegistryInput, PBLibList) {
    const std::string common = service_.folder() + "\\common.pbd";
    const std::string installed = library_ + ";" + common;
    // Taken as they are: a number's bytes, a binary value, the first of a list of strings,
    // an unexpanded reference; a value that fills the read size with its zero is read.
    // (A ";" keeps a value that names the library from being taken as a list file.)
    {
        SCOPED_TRACE("REG_DWORD");
        ExpectHostFailed(StartWith("PBLibList", REG_DWORD, "x;y;", 1),
                         StartLog({"x", "y"}, false) + "Function FindGroup failed\r\n", "Function FindGroup failed");
    }
    struct Cell {
        const char* label;
        unsigned long type;
        std::string data;
        Lines names;
    } cells[] = {
        {"REG_BINARY", REG_BINARY, library_ + ";", {library_}},
        {"REG_MULTI_SZ", REG_MULTI_SZ, library_ + ";" + Bytes("\0", 1) + common + Bytes("\0\0", 2), {library_}},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, library_ + ";%SystemRoot%\\x.pbd", {library_, "%SystemRoot%\\x.pbd"}},
        {"REG_BINARY of the read size ending in a zero", REG_BINARY, Filled(library_, 2047, ';') + Bytes("\0", 1),
         {library_}},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(cell.label);
        ExpectRanAndStopped(StartWith("PBLibList", cell.type, cell.data, 3), StartLog(cell.names));
    }
    for (const RequiredCell& cell : Unreadable(2048)) {
        SCOPED_TRACE(cell.label);
        ExpectNotStarted(StartWith("PBLibList", cell.type, cell.data, 1), "PBLibList");
    }
    Restore("PBLibList", installed);
    ExpectRanAndStopped(StartWith("PBLibList", REG_SZ, installed, 3), StartLog({library_, common}));
}

TEST_F(RegistryInput, PBAppName) {
    const Lines list = {library_, service_.folder() + "\\common.pbd"};
    struct Cell {
        const char* label;
        unsigned long type;
        std::string data;
        std::string application;  // as CreateSession gets it
    } cells[] = {
        {"REG_DWORD", REG_DWORD, "appx", "appx"},
        {"REG_BINARY", REG_BINARY, "binapp", "binapp"},
        {"REG_MULTI_SZ", REG_MULTI_SZ, Bytes("first\0second\0\0", 14), "first"},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, "%USERNAME%", "%USERNAME%"},
        {"REG_BINARY of the read size ending in a zero", REG_BINARY, std::string(49, 'a') + Bytes("\0", 1),
         std::string(49, 'a')},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(cell.label);
        ExpectRanAndStopped(StartWith("PBAppName", cell.type, cell.data, 3), StartLog(list));
        const std::vector<std::string> session = First("CreateSession");
        ASSERT_FALSE(session.empty());
        EXPECT_EQ(session[0], cell.application);
    }
    for (const RequiredCell& cell : Unreadable(50)) {
        SCOPED_TRACE(cell.label);
        ExpectNotStarted(StartWith("PBAppName", cell.type, cell.data, 1), "PBAppName");
    }
}

TEST_F(RegistryInput, PBObjName) {
    // The library offers the class under three more names: one of four letters, for the
    // number's bytes, and one of the longest name that fits.
    const std::string longest = "n_" + std::string(47, 'l');
    HostedClass once;
    once.run = "returns 0";
    std::string text;
    for (const std::string& name : {std::string("n_svc"), std::string("n_dw"), longest}) {
        std::string copy = once.Text();
        copy.replace(copy.find("n_svc"), 5, name);
        text += copy;
    }
    ASSERT_TRUE(kit::WriteWholeFile(library_, text));
    const Lines list = {library_, service_.folder() + "\\common.pbd"};

    struct Cell {
        const char* label;
        unsigned long type;
        std::string data;
        std::string className;  // as FindGroup gets it
        bool found;
    } cells[] = {
        {"REG_DWORD", REG_DWORD, "n_dw", "n_dw", true},
        {"REG_BINARY", REG_BINARY, "n_svc", "n_svc", true},
        {"REG_MULTI_SZ", REG_MULTI_SZ, Bytes("n_svc\0n_dw\0\0", 12), "n_svc", true},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, "%CLASS%", "%CLASS%", false},
        {"REG_BINARY of the read size ending in a zero", REG_BINARY, longest + Bytes("\0", 1), longest, true},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(cell.label);
        const Outcome o = StartWith("PBObjName", cell.type, cell.data, cell.found ? 3 : 1);
        if (cell.found) {
            ExpectRanAndStopped(o, StartLog(list));
        } else {
            ExpectHostFailed(o, StartLog(list, false) + "Function FindGroup failed\r\n", "Function FindGroup failed");
        }
        const std::vector<std::string> group = First("FindGroup");
        ASSERT_FALSE(group.empty());
        EXPECT_EQ(group[0], cell.className);
    }
    for (const RequiredCell& cell : Unreadable(50)) {
        SCOPED_TRACE(cell.label);
        ExpectNotStarted(StartWith("PBObjName", cell.type, cell.data, 1), "PBObjName");
    }
}

TEST_F(RegistryInput, LogFileName) {
    const std::string folder = service_.folder();
    const std::string log = StartLog({library_, folder + "\\common.pbd"});
    struct Cell {
        const char* label;
        unsigned long type;
        std::string data;
        std::string path;  // where the log goes; empty: the default
    } cells[] = {
        {"REG_BINARY", REG_BINARY, folder + "\\binary.log", folder + "\\binary.log"},
        {"REG_MULTI_SZ", REG_MULTI_SZ, folder + "\\multi.log" + Bytes("\0", 1) + folder + "\\other.log" + Bytes("\0\0", 2),
         folder + "\\multi.log"},
        {"REG_EXPAND_SZ, used literally", REG_EXPAND_SZ, folder + "\\%SystemRoot%.log", folder + "\\%SystemRoot%.log"},
        {"REG_BINARY of the read size ending in a zero", REG_BINARY, Filled(folder + "\\", 255, 'n') + ".log" + Bytes("\0", 1),
         Filled(folder + "\\", 255, 'n') + ".log"},
        {"REG_BINARY of the read size without a zero", REG_BINARY, Filled(folder + "\\", 256, 'n') + ".log", ""},
        {"REG_SZ of the read size", REG_SZ, Filled(folder + "\\", 256, 'n') + ".log", ""},
        {"REG_SZ one over the read size", REG_SZ, Filled(folder + "\\", 257, 'n') + ".log", ""},
        {"REG_SZ of one zero byte", REG_SZ, Bytes("\0", 1), ""},
        {"REG_DWORD 0", REG_DWORD, Bytes("\0\0\0\0", 4), ""},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(cell.label);
        const std::string path = cell.path.empty() ? windowsLog_ : cell.path;
        DeleteFileA(path.c_str());
        Outcome o = StartWith("LogFileName", cell.type, cell.data, 3);
        EXPECT_EQ(o.start, "Start service successful!\r\n");
        EXPECT_EQ(o.status.dwWin32ExitCode, 0u);
        EXPECT_EQ(o.events, kInformed);
        EXPECT_EQ(kit::ReadWholeFile(path), log) << path;
        DeleteFileA(path.c_str());
    }
}

TEST_F(RegistryInput, EventLog) {
    const std::string log = StartLog({library_, service_.folder() + "\\common.pbd"});
    const std::string silent = StartLog({library_, service_.folder() + "\\common.pbd"}, false);
    struct Cell {
        const char* label;
        unsigned long type;
        std::string data;
        bool on;
    } cells[] = {
        {"REG_DWORD 1", REG_DWORD, Bytes("\x01\0\0\0", 4), false},
        {"REG_BINARY", REG_BINARY, "true", true},
        {"REG_MULTI_SZ", REG_MULTI_SZ, Bytes("true\0false\0\0", 12), true},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, "true", true},
        {"REG_BINARY of the read size ending in a zero", REG_BINARY, Filled("true", 49, 'x') + Bytes("\0", 1), false},
        {"REG_BINARY of the read size without a zero", REG_BINARY, Filled("true", 50, 'x'), true},
        {"REG_SZ of the read size", REG_SZ, Filled("false", 50, 'x'), true},
        {"REG_SZ one over the read size", REG_SZ, Filled("false", 51, 'x'), true},
        {"REG_SZ of one zero byte", REG_SZ, Bytes("\0", 1), true},
        {"REG_DWORD 0", REG_DWORD, Bytes("\0\0\0\0", 4), true},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(cell.label);
        const Outcome o = StartWith("EventLog", cell.type, cell.data, cell.on ? 3 : 0);
        if (cell.on) {
            ExpectRanAndStopped(o, log);
        } else {
            // Let any stray event arrive before the list is taken as complete.
            Sleep(300);
            ExpectRanAndStopped(o, silent, {});
        }
    }
}

TEST_F(RegistryInput, PBVMName) {
    const std::string folder = service_.folder();
    const std::string log = StartLog({library_, folder + "\\common.pbd"});
    for (const char* copy : {"othervm.dll", "abcdefghijk.dll"}) {
        ASSERT_TRUE(CopyFileA(kit::TestVm().built().c_str(), (folder + "\\" + copy).c_str(), FALSE));
    }
    service_.PlaceDefaultNamedVm();
    const std::string byDefault = kit::DefaultNamedVm().base;
    struct Cell {
        const char* label;
        unsigned long type;
        std::string data;
        std::string vm;  // the DLL loaded, without ".dll"; empty when none is found
    } cells[] = {
        {"REG_BINARY", REG_BINARY, "othervm.dll", "othervm"},
        {"REG_MULTI_SZ", REG_MULTI_SZ, Bytes("othervm.dll\0a\0\0", 15), "othervm"},
        {"REG_EXPAND_SZ, used literally", REG_EXPAND_SZ, "%VM%.dll", ""},
        {"REG_BINARY of the read size ending in a zero", REG_BINARY, "abcdefghijk.dll" + Bytes("\0", 1), "abcdefghijk"},
        {"REG_BINARY of the read size without a zero", REG_BINARY, "abcdefghijkl.dll", byDefault},
        {"REG_SZ of one zero byte", REG_SZ, Bytes("\0", 1), byDefault},
        {"REG_DWORD 0", REG_DWORD, Bytes("\0\0\0\0", 4), byDefault},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(cell.label);
        for (const std::string& vm : {byDefault, std::string("othervm"), std::string("abcdefghijk")}) {
            DeleteFileA((folder + "\\" + vm + ".journal").c_str());
        }
        const Outcome o = StartWith("PBVMName", cell.type, cell.data, cell.vm.empty() ? 1 : 3);
        if (cell.vm.empty()) {
            ExpectHostFailed(o, "PowerBuilder VM was not found\r\n", "PowerBuilder VM was not found");
            continue;
        }
        ExpectRanAndStopped(o, log);
        // The stand-in names its journal after its own file.
        EXPECT_NE(kit::ReadWholeFile(folder + "\\" + cell.vm + ".journal").find("InvokeBegin \"of_run\""),
                  std::string::npos) << cell.vm;
    }
}

// RunTimeout and StopTimeout: whole seconds up to a week, or missing.  Anything else stops
// the start before the VM is loaded: a limit the administrator set is never dropped.
TEST_F(RegistryInput, TimeLimits) {
    const std::string log = StartLog({library_, service_.folder() + "\\common.pbd"});
    struct Cell {
        const char* value;
        unsigned long type;
        std::string data;
        bool valid;
    } cells[] = {
        {"RunTimeout", REG_SZ, "604800", true},
        {"StopTimeout", REG_SZ, std::string(300, '0') + "600", true},
        {"RunTimeout", REG_DWORD, Bytes("\0\0\0\0", 4), true},  // a zero byte first: missing
        {"RunTimeout", REG_SZ, "604801", false},
        {"StopTimeout", REG_SZ, "4294967296", false},
        {"RunTimeout", REG_SZ, "-1", false},
        {"StopTimeout", REG_SZ, " 5", false},
        {"RunTimeout", REG_SZ, "1.5", false},
        {"StopTimeout", REG_DWORD, Bytes("\x05\0\0\0", 4), false},
    };
    for (const Cell& cell : cells) {
        SCOPED_TRACE(std::string(cell.value) + " " + cell.data.substr(0, 12));
        const Outcome o = StartWith(cell.value, cell.type, cell.data, cell.valid ? 3 : 1);
        if (cell.valid) {
            ExpectRanAndStopped(o, log);
        } else {
            const std::string refusal = std::string(cell.value) + " is not a whole number of seconds from 0 to 604800";
            ExpectHostFailed(o, refusal + "\r\n", refusal);
            EXPECT_TRUE(service_.Journal().empty()) << "the VM is never loaded";
        }
        Restore(cell.value, "0");
    }
}

}  // namespace
