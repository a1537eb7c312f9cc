#pragma once

// Appends text and CR LF to the log file named by ServiceSettings.LogFileName, as one
// line.  Never fails the caller: a file that cannot be opened loses the line silently.
void WriteLogLine(const char* text);
