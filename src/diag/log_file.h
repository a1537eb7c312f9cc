#pragma once

#include <string>

// Appends text and CR LF to the log file named by ServiceSettings.LogFileName, as one
// line.  Never fails the caller: a file that cannot be opened loses the line silently.
// Every writer of one log file, in any process, takes its turn through a lock on the file
// around the write (waiting at most 5 s, then writing anyway), so that lines of writers
// appending at the same moment are never lost.
void WriteLogLine(const char* text);

// The byte of the log file whose lock gives a writer its turn (offset 2^63 - 2).
const unsigned long kLogTurnOffsetLow = 0xFFFFFFFEUL;
const unsigned long kLogTurnOffsetHigh = 0x7FFFFFFFUL;

// While one exists, WriteLogLine appends every line through one handle, opened by the
// first line and closed by the destructor, instead of opening and closing the file for
// each line (about a tenth of a millisecond each under Wine).  For a run of lines
// written by one thread, such as the service's start-up.  The lines are the same and
// reach the file as soon as they are written.
class LogFileBatch {
public:
    LogFileBatch();
    ~LogFileBatch();
    LogFileBatch(const LogFileBatch&) = delete;
    LogFileBatch& operator=(const LogFileBatch&) = delete;
};
