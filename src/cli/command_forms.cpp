#include "cli/command_forms.h"

#include <cstring>


namespace {

using F = Field;

const CommandForm kForms[] = {
    {3, "-u", Command::Uninstall, {F::ServiceName}},
    {3, "-e", Command::AddEventSource, {F::ServiceName}},
    {3, "-i", Command::InstallFromIni, {F::None}},
    {3, "-start", Command::Start, {F::ServiceName}},
    {3, "-stop", Command::Stop, {F::ServiceName}},
    {3, "-pause", Command::Pause, {F::ServiceName}},
    {3, "-resume", Command::Resume, {F::ServiceName}},
    {3, "-status", Command::ShowStatus, {F::ServiceName}},
    {3, "-r", Command::ServiceMode, {F::ServiceName}},
    {4, "-im", Command::InstallManual, {F::ServiceName, F::DisplayName}},
    {4, "-ia", Command::InstallAuto, {F::ServiceName, F::DisplayName}},
    {4, "-d", Command::UpdateDescription, {F::ServiceName, F::Description}},
    {4, "-ds", Command::UpdateDelayedStart, {F::ServiceName, F::None}},
    {4, "-dep", Command::UpdateDependencies, {F::ServiceName, F::None}},
    {4, "-l", Command::SetLibList, {F::ServiceName, F::PBLibList}},
    {4, "-a", Command::SetAppName, {F::ServiceName, F::PBAppName}},
    {4, "-o", Command::SetObjName, {F::ServiceName, F::PBObjName}},
    {4, "-v", Command::SetVmName, {F::ServiceName, F::PBVMName}},
    {5, "-reg", Command::SetRegValue, {F::ServiceName, F::None, F::None}},
    {6, "-c", Command::UpdateCredentials, {F::ServiceName, F::Domain, F::Userid, F::Password}},
};

}  // namespace

const CommandForm* FindCommandForm(int argc, const char* const* argv) {
    if (argc < 2 || argv == nullptr || argv[1] == nullptr) return nullptr;
    for (const CommandForm& form : kForms) {
        if (form.argumentCount == argc && std::strcmp(form.option, argv[1]) == 0) return &form;
    }
    return nullptr;
}
