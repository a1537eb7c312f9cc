#include "diag/event_log.h"

#include <windows.h>

#include <cstring>

#include "common/service_settings.h"
#include "common/win_handles.h"

unsigned long EventIdForKind(unsigned short kind) {
    switch (kind) {
        case kEventError: return 0xC0000003UL;
        case kEventWarning: return 0x80000002UL;
        case kEventInformation: return 0x40000001UL;
        default: return 0;
    }
}

void ReportServiceEvent(unsigned short kind, const char* text) {
    UniqueEventSource source(RegisterEventSourceA(nullptr, ServiceSettings.ServiceName));
    if (!source) return;
    const char* strings[1] = {text};
    ReportEventA(source.get(), kind, 0, EventIdForKind(kind), nullptr, 1, 0, strings, nullptr);
}

bool EventLogEnabled() {
    return std::strcmp(ServiceSettings.EventLog, "true") == 0;
}
