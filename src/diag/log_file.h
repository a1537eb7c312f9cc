#pragma once

// Appends text and CR LF to the log file named by ServiceSettings.LogFileName, as one
// line.  Never fails the caller: a file that cannot be opened loses the line silently.
// Every writer of one log file, in any process, takes its turn through a lock on the file
// around the write (waiting at most 5 s, then writing anyway), so that lines of writers
// appending at the same moment are never lost.
void WriteLogLine(const char* text);

// The byte of the log file whose lock gives a writer its turn (offset 2^63 - 2).
const unsigned long kLogTurnOffsetLow = 0xFFFFFFFEUL;
const unsigned long kLogTurnOffsetHigh = 0x7FFFFFFFUL;
