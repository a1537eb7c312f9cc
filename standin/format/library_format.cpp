#include "standin/library_format.h"

namespace standin {

namespace {

template <class T>
T callItem(const std::vector<T>& items, unsigned long callNumber, T none) {
    if (items.empty()) return none;
    std::size_t i = callNumber == 0 ? 0 : std::size_t(callNumber - 1);
    return i < items.size() ? items[i] : items.back();
}

bool isClauseWord(const std::string& w) { return w == "returns" || w == "takes"; }

class Parser {
public:
    LibraryDef run(std::string_view text) {
        int number = 0;
        for (std::string_view raw : splitLines(text)) {
            line_ = ++number;
            std::string_view line = trimBlanks(raw);
            if (line.empty() || line[0] == '#' || line[0] == ';') continue;
            std::vector<std::string> words = splitWords(line);
            const std::string& keyword = words[0];
            if (keyword == "class") onClass(words);
            else if (keyword == "function") onFunction(words);
            else if (keyword == "worklog") onWorklog(trimBlanks(line.substr(keyword.size())));
            else problem("unknown keyword '" + keyword + "'");
        }
        return std::move(library_);
    }

private:
    void problem(std::string message) { library_.problems.push_back({line_, std::move(message)}); }

    ClassDef* currentClass(const char* what) {
        if (current_ < 0) {
            problem(std::string(what) + " outside a class");
            return nullptr;
        }
        return &library_.classes[std::size_t(current_)];
    }

    void onClass(const std::vector<std::string>& words) {
        current_ = -1;  // what follows a rejected class line belongs to no class
        if (words.size() != 2) {
            problem("class needs exactly one name");
            return;
        }
        int existing = library_.findClass(words[1]);
        if (existing >= 0) {
            problem("class '" + words[1] + "' is already declared on line " +
                    std::to_string(library_.classes[std::size_t(existing)].line));
            return;
        }
        ClassDef c;
        c.name = words[1];
        c.line = line_;
        library_.classes.push_back(std::move(c));
        current_ = int(library_.classes.size()) - 1;
    }

    void onFunction(const std::vector<std::string>& words) {
        ClassDef* cls = currentClass("function");
        if (!cls) return;
        if (words.size() < 3 || isClauseWord(words[1]) || isClauseWord(words[2])) {
            problem("function needs a name and a signature");
            return;
        }
        FunctionDef f;
        f.name = words[1];
        f.signature = words[2];
        f.line = line_;
        bool seenReturns = false, seenTakes = false;
        std::size_t i = 3;
        while (i < words.size()) {
            const std::string& clause = words[i++];
            bool returns = clause == "returns";
            if (!returns && clause != "takes") {
                problem("unexpected '" + clause + "'");
                return;
            }
            bool& seen = returns ? seenReturns : seenTakes;
            if (seen) {
                problem("'" + clause + "' given twice");
                return;
            }
            seen = true;
            std::size_t first = i;
            for (; i < words.size() && !isClauseWord(words[i]); ++i) {
                if (returns ? !addOutcome(f, words[i]) : !addDuration(f, words[i])) return;
            }
            if (i == first) {
                problem("'" + clause + "' needs at least one value");
                return;
            }
        }
        int existing = cls->findFunction(f.name, f.signature);
        if (existing >= 0) {
            problem("function '" + f.name + "' '" + f.signature + "' is already declared on line " +
                    std::to_string(cls->functions[std::size_t(existing)].line));
            return;
        }
        cls->functions.push_back(std::move(f));
    }

    bool addOutcome(FunctionDef& f, const std::string& word) {
        Outcome o;
        if (!parseReturnsItem(word, o)) {
            problem("bad outcome '" + word + "'");
            return false;
        }
        f.outcomes.push_back(o);
        return true;
    }

    bool addDuration(FunctionDef& f, const std::string& word) {
        unsigned long ms;
        if (!parseUnsigned32(word, ms) || ms > kMaxDurationMs) {
            problem("bad duration '" + word + "'");
            return false;
        }
        f.durations.push_back(ms);
        return true;
    }

    void onWorklog(std::string_view path) {
        ClassDef* cls = currentClass("worklog");
        if (!cls) return;
        if (path.empty()) {
            problem("worklog needs a file name");
            return;
        }
        if (!cls->worklog.empty()) {
            problem("worklog given twice for class '" + cls->name + "'");
            return;
        }
        cls->worklog = std::string(path);
    }

    LibraryDef library_;
    int current_ = -1;
    int line_ = 0;
};

}  // namespace

Outcome FunctionDef::outcomeOfCall(unsigned long callNumber) const {
    return callItem(outcomes, callNumber, Outcome::returning(0));
}

unsigned long FunctionDef::durationOfCall(unsigned long callNumber) const {
    return callItem(durations, callNumber, 0UL);
}

int ClassDef::findFunction(std::string_view n, std::string_view s) const {
    for (std::size_t i = 0; i < functions.size(); ++i)
        if (functions[i].name == n && functions[i].signature == s) return int(i);
    return -1;
}

int LibraryDef::findClass(std::string_view n) const {
    for (std::size_t i = 0; i < classes.size(); ++i)
        if (equalsIgnoreCase(classes[i].name, n)) return int(i);
    return -1;
}

LibraryDef parseLibrary(std::string_view text) { return Parser().run(text); }

}  // namespace standin
