// The table of command-line forms and the choice of one form from the arguments.
// Pure logic: no Windows calls, so it can be tested and fuzzed anywhere.
#pragma once

#include "common/service_settings.h"

enum class Command {
    Uninstall,
    AddEventSource,
    InstallFromIni,
    Start,
    Stop,
    Pause,
    Resume,
    ShowStatus,
    ServiceMode,
    InstallManual,
    InstallAuto,
    UpdateDescription,
    UpdateDelayedStart,
    UpdateDependencies,
    SetLibList,
    SetAppName,
    SetObjName,
    SetVmName,
    SetRegValue,
    UpdateCredentials,
};

const int kMaxOperands = 4;

struct CommandForm {
    int argumentCount;  // counts the program name, as argc does
    const char* option;
    Command command;
    Field operandFields[kMaxOperands];  // one per operand; None = not copied to a field
};

// Returns the form that the arguments select, or null when the usage text applies.
// Options are compared exactly (case-sensitive, whole string).
const CommandForm* FindCommandForm(int argc, const char* const* argv);

