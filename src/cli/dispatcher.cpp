#include "cli/dispatcher.h"

#include <cstring>

#include "cli/command_forms.h"
#include "cli/service_control.h"
#include "cli/service_mode.h"
#include "cli/status_report.h"
#include "common/console.h"
#include "common/service_settings.h"
#include "diag/event_source.h"
#include "registration/config_update.h"
#include "registration/ini_install.h"
#include "registration/install.h"
#include "registration/param_store.h"
#include "version.h"

void PrintUsage() {
    Print("Please see the help file for command line options.\r\n");
#ifdef _WIN64
    Print("\r\nThis version is for 64-bit PowerBuilder applications.\r\n");
#else
    Print("\r\nThis version is for 32-bit PowerBuilder applications, version 9 and later.\r\n");
#endif
    Print("pbvmsvc version %s - runs PowerBuilder applications as Windows services\r\n\r\n",
          PBVMSVC_VERSION_STRING);
}

namespace {

// The Windows start types, spelled out here so that this file needs no Windows header.
const unsigned long SERVICE_AUTO_START_TYPE = 2;
const unsigned long SERVICE_DEMAND_START_TYPE = 3;

// Checks every operand that goes into a field before anything is copied, so that a
// refused command line changes nothing.  Prints the refusal for the first one that is
// empty where a name is needed, or too long.
bool OperandsFit(const CommandForm& form, char** argv) {
    // An empty name would make the service's key path name the key of all services (or
    // of all event sources), and a command would write into that shared key.
    if (form.operandFields[0] == Field::ServiceName && argv[2][0] == '\0') {
        Print("The service name must not be empty!\r\n");
        return false;
    }
    // No service can have a backslash in its name (the Service Control Manager refuses
    // one), and the key paths built from the name would lead below another key: into a
    // subkey of some service, or from the event sources into another program's source.
    if (form.operandFields[0] == Field::ServiceName && std::strchr(argv[2], '\\') != nullptr) {
        Print("The service name must not contain a backslash!\r\n");
        return false;
    }
    for (int i = 0; i < form.argumentCount - 2; ++i) {
        const FieldInfo field = DescribeField(form.operandFields[i]);
        if (field.storage == nullptr) continue;
        if (std::strlen(argv[2 + i]) >= field.capacity) {
            PrintValueTooLong(field.name, static_cast<int>(field.capacity - 1));
            return false;
        }
    }
    return true;
}

void CopyOperands(const CommandForm& form, char** argv) {
    for (int i = 0; i < form.argumentCount - 2; ++i) {
        const FieldInfo field = DescribeField(form.operandFields[i]);
        if (field.storage != nullptr) CopyToField(field.storage, field.capacity, argv[2 + i]);
    }
}

// "-ds": "true"/"True" set the flag, "false"/"False" clear it, anything else does nothing.
void RunDelayedStart(const char* value) {
    if (std::strcmp(value, "true") == 0 || std::strcmp(value, "True") == 0) {
        UpdateDelayedStart(1);
    } else if (std::strcmp(value, "false") == 0 || std::strcmp(value, "False") == 0) {
        UpdateDelayedStart(0);
    }
}

void RunCommand(Command command, char** argv) {
    switch (command) {
        case Command::Uninstall: UninstallService(); return;
        case Command::AddEventSource: AddEventSource(); return;
        case Command::InstallFromIni: InstallFromIni(argv[2]); return;
        case Command::Start: RunServiceCommand(ServiceCommand::Start); return;
        case Command::Stop: RunServiceCommand(ServiceCommand::Stop); return;
        case Command::Pause: RunServiceCommand(ServiceCommand::Pause); return;
        case Command::Resume: RunServiceCommand(ServiceCommand::Resume); return;
        case Command::ShowStatus: ShowServiceStatus(); return;
        case Command::InstallManual: InstallService(SERVICE_DEMAND_START_TYPE, false); return;
        case Command::InstallAuto: InstallService(SERVICE_AUTO_START_TYPE, false); return;
        case Command::UpdateDescription: UpdateDescription(); return;
        case Command::UpdateDelayedStart: RunDelayedStart(argv[3]); return;
        case Command::UpdateDependencies: UpdateDependencies(argv[3]); return;
        case Command::UpdateCredentials: UpdateCredentials(); return;
        case Command::SetLibList: SetRegString("PBLibList", ServiceSettings.PBLibList); return;
        case Command::SetAppName: SetRegString("PBAppName", ServiceSettings.PBAppName); return;
        case Command::SetObjName: SetRegString("PBObjName", ServiceSettings.PBObjName); return;
        case Command::SetVmName: SetRegString("PBVMName", ServiceSettings.PBVMName); return;
        case Command::SetRegValue: SetRegString(argv[3], argv[4]); return;
        case Command::ServiceMode: RunServiceMode(); return;
    }
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    ClearRunFields();
    const CommandForm* form = FindCommandForm(argc, argv);
    if (form == nullptr) {
        PrintUsage();
        return 0;
    }
    if (!OperandsFit(*form, argv)) return 0;
    CopyOperands(*form, argv);
    RunCommand(form->command, argv);
    return 0;
}
