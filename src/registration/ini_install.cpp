#include "registration/ini_install.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/console.h"
#include "common/service_settings.h"
#include "common/time_limit.h"
#include "registration/config_update.h"
#include "registration/install.h"
#include "registration/param_store.h"
#include "registration/service_image.h"

namespace {

const char* const kSection = "Install";

// One key's value, looked up with a buffer that grows until the whole value fits, so
// that an over-long value is seen at its real length and never silently cut.  An absent
// key and an empty value are the same: no characters.
std::string ReadKey(const std::string& file, const char* key) {
    std::vector<char> buffer(2048);
    for (;;) {
        const DWORD length = GetPrivateProfileStringA(kSection, key, "", buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), file.c_str());
        if (length + 1 < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

bool FileHasSections(const std::string& file) {
    char sections[2048] = {0};
    return GetPrivateProfileStringA(nullptr, nullptr, "", sections, sizeof sections, file.c_str()) > 0;
}

// The INI file's full path: an absolute argument as it is, a relative one joined to the
// current directory.  Empty when the result does not fit the platform's path limit.
std::string IniFilePath(const std::string& argument) {
    std::string path;
    if (IsAbsoluteWindowsPath(argument)) {
        path = argument;
    } else {
        const DWORD needed = GetCurrentDirectoryA(0, nullptr);
        std::vector<char> directory(needed + 1);
        const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(directory.size()), directory.data());
        path.assign(directory.data(), length);
        if (path.empty() || path.back() != '\\') path += '\\';
        path += argument;
    }
    return path.size() < MAX_PATH ? path : std::string();
}

struct IniValue {
    Field field;
    std::string text;  // empty when the key is absent or has no value
    bool present() const { return !text.empty(); }
    const char* key() const { return DescribeField(field).name; }  // keys are named as fields
};

IniValue ReadValue(const std::string& file, Field field) {
    return {field, ReadKey(file, DescribeField(field).name)};
}

void CopyValue(const IniValue& value) {
    const FieldInfo field = DescribeField(value.field);
    CopyToField(field.storage, field.capacity, value.text.c_str());
}

}  // namespace

void InstallFromIni(const char* iniFile) {
    const std::string file = IniFilePath(iniFile);
    if (file.empty()) {
        Print("The .ini file name is too long (at most %d characters)!\r\n", MAX_PATH - 1);
        return;
    }
    if (!FileHasSections(file)) {
        Print("The .ini file was not found!\r\n");
        return;
    }

    const IniValue serviceName = ReadValue(file, Field::ServiceName);
    if (!serviceName.present()) {
        Print("The required value ServiceName was not found!\r\n");
        return;
    }
    const IniValue displayName = ReadValue(file, Field::DisplayName);
    if (!displayName.present()) {
        Print("The required value DisplayName was not found!\r\n");
        return;
    }
    const StartupChoice startup = ParseStartup(ReadKey(file, "Startup"));

    const IniValue domain = ReadValue(file, Field::Domain);
    IniValue userid = {Field::Userid, std::string()};
    IniValue password = {Field::Password, std::string()};
    if (domain.present()) {  // without a domain, user and password are not read
        userid = ReadValue(file, Field::Userid);
        password = ReadValue(file, Field::Password);
    }
    const IniValue description = ReadValue(file, Field::Description);
    // Stored as they stand, once checked: whole seconds, as the service reads them.
    struct TimeLimitKey {
        const char* key;
        std::string text;
    } const timeLimits[] = {{"RunTimeout", ReadKey(file, "RunTimeout")}, {"StopTimeout", ReadKey(file, "StopTimeout")}};
    const std::string dependencies = ReadKey(file, "Dependencies");
    const IniValue parameters[] = {
        ReadValue(file, Field::PBAppName),
        ReadValue(file, Field::PBLibList),
        ReadValue(file, Field::PBObjName),
        ReadValue(file, Field::PBVMName),
        ReadValue(file, Field::PBRuntimeDir),
        ReadValue(file, Field::PBWorkDir),
    };

    // Every value is checked against its field before anything is created, so that an
    // over-long value installs nothing rather than half a service.
    std::vector<const IniValue*> values = {&serviceName, &displayName, &domain, &userid, &password,
                                           &description};
    for (const IniValue& parameter : parameters) values.push_back(&parameter);
    for (const IniValue* value : values) {
        const FieldInfo field = DescribeField(value->field);
        if (value->text.size() >= field.capacity) {
            PrintValueTooLong(field.name, static_cast<int>(field.capacity - 1));
            return;
        }
    }
    for (const TimeLimitKey& limit : timeLimits) {
        unsigned long seconds = 0;
        if (!limit.text.empty() && !ParseTimeLimit(limit.text, &seconds)) {
            Print("The value for %s!\r\n", TimeLimitRefusal(limit.key).c_str());
            return;
        }
    }
    // The service is created with the default description; the file's own replaces it
    // once the service exists.
    for (const IniValue* value : values) {
        if (value->present() && value != &description) CopyValue(*value);
    }

    const bool useAccount = domain.present() && password.present();
    if (!InstallService(startup.startType, useAccount)) return;

    if (description.present()) {
        CopyValue(description);
        UpdateDescription();
    }
    if (startup.delayed) UpdateDelayedStart(1);
    for (const IniValue& parameter : parameters) {
        if (parameter.present()) SetRegString(parameter.key(), DescribeField(parameter.field).storage);
    }
    for (const TimeLimitKey& limit : timeLimits) {
        if (!limit.text.empty()) SetRegString(limit.key, limit.text.c_str());
    }
    // Last of all, once everything else of the service is in place.
    if (!dependencies.empty()) UpdateDependencies(dependencies.c_str());
}
