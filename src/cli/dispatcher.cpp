#include "cli/dispatcher.h"

#include <cstring>

#include "cli/command_forms.h"
#include "cli/settings.h"
#include "common/console.h"
#include "diag/event_source.h"
#include "registration/param_store.h"
#include "version.h"

void PrintUsage() {
    Print("Please see the help file for command line options.\r\n");
    Print("\r\nThis version is for PowerBuilder 9 only.\r\n");
    Print("pbvmsvc version %s - runs PowerBuilder 9 applications as Windows services\r\n\r\n",
          PBVMSVC_VERSION_STRING);
}

namespace {

// Checks every operand that goes into a field before anything is copied, so that a
// refused command line changes nothing.  Prints the refusal for the first one too long.
bool OperandsFit(const CommandForm& form, char** argv) {
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

void RunCommand(Command command, char** argv) {
    switch (command) {
        case Command::AddEventSource: AddEventSource(); return;
        case Command::SetLibList: SetRegString("PBLibList", ServiceSettings.PBLibList); return;
        case Command::SetAppName: SetRegString("PBAppName", ServiceSettings.PBAppName); return;
        case Command::SetObjName: SetRegString("PBObjName", ServiceSettings.PBObjName); return;
        case Command::SetVmName: SetRegString("PBVMName", ServiceSettings.PBVMName); return;
        case Command::SetRegValue: SetRegString(argv[3], argv[4]); return;
        default: PrintUsage(); return;
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
