#include "pbhost/host_state.h"

#include <cstring>

HostStateRecord HostState = {nullptr, false, nullptr, nullptr, nullptr, nullptr, 0, 0};

void ResetHostState() { std::memset(&HostState, 0, sizeof HostState); }
