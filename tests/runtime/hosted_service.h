// One real service for a runtime test: pbvmsvc.exe and a copy of the stand-in VM in a
// folder of their own under C:\ (where a service process finds them), installed with the
// product's own commands and driven through the Service Control Manager.  Everything is
// stopped and removed at the end of the test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "kit/events.h"
#include "kit/product.h"

namespace runtime_test {

// A class with every hosted function; a test adds the clauses it needs per function.
struct HostedClass {
    std::string startup = "returns 0";
    std::string run = "returns 60000";
    std::string stop;
    std::string paused;
    std::string resumed;
    std::string control;
    std::string powerevent;
    std::string sessionchg;
    std::string Text() const;
};

struct JournalEntry {
    double ms = 0;
    unsigned long thread = 0;
    std::string operation;
    std::vector<std::string> fields;  // after the operation, quoted strings unquoted
    std::string Field(size_t i) const { return i < fields.size() ? fields[i] : std::string(); }
};

class HostedService {
public:
    explicit HostedService(const std::string& prefix = "PbvmRun");
    ~HostedService();
    HostedService(const HostedService&) = delete;
    HostedService& operator=(const HostedService&) = delete;

    const std::string& name() const { return name_; }
    const std::string& folder() const { return folder_; }
    std::string LogPath() const { return folder_ + "\\service.log"; }

    // Installs the service with -im and stores its parameters; the class is written to
    // app.pbl and named in a two-library list.  Returns the combined command output.
    std::string Install(const HostedClass& hostedClass);
    // Runs the product (the copy in the folder) with the arguments.
    std::string Run(const std::vector<std::string>& arguments) const;
    void WriteVmSettings(const std::string& lines) const;

    std::string Start() const { return Run({"-start", name_}); }
    // Starts a service that stops again at once (a start that fails, an of_run that asks to
    // stop), waits until it has stopped and returns what -start printed.  Wine's manager
    // reads the state only once the service's first report has woken it, so on a busy
    // machine it can find such a service stopped already and answer 1053 (Windows answers
    // success once the service main runs): that answer counts as the success it stands
    // for when the service did get that far, i.e. stopped with 1066 or called of_startup.
    std::string StartUntilStopped() const;
    unsigned long State() const;
    SERVICE_STATUS_PROCESS Status() const;
    bool WaitForState(unsigned long state, unsigned timeoutMs = 15000) const;
    // Polls the status until its state is the one given (at most timeoutMs) and returns
    // every status seen whose state or checkpoint differs from the one seen before.
    std::vector<SERVICE_STATUS_PROCESS> StatusesUntil(unsigned long state, unsigned timeoutMs = 15000) const;
    // Waits until the journal has at least count lines of the operation for the function.
    bool WaitForCalls(const std::string& operation, const std::string& function, size_t count,
                      unsigned timeoutMs = 15000) const;

    std::string Log() const;
    // The lines one successful start writes to the log file, without their CR LF.
    std::vector<std::string> StartUpLogLines() const;
    std::vector<JournalEntry> Journal() const;
    // The journal of the VM loaded from the folder (the stand-in names it after its file).
    std::string JournalPath(const kit::StandinVm& vm = kit::TestVm()) const { return vm.journalIn(folder_); }
    // Copies the test VM into the folder under the name a service without PBVMName loads.
    void PlaceDefaultNamedVm() const;
    std::vector<JournalEntry> Calls(const std::string& operation, const std::string& function) const;
    std::vector<std::string> Events(size_t minimumCount, unsigned timeoutMs = 10000) const;

private:
    std::string name_;
    std::string folder_;
    kit::EventMark mark_;
};

}  // namespace runtime_test
