#include "common/service_settings.h"

#include <cstring>

#define PBVMSVC_DEFAULT_DESCRIPTION "Runs a PowerBuilder application as a Windows service."
// The 64-bit build hosts only 64-bit VMs, all of them named "pbvm.dll": there is no
// 64-bit PowerBuilder 9.
#ifdef _WIN64
#define PBVMSVC_DEFAULT_VM_NAME "pbvm.dll"
#else
#define PBVMSVC_DEFAULT_VM_NAME "pbvm90.dll"
#endif

// Aggregate initialisation keeps the initial state in the image: no code has to run
// before main for Description and PBVMName to hold their texts.
ServiceSettingsRecord ServiceSettings = {
    "", "", PBVMSVC_DEFAULT_DESCRIPTION, "", "", "", "", "", "", "", PBVMSVC_DEFAULT_VM_NAME, "", "", "", "", ""};

const char* const kDefaultDescription = PBVMSVC_DEFAULT_DESCRIPTION;
const char* const kDefaultVmName = PBVMSVC_DEFAULT_VM_NAME;
const char* const kDefaultEventLog = "true";

void ResetServiceSettings() {
    std::memset(&ServiceSettings, 0, sizeof ServiceSettings);
    CopyToField(ServiceSettings.Description, kDefaultDescription);
    CopyToField(ServiceSettings.PBVMName, kDefaultVmName);
}

void ClearRunFields() {
    std::memset(ServiceSettings.PBLibList, 0, sizeof ServiceSettings.PBLibList);
    std::memset(ServiceSettings.LibListWork, 0, sizeof ServiceSettings.LibListWork);
    std::memset(ServiceSettings.PBAppName, 0, sizeof ServiceSettings.PBAppName);
    std::memset(ServiceSettings.PBObjName, 0, sizeof ServiceSettings.PBObjName);
}

bool CopyToField(char* field, std::size_t capacity, const char* value) {
    const std::size_t length = std::strlen(value);
    if (length >= capacity) return false;
    std::memcpy(field, value, length + 1);
    return true;
}

FieldInfo DescribeField(Field field) {
    ServiceSettingsRecord& s = ServiceSettings;
    switch (field) {
        case Field::ServiceName: return {"ServiceName", s.ServiceName, sizeof s.ServiceName};
        case Field::DisplayName: return {"DisplayName", s.DisplayName, sizeof s.DisplayName};
        case Field::Description: return {"Description", s.Description, sizeof s.Description};
        case Field::Domain: return {"Domain", s.Domain, sizeof s.Domain};
        case Field::Userid: return {"Userid", s.Userid, sizeof s.Userid};
        case Field::Password: return {"Password", s.Password, sizeof s.Password};
        case Field::PBLibList: return {"PBLibList", s.PBLibList, sizeof s.PBLibList};
        case Field::PBAppName: return {"PBAppName", s.PBAppName, sizeof s.PBAppName};
        case Field::PBObjName: return {"PBObjName", s.PBObjName, sizeof s.PBObjName};
        case Field::PBVMName: return {"PBVMName", s.PBVMName, sizeof s.PBVMName};
        case Field::PBRuntimeDir: return {"PBRuntimeDir", s.PBRuntimeDir, sizeof s.PBRuntimeDir};
        case Field::PBWorkDir: return {"PBWorkDir", s.PBWorkDir, sizeof s.PBWorkDir};
        case Field::None: break;
    }
    return {"", nullptr, 0};
}
