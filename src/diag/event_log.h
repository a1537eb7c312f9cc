#pragma once

// Event kinds, which are also the event types handed to the event log.
const unsigned short kEventError = 1;        // EVENTLOG_ERROR_TYPE
const unsigned short kEventWarning = 2;      // EVENTLOG_WARNING_TYPE
const unsigned short kEventInformation = 4;  // EVENTLOG_INFORMATION_TYPE

// The event ID that the message table holds for a kind, or 0 for any other kind.
unsigned long EventIdForKind(unsigned short kind);

// Reports one event of the given kind under ServiceSettings.ServiceName as source, with
// text as its one insertion string.  Never fails the caller.
void ReportServiceEvent(unsigned short kind, const char* text);

// True only when ServiceSettings.EventLog is exactly "true".
bool EventLogEnabled();
