#include "registration/service_image.h"

namespace {

std::string QuotedIfBlank(const std::string& text) {
    if (text.find(' ') == std::string::npos) return text;
    return "\"" + text + "\"";
}

}  // namespace

std::string BuildImageCommandLine(const std::string& modulePath, const std::string& serviceName) {
    return QuotedIfBlank(modulePath) + " -r " + QuotedIfBlank(serviceName);
}

std::string BuildAccountName(const std::string& domain, const std::string& userid) {
    return domain + "\\" + userid;
}

StartupChoice ParseStartup(const std::string& value) {
    if (value == "auto" || value == "Auto") return {2, false};
    if (value == "delayed" || value == "Delayed") return {2, true};
    return {3, false};
}

bool IsAbsoluteWindowsPath(const std::string& path) {
    const bool driveRoot = path.size() >= 3 &&
                           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                           path[1] == ':' && path[2] == '\\';
    const bool unc = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
    return driveRoot || unc;
}
