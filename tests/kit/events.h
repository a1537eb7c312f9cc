// Events reported to the Application event log, read back for the tests.
//
// Windows keeps the log and the kit reads it with ReadEventLogA.  Wine keeps no event
// log, but traces every report on its debug channels; the test session sends that trace
// of every Wine process (services included) to one file, named by the environment
// variable PBVMSVC_WINE_DEBUG_LOG, and the kit parses it.  Tests see the same records
// either way.
#pragma once

#include <string>
#include <vector>

namespace kit {

struct ReportedEvent {
    std::string source;
    unsigned type = 0;
    unsigned category = 0;
    unsigned long id = 0;
    std::vector<std::string> strings;
    bool truncated = false;  // Wine cuts traced strings after about 300 characters
};

// A position in the log: CollectEvents returns only what was reported after it.
struct EventMark {
    unsigned long long position = 0;
};

EventMark MarkEvents();

// Events under the given source since the mark, in order.  Waits up to timeoutMs for at
// least minimumCount of them (reports from a service process may arrive a little later).
std::vector<ReportedEvent> CollectEvents(const std::string& source, const EventMark& mark,
                                         size_t minimumCount = 0, unsigned timeoutMs = 0);

// Parses Wine's event trace (exposed for the kit's own tests).
std::vector<ReportedEvent> ParseWineEventTrace(const std::string& trace);

// "type:id:text" lines, one per event, for compact exact comparisons in tests; these
// are the heads of an error, a warning and an information event.
const std::string kError = "1:C0000003:";
const std::string kWarning = "2:80000002:";
const std::string kInformation = "4:40000001:";
std::vector<std::string> Summarize(const std::vector<ReportedEvent>& events);

}  // namespace kit
