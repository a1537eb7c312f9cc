#pragma once

#include <string>

// The full path of the running executable.  False when it does not fit the 260-character
// limit (MAX_PATH) that the service image path and the event message file rely on, so
// that no caller ever stores a cut path.
bool GetOwnModulePath(std::string& path);
