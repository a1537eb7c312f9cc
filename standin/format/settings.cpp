#include "standin/settings.h"

#include <set>

namespace standin {

namespace {

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

bool parseOkOrNull(const std::string& value, bool& isNull) {
    if (value == "ok") isNull = false;
    else if (value == "null") isNull = true;
    else return false;
    return true;
}

// Applies one key; false when the value is not one the key takes.
bool apply(Settings& s, const std::string& key, std::string_view rawValue, bool& knownKey) {
    knownKey = true;
    std::string value = lowered(rawValue);
    if (key == "get_vm") {
        if (value == "ok") s.getVm = Settings::GetVm::Ok;
        else if (value == "null") s.getVm = Settings::GetVm::Null;
        else if (value == "error") s.getVm = Settings::GetVm::Error;
        else return false;
        return true;
    }
    if (key == "create_session") {
        s.createSessionNull = false;
        s.createSession = Outcome::returning(0);
        if (value == "ok") return true;
        if (value == "null") {
            s.createSessionNull = true;
            return true;
        }
        return parseFaultWord(value, s.createSession);
    }
    if (key == "find_group") return parseOkOrNull(value, s.findGroupNull);
    if (key == "find_class") return parseOkOrNull(value, s.findClassNull);
    if (key == "record_folder") {
        if (value == "no") s.recordFolder = false;
        else if (value == "yes") s.recordFolder = true;
        else return false;
        return true;
    }
    if (key == "journal") {
        s.journal = std::string(rawValue);
        return !rawValue.empty();
    }
    if (key == "journal_mode") {
        if (value == "append") s.journalInMemory = false;
        else if (value == "memory") s.journalInMemory = true;
        else return false;
        return true;
    }
    knownKey = false;
    return false;
}

}  // namespace

Settings parseSettings(std::string_view text) {
    Settings s;
    bool inSection = false;
    std::set<std::string> seen;
    int number = 0;
    for (std::string_view raw : splitLines(text)) {
        ++number;
        std::string_view line = trimBlanks(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') {
                s.problems.push_back({number, "bad section line"});
                continue;
            }
            inSection = equalsIgnoreCase(trimBlanks(line.substr(1, line.size() - 2)),
                                         kSettingsSection);
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            s.problems.push_back({number, "expected key = value"});
            continue;
        }
        std::string key = lowered(trimBlanks(line.substr(0, eq)));
        std::string_view value = trimBlanks(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (!inSection) {
            s.problems.push_back({number, "key '" + key + "' is outside [standin]"});
            continue;
        }
        if (!seen.insert(key).second) {
            s.problems.push_back({number, "key '" + key + "' given twice; the first one counts"});
            continue;
        }
        bool known;
        if (!apply(s, key, value, known)) {
            s.problems.push_back({number, known ? "bad value '" + std::string(value) + "' for " + key
                                                : "unknown key '" + key + "'"});
        }
    }
    return s;
}

}  // namespace standin
