// VM-wide behaviour of the stand-in VM, read from the settings file beside the DLL
// (pbvm90.ini beside pbvm90.dll).  Keys are described in standin/README.md.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "standin/outcome.h"
#include "standin/text_util.h"

namespace standin {

struct Settings {
    enum class GetVm {
        Ok,     // PB_GetVM returns 0 and the VM
        Null,   // PB_GetVM returns 0 and a null VM
        Error,  // PB_GetVM returns -1 and a null VM
    };
    GetVm getVm = GetVm::Ok;

    // Return 0 is success; otherwise Fail or one of the exception kinds.
    Outcome createSession;
    bool createSessionNull = false;  // CreateSession returns 0 and a null session

    bool findGroupNull = false;
    bool findClassNull = false;

    std::string journal;  // as written; empty: the default beside the DLL
    // Lines kept in memory and written when the DLL unloads, instead of one write each:
    // for measurements that must not pay the VM's file writes.
    bool journalInMemory = false;

    bool recordFolder = false;  // journal the process's current folder when loaded

    std::vector<Problem> problems;  // lines that were ignored, and why
};

const char* const kSettingsSection = "standin";

Settings parseSettings(std::string_view text);

}  // namespace standin
