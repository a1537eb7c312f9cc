// The two time limits a service may set on its application, RunTimeout and StopTimeout:
// string values of whole seconds, 0 or missing for no limit.
#pragma once

#include <string>

// One week: the longest limit that makes sense for a single call, and one whose
// milliseconds still fit the 32 bits of a tick count difference.
const unsigned long kMaxTimeLimitSeconds = 604800;

// True, with the number in *seconds, when text is a whole number of seconds from 0 to
// kMaxTimeLimitSeconds: decimal digits only, nothing else, not even blanks or a sign.
bool ParseTimeLimit(const std::string& text, unsigned long* seconds);

// "<name> is not a whole number of seconds from 0 to 604800".
std::string TimeLimitRefusal(const char* name);
