#include "registration/service_image.h"

namespace {

std::string QuotedIfItHolds(const std::string& text, const char* separators) {
    if (text.find_first_of(separators) == std::string::npos) return text;
    return "\"" + text + "\"";
}

// The service name as the C runtime gives it back as one argument.  Besides blanks and
// tabs, a name may hold double quotes, which the runtime takes as quoting and drops: such
// a name is quoted too, and each of its quotes escaped as \".  A backslash counts only
// before a quote, and no name the Service Control Manager accepts holds one.
std::string QuotedName(const std::string& name) {
    if (name.find('"') == std::string::npos) return QuotedIfItHolds(name, " \t");
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string BuildImageCommandLine(const std::string& modulePath, const std::string& serviceName) {
    // The C runtime cuts arguments at blanks and at tabs.  Windows allows no tab in a
    // file name, so only the blank matters for the path; a service name may hold a tab,
    // and unquoted it would reach the service process as two arguments.
    return QuotedIfItHolds(modulePath, " ") + " -r " + QuotedName(serviceName);
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

std::string BuildDependencyList(const std::string& slashSeparated) {
    std::string list;
    size_t start = 0;
    while (start <= slashSeparated.size()) {
        size_t end = slashSeparated.find('/', start);
        if (end == std::string::npos) end = slashSeparated.size();
        if (end > start) {
            list.append(slashSeparated, start, end - start);
            list += '\0';
        }
        start = end + 1;
    }
    // The list's own end; c_str() adds another zero, which the manager does not read.
    list += '\0';
    return list;
}
