// The service's image command line and its logon account name.
//
// Input: four texts, each ended by a zero byte (the last one may lack it): the module
// path, the service name, the domain and the user id.
//
// Properties:
// - the Windows C runtime splits the image command line back into exactly three
//   arguments, the path, "-r" and the name, for every path that a module can have and
//   every name that the Service Control Manager can register (below);
// - the path is quoted exactly when it holds a blank; the name exactly when it holds a
//   blank, a tab or a quote, and then each of its quotes is escaped with a backslash;
//   the line is the path, " -r " and the name, with nothing else added;
// - the account is the domain, one backslash and the user id, whatever they hold.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "registration/service_image.h"

namespace {

std::vector<std::string> SplitInput(const uint8_t* data, size_t size, size_t wanted) {
    std::vector<std::string> texts;
    size_t start = 0;
    while (texts.size() < wanted) {
        if (start >= size) {
            texts.emplace_back();
            continue;
        }
        const void* zero = std::memchr(data + start, 0, size - start);
        const size_t end = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
        texts.emplace_back(reinterpret_cast<const char*>(data + start), end - start);
        start = end + 1;
    }
    return texts;
}

// How the Windows C runtime (msvcrt's parse_cmdline, single-byte code page) cuts a
// command line into argv.
//
// The program name is special: quotes only switch quoting on and off, backslashes are
// plain characters, and it ends at the first blank or tab outside quotes.  Every later
// argument is separated by blanks and tabs outside quotes, and:
//   2n backslashes and a quote     -> n backslashes, and the quote switches quoting;
//   2n+1 backslashes and a quote   -> n backslashes and a literal quote;
//   backslashes before anything else stay as they are;
//   two quotes inside quotes       -> one literal quote, still inside quotes.
std::vector<std::string> SplitLikeTheCRuntime(const std::string& line) {
    std::vector<std::string> argv;
    size_t p = 0;
    const size_t n = line.size();
    auto blank = [&line](size_t i) { return line[i] == ' ' || line[i] == '\t'; };

    std::string program;
    bool inQuotes = false;
    while (p < n && (inQuotes || !blank(p))) {
        if (line[p] == '"') {
            inQuotes = !inQuotes;
        } else {
            program.push_back(line[p]);
        }
        ++p;
    }
    argv.push_back(program);

    inQuotes = false;
    for (;;) {
        while (p < n && blank(p)) ++p;
        if (p >= n) break;
        std::string argument;
        for (;;) {
            size_t backslashes = 0;
            while (p < n && line[p] == '\\') {
                ++backslashes;
                ++p;
            }
            bool copy = true;
            if (p < n && line[p] == '"') {
                if (backslashes % 2 == 0) {
                    if (inQuotes && p + 1 < n && line[p + 1] == '"') {
                        ++p;  // a doubled quote inside quotes: the second one is copied
                    } else {
                        copy = false;
                        inQuotes = !inQuotes;
                    }
                }
                backslashes /= 2;
            }
            argument.append(backslashes, '\\');
            if (p >= n || (!inQuotes && blank(p))) break;
            if (copy) argument.push_back(line[p]);
            ++p;
        }
        argv.push_back(argument);
    }
    return argv;
}

// What GetModuleFileNameA can hand back: a non-empty path without a quote or a control
// character, neither of which Windows allows in a file name.
bool PossibleModulePath(const std::string& path) {
    if (path.empty()) return false;
    for (unsigned char c : path) {
        if (c < 0x20 || c == '"') return false;
    }
    return true;
}

// What can reach the image command line as a service name: the dispatcher and the INI
// installation refuse an empty one, and the Service Control Manager refuses a name with
// a backslash (or a forward slash, which does not matter to the split).
bool PossibleServiceName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

// The name as it must stand in the line: as it is, or in quotes with each quote escaped.
std::string ExpectedNamePart(const std::string& name) {
    if (name.find_first_of(" \t\"") == std::string::npos) return name;
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> texts = SplitInput(data, size, 4);
    const std::string& path = texts[0];
    const std::string& name = texts[1];
    const std::string& domain = texts[2];
    const std::string& userid = texts[3];

    const std::string line = BuildImageCommandLine(path, name);
    const bool pathQuoted = path.find(' ') != std::string::npos;
    const size_t pathLength = path.size() + (pathQuoted ? 2 : 0);
    FUZZ_CHECK(line.size() >= pathLength + 4);
    FUZZ_CHECK(line.compare(pathLength, 4, " -r ") == 0);
    FUZZ_CHECK(line.compare(pathQuoted ? 1 : 0, path.size(), path) == 0);
    if (pathQuoted) FUZZ_CHECK(line[0] == '"' && line[pathLength - 1] == '"');
    const size_t nameBegin = pathLength + 4;
    FUZZ_CHECK(line.compare(nameBegin, std::string::npos, ExpectedNamePart(name)) == 0);

    if (PossibleModulePath(path) && PossibleServiceName(name)) {
        const std::vector<std::string> argv = SplitLikeTheCRuntime(line);
        FUZZ_CHECK(argv.size() == 3);
        FUZZ_CHECK(argv[0] == path);
        FUZZ_CHECK(argv[1] == "-r");
        FUZZ_CHECK(argv[2] == name);
    }

    const std::string account = BuildAccountName(domain, userid);
    FUZZ_CHECK(account.size() == domain.size() + 1 + userid.size());
    FUZZ_CHECK(account.compare(0, domain.size(), domain) == 0);
    FUZZ_CHECK(account[domain.size()] == '\\');
    FUZZ_CHECK(account.compare(domain.size() + 1, userid.size(), userid) == 0);
    return 0;
}
