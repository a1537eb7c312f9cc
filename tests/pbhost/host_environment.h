// A private PowerBuilder host for one test: its own folder holding a copy of the stand-in
// VM with its settings file, the libraries and the log file; its own service name as
// event source; HostState and ServiceSettings in their process-start state.
//
// The VM is found through SetDllDirectoryA, since PBVMName holds only 15 characters and
// cannot carry a full path.  ctest runs each test in a process of its own; TearDown
// unloads the VM all the same, so that the tests also run one after another in one process.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/events.h"
#include "kit/files.h"

namespace pbhost_test {

using Lines = std::vector<std::string>;

using kit::kError;
using kit::kInformation;

// One class, svc_host, with every function of the hosted-class contract; method ids 0..7
// in this order: of_startup, of_run, of_stop, of_paused, of_resumed, of_control,
// of_powerevent, of_sessionchg.  Each change replaces the line of the function it names
// ("of_run L returns 5"), or removes it ("of_run -").
std::string HostedClass(const Lines& changes = {});

class HostEnvironment : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void WriteVmSettings(const std::string& lines);  // the [standin] section of the VM's settings file
    std::string WriteFile(const std::string& name, const std::string& text);  // full path
    void SetLibraryList(const std::string& value);
    // Writes app.pbl and makes it the one library of a registry-form list.
    void UseLibrary(const std::string& text = HostedClass());

    // Unloads the VM and starts log, journal and events afresh, for another start in the
    // same test (the stand-in reads its settings when it is loaded).
    void Restart();

    // The log of a start up to "Before CreateSession": form, count and names.
    static std::string ListLog(const std::string& form, const Lines& names);
    // Expects StartPowerBuilderHost to give 1627 with exactly this log and one error event.
    void ExpectStartFails(const std::string& log, const std::string& error);

    std::string Log() const { return kit::ReadWholeFile(logPath_); }
    // This test's events as "type:id:text", once at least expectedCount have arrived.
    Lines Events(size_t expectedCount);

    // The journal lines since the last ForgetJournal, without time stamp and thread id;
    // only those of the given operations when any are given.
    Lines Journal(const Lines& operations = {}) const;
    // The VM keeps the journal open, so it is not deleted but read from a later line on.
    void ForgetJournal();
    Lines StandardStartJournal() const;  // a successful start over UseLibrary()
    static std::string Q(const std::string& raw);  // a quoted journal string

    Lines JournalFrom(size_t firstLine, const Lines& operations) const;

    kit::TempDir dir_{"pbhost"};
    std::string service_;
    std::string logPath_;
    std::string libraryPath_;
    std::string pid_;
    kit::EventMark mark_;
    size_t journalLinesForgotten_ = 0;
    char startFolder_[260] = {0};
};

}  // namespace pbhost_test
