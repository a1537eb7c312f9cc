// Every command-line form with operands of every awkward kind: empty, one short of its
// field, the field's full capacity, 10,000 characters, bytes above 0x7F, blanks, quotes,
// printf directives, backslashes and semicolons.  Each run must exit with 0, print the
// command's own line (or the documented silence), and change nothing in the registry but
// what the command owns.  "What it owns" is checked by scanning the whole Services tree
// before and after each run for everything that carries the test's token.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "kit/events.h"
#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "runtime/hosted_service.h"

namespace {

using kit::RunProduct;

const std::string kServices = "SYSTEM\\CurrentControlSet\\Services";

// ---------------------------------------------------------------------------------------
// The registry as far as a test can own it: every key under Services whose path holds the
// token (with all its values), and every value anywhere under Services whose name or data
// holds it.  Keys map to "", values ("<key>|<value name>") to "<type>:<data>".  Key and
// value names are compared without regard to case, as the registry does, so they are
// kept in lower case (Wine spells the event log's key "Eventlog").
using Snapshot = std::map<std::string, std::string>;

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

void Walk(const std::string& path, const std::string& token, Snapshot& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    const bool ownedPath = path.find(token) != std::string::npos;
    if (ownedPath) out[Lower(path)] = "";
    DWORD maxName = 0, maxData = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                     &maxData, nullptr, nullptr);
    std::vector<char> name(maxName + 2);
    std::vector<char> data(maxData + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &dataLength) != ERROR_SUCCESS) {
            break;
        }
        const std::string valueName(name.data(), nameLength);
        const std::string valueData(data.data(), dataLength);
        if (ownedPath || valueName.find(token) != std::string::npos ||
            valueData.find(token) != std::string::npos) {
            out[Lower(path + "|" + valueName)] = std::to_string(type) + ":" + valueData;
        }
    }
    std::vector<std::string> children;
    char child[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.emplace_back(child, length);
    }
    RegCloseKey(key);
    for (const std::string& c : children) Walk(path + "\\" + c, token, out);
}

// Tests running alongside create and delete services, and a key deleted while the walk
// enumerates its siblings by index makes the walk skip one: a snapshot counts once two
// walks in a row agree.
Snapshot Scan(const std::string& token) {
    Snapshot snapshot;
    Walk(kServices, token, snapshot);
    for (int walk = 0; walk < 10; ++walk) {
        Snapshot again;
        Walk(kServices, token, again);
        if (again == snapshot) break;
        snapshot.swap(again);
    }
    return snapshot;
}

// The entries that appeared, disappeared or changed.
std::vector<std::string> Changes(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> changed;
    for (const auto& entry : after) {
        const auto old = before.find(entry.first);
        if (old == before.end() || old->second != entry.second) changed.push_back(entry.first);
    }
    for (const auto& entry : before) {
        if (after.find(entry.first) == after.end()) changed.push_back(entry.first);
    }
    return changed;
}

// As the snapshot spells them.
std::string ServiceKey(const std::string& name) { return Lower(kServices + "\\" + name); }
std::string SourceKey(const std::string& name) { return Lower(kServices + "\\EventLog\\Application\\" + name); }
std::string Entry(const std::string& key, const std::string& valueName) { return Lower(key + "|" + valueName); }

// True when every change lies in one of the keys (or below it).
bool OnlyWithin(const std::vector<std::string>& changes, const std::vector<std::string>& keys) {
    for (const std::string& change : changes) {
        const std::string path = change.substr(0, change.find('|'));
        bool inside = false;
        for (const std::string& key : keys) {
            inside = inside || path == key || path.compare(0, key.size() + 1, key + "\\") == 0;
        }
        if (!inside) return false;
    }
    return true;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "  " + line + "\n";
    return text;
}

// ---------------------------------------------------------------------------------------
// The operand kinds.  Each one that can carry the test's token does, so that the scan sees
// where it went; a capacity kind is the token padded to the length.
enum class Kind { Empty, CapacityLessOne, Capacity, TenThousand, NonAscii, Blanks, Quotes, Format, Backslash, Semicolon };

const Kind kAllKinds[] = {Kind::Empty,    Kind::CapacityLessOne, Kind::Capacity, Kind::TenThousand,
                          Kind::NonAscii, Kind::Blanks,          Kind::Quotes,   Kind::Format,
                          Kind::Backslash, Kind::Semicolon};

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Empty: return "empty";
        case Kind::CapacityLessOne: return "capacity-1";
        case Kind::Capacity: return "capacity";
        case Kind::TenThousand: return "10000";
        case Kind::NonAscii: return "non-ASCII";
        case Kind::Blanks: return "blanks";
        case Kind::Quotes: return "quotes";
        case Kind::Format: return "format";
        case Kind::Backslash: return "backslash";
        case Kind::Semicolon: return "semicolon";
    }
    return "?";
}

// capacity counts the terminator, as the fields do; 0 for an operand without a field.
std::string Operand(Kind kind, size_t capacity, const std::string& token) {
    auto padded = [&token](size_t length) {
        return length <= token.size() ? token.substr(0, length) : token + std::string(length - token.size(), 'p');
    };
    switch (kind) {
        case Kind::Empty: return "";
        case Kind::CapacityLessOne: return padded(capacity == 0 ? 259 : capacity - 1);
        case Kind::Capacity: return padded(capacity == 0 ? 260 : capacity);
        case Kind::TenThousand: return padded(10000);
        // Bytes that the ANSI code page maps to characters and back (0x80 is the euro sign
        // in 1252), so that they survive the way through the command line and the registry.
        case Kind::NonAscii: return token + "\xe9t\xe9\xff\x80\xa0";
        case Kind::Blanks: return token + " with  blanks ";
        case Kind::Quotes: return token + "\"quoted\"\"";
        case Kind::Format: return token + "%s%n%x%d%p%%";
        case Kind::Backslash: return token + "\\x\\";
        case Kind::Semicolon: return token + ";a;;b;";
    }
    return token;
}

std::string TooLong(const char* field, int most) {
    return std::string("The value for ") + field + " is too long (at most " + std::to_string(most) +
           " characters)!\r\n";
}

// A token that no other name contains: UniqueName's counter would make "x_1" a prefix
// of "x_12".
std::string Token(const std::string& prefix) { return kit::UniqueName(prefix) + "z"; }

// ---------------------------------------------------------------------------------------
// The service-name operand, for a name that is not installed.

struct NameForm {
    std::vector<std::string> arguments;  // "%" stands for the name, "#" for the token
    std::string notInstalled;            // the line for an unknown name; "%" = the name
};

std::string Expand(const std::string& text, const std::string& name) {
    std::string out;
    for (char c : text) {
        if (c == '%') {
            out += name;
        } else {
            out += c;
        }
    }
    return out;
}

const NameForm kNameForms[] = {
    {{"-u", "%"}, "Uninstall service '%' failed - service does not exist!\r\n"},
    {{"-e", "%"}, ""},
    {{"-start", "%"}, "Uninstall service failed - service does not exist!\r\n"},
    {{"-stop", "%"}, "Uninstall service failed - service does not exist!\r\n"},
    {{"-pause", "%"}, "Uninstall service failed - service does not exist!\r\n"},
    {{"-resume", "%"}, "Uninstall service failed - service does not exist!\r\n"},
    {{"-r", "%"}, ""},
    {{"-d", "%", "#"}, "OpenService failed!\r\n"},
    {{"-ds", "%", "true"}, "OpenService failed!\r\n"},
    {{"-ds", "%", "TRUE"}, ""},
    {{"-c", "%", "CORP", "#", "secret"}, "OpenService failed!\r\n"},
    {{"-l", "%", "#"}, "Open registry key failed!\r\n"},
    {{"-a", "%", "#"}, "Open registry key failed!\r\n"},
    {{"-o", "%", "#"}, "Open registry key failed!\r\n"},
    {{"-v", "%", "pbvm90.dll"}, "Open registry key failed!\r\n"},
    {{"-reg", "%", "#", "#"}, "Open registry key failed!\r\n"},
};

TEST(CommandLineServiceName, EveryFormWithEveryKindOfUnknownNameChangesNothingButItsOwn) {
    for (const Kind kind : kAllKinds) {
        const std::string token = Token("PbvmCl");
        const std::string name = Operand(kind, 260, token);
        for (const NameForm& form : kNameForms) {
            std::vector<std::string> arguments;
            for (const std::string& a : form.arguments) arguments.push_back(a == "%" ? name : a == "#" ? token : a);
            SCOPED_TRACE(std::string(KindName(kind)) + " name with " + form.arguments[0] + " " +
                         (form.arguments.size() > 2 ? form.arguments[2] : ""));

            const Snapshot before = Scan(token);
            const kit::EventMark mark = kit::MarkEvents();
            const kit::RunResult r = RunProduct(arguments);
            const std::vector<std::string> changes = Changes(before, Scan(token));

            EXPECT_EQ(r.exitCode, 0u);
            std::string expected;
            if (kind == Kind::Empty) {
                expected = "The service name must not be empty!\r\n";
            } else if (name.size() >= 260) {
                expected = TooLong("ServiceName", 259);
            } else if (kind == Kind::Backslash) {
                // A backslash would make the key path reach into another key.
                expected = "The service name must not contain a backslash!\r\n";
            } else {
                expected = Expand(form.notInstalled, name);
            }
            EXPECT_EQ(r.output, expected);

            const bool refused = expected.compare(0, 4, "The ") == 0;
            if (form.arguments[0] == "-e" && !refused) {
                // The one thing -e owns: the name's event source (a registry key name holds
                // at most 255 characters, so a longer name registers nothing).
                const std::string source = SourceKey(name);
                if (name.size() <= 255) {
                    EXPECT_EQ(changes, (std::vector<std::string>{source, Entry(source, "EventMessageFile"),
                                                                 Entry(source, "TypesSupported")}));
                } else {
                    EXPECT_EQ(changes, std::vector<std::string>{});
                }
                kit::DeleteRegTree(source);
            } else {
                EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
            }
            if (form.arguments[0] == "-r" && !refused) {
                // Not started by the manager: the first read fails, its event names the
                // service, and the process ends without a word on the console.
                EXPECT_EQ(kit::Summarize(kit::CollectEvents(name, mark, 1, 5000)),
                          std::vector<std::string>{"1:C0000003:GetRegString PBLibList failed"});
            }
        }
    }
}

// The two install forms with the names that no service can have: refused by the
// program itself, or by the manager with its own error, and nothing is written.
TEST(CommandLineServiceName, InstallRefusesNamesNoServiceCanHaveAndWritesNothing) {
    for (const Kind kind : {Kind::Empty, Kind::CapacityLessOne, Kind::Capacity, Kind::TenThousand, Kind::Backslash}) {
        const std::string token = Token("PbvmIr");
        const std::string name = Operand(kind, 260, token);
        kit::ServiceCleanup cleanup(name);
        for (const char* option : {"-im", "-ia"}) {
            SCOPED_TRACE(std::string(KindName(kind)) + " " + option);
            const Snapshot before = Scan(token);
            const kit::RunResult r = RunProduct({option, name, "display " + token});
            EXPECT_EQ(r.exitCode, 0u);
            std::string expected;
            if (kind == Kind::Empty) {
                expected = "The service name must not be empty!\r\n";
            } else if (kind == Kind::Backslash) {
                expected = "The service name must not contain a backslash!\r\n";
            } else if (name.size() >= 260) {
                expected = TooLong("ServiceName", 259);
            } else {
                // 259 characters fit the field but not the manager, which takes at most
                // 256 (Windows refuses a longer name with 123, Wine 8 with 31).
                const unsigned long error = kit::RunningUnderWine() ? 31 : 123;
                expected = "Install service '" + name + "' failed:\r\nError# " + std::to_string(error) + " - " +
                           kit::SystemErrorText(error) + "\r\n";
            }
            EXPECT_EQ(r.output, expected);
            const std::vector<std::string> changes = Changes(before, Scan(token));
            EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
            EXPECT_FALSE(kit::ReadServiceConfig(name).exists);
        }
    }
}

// A name with a backslash is no service name (the manager refuses to create one), and a
// key path built from it leads below another key: into a service's subkey, or from the
// event sources into another program's.
TEST(CommandLineServiceName, BackslashNeverReachesAnotherKey) {
    const std::string token = Token("PbvmBs");
    kit::ServiceCleanup service(token);
    ASSERT_TRUE(kit::CreateTestService(service.name(), "C:\\windows\\notepad.exe"));
    ASSERT_TRUE(kit::CreateRegKey(ServiceKey(service.name()) + "\\Parameters"));
    ASSERT_TRUE(kit::CreateRegKey(SourceKey(service.name())));
    const std::string inner = service.name() + "\\Parameters";
    const std::vector<std::vector<std::string>> lines = {
        {"-l", inner, "a.pbd"},         {"-a", inner, "app"},   {"-o", inner, "n_svc"},
        {"-v", inner, "pbvm90.dll"},    {"-reg", inner, "ImagePath", "C:\\evil.exe"},
        {"-e", inner},                  {"-e", "EventLog\\Application\\" + service.name()},
        {"-reg", "EventLog\\Application\\" + service.name(), "EventMessageFile", "C:\\evil.dll"},
        {"-u", inner},                  {"-d", inner, "d"},     {"-ds", inner, "true"},
        {"-c", inner, "D", "U", "P"},   {"-im", inner, "x"},    {"-ia", inner, "x"},
        {"-start", inner},              {"-stop", inner},       {"-pause", inner},
        {"-resume", inner},             {"-r", inner},          {"-l", service.name() + "\\", "a.pbd"},
        {"-a", "\\" + service.name(), "app"},
    };
    for (const auto& arguments : lines) {
        SCOPED_TRACE(arguments[0] + " " + arguments[1]);
        const Snapshot before = Scan(token);
        const kit::RunResult r = RunProduct(arguments);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "The service name must not contain a backslash!\r\n");
        const std::vector<std::string> changes = Changes(before, Scan(token));
        EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
    }
    EXPECT_EQ(kit::ReadServiceConfig(service.name()).imagePath, "C:\\windows\\notepad.exe");
}

// ---------------------------------------------------------------------------------------
// The other operands, on an installed service.

class CommandLineOperands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kit::CreateTestService(service_.name(), "C:\\windows\\notepad.exe"));
    }
    const std::string& name() const { return service_.name(); }
    std::string key() const { return ServiceKey(name()); }
    // Runs the command line and returns the registry changes it made.
    std::vector<std::string> RunAndScan(const std::vector<std::string>& arguments, kit::RunResult* r) {
        const Snapshot before = Scan(token_);
        *r = RunProduct(arguments);
        return Changes(before, Scan(token_));
    }
    const std::string token_ = Token("PbvmOp");
    kit::ServiceCleanup service_{token_};
};

TEST_F(CommandLineOperands, ParameterValuesAreStoredExactlyOrRefusedWhole) {
    struct Form {
        const char* option;
        const char* valueName;
        size_t capacity;
    } forms[] = {{"-l", "PBLibList", 2048}, {"-a", "PBAppName", 50}, {"-o", "PBObjName", 50},
                 {"-v", "PBVMName", 16}};
    for (const Form& form : forms) {
        for (const Kind kind : kAllKinds) {
            SCOPED_TRACE(std::string(form.option) + " " + KindName(kind));
            const kit::RegValue old = kit::ReadRegValue(key(), form.valueName);
            // PBVMName holds 15 characters: a shorter mark leaves room for the kind's own.
            const std::string value = Operand(kind, form.capacity, form.capacity < 20 ? "pv" : token_);
            kit::RunResult r;
            const std::vector<std::string> changes = RunAndScan({form.option, name(), value}, &r);
            EXPECT_EQ(r.exitCode, 0u);
            if (value.size() >= form.capacity) {
                EXPECT_EQ(r.output, TooLong(form.valueName, static_cast<int>(form.capacity - 1)));
                EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
                EXPECT_EQ(kit::ReadRegValue(key(), form.valueName).data, old.data);
                continue;
            }
            EXPECT_EQ(r.output, std::string("Update ") + form.valueName + " successful!\r\n");
            const kit::RegValue stored = kit::ReadRegValue(key(), form.valueName);
            EXPECT_EQ(stored.type, static_cast<unsigned long>(REG_SZ));
            EXPECT_EQ(kit::StringData(stored), value);
            const std::vector<std::string> expected =
                kit::StringData(old) == value && old.exists ? std::vector<std::string>{}
                                                            : std::vector<std::string>{Entry(key(), form.valueName)};
            EXPECT_EQ(changes, expected) << Joined(changes);
        }
    }
}

TEST_F(CommandLineOperands, RegStoresAnyNameAndAnyTextUnderTheServiceKeyOnly) {
    for (const Kind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        // As the value name, with a plain value...
        const std::string valueName = Operand(kind, 0, token_);
        kit::RunResult r;
        std::vector<std::string> changes = RunAndScan({"-reg", name(), valueName, "v" + token_}, &r);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "Update " + valueName + " successful!\r\n");
        EXPECT_EQ(changes, std::vector<std::string>{Entry(key(), valueName)}) << Joined(changes);
        EXPECT_EQ(kit::StringData(kit::ReadRegValue(key(), valueName)), "v" + token_);

        // ...and as the value, under a plain name.
        const std::string value = Operand(kind, 0, token_);
        changes = RunAndScan({"-reg", name(), "PbvmText", value}, &r);
        EXPECT_EQ(r.output, "Update PbvmText successful!\r\n");
        EXPECT_EQ(changes, std::vector<std::string>{Entry(key(), "PbvmText")}) << Joined(changes);
        EXPECT_EQ(kit::StringData(kit::ReadRegValue(key(), "PbvmText")), value);
    }
}

TEST_F(CommandLineOperands, DescriptionIsSetWholeOrRefused) {
    for (const Kind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        const std::string before = kit::ReadServiceConfig(name()).description;
        const std::string text = Operand(kind, 1028, token_);
        kit::RunResult r;
        const std::vector<std::string> changes = RunAndScan({"-d", name(), text}, &r);
        EXPECT_EQ(r.exitCode, 0u);
        if (text.size() >= 1028) {
            EXPECT_EQ(r.output, TooLong("Description", 1027));
            EXPECT_EQ(kit::ReadServiceConfig(name()).description, before);
            EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
        } else {
            EXPECT_EQ(r.output, "Update Description successful!\r\n");
            // An empty description removes the one there was.
            EXPECT_EQ(kit::ReadServiceConfig(name()).description, text);
            EXPECT_TRUE(OnlyWithin(changes, {key()})) << Joined(changes);
        }
    }
}

TEST_F(CommandLineOperands, DelayedStartIgnoresEveryOtherWordSilently) {
    for (const Kind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        kit::RunResult r;
        const std::vector<std::string> changes = RunAndScan({"-ds", name(), Operand(kind, 0, token_)}, &r);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
    }
}

TEST_F(CommandLineOperands, CredentialsAreSetWholeOrRefused) {
    if (!kit::RunningUnderWine()) GTEST_SKIP() << "needs real accounts on Windows";
    struct Position {
        size_t index;  // 0 domain, 1 user, 2 password
        const char* field;
        size_t capacity;
    } positions[] = {{0, "Domain", 264}, {1, "Userid", 260}, {2, "Password", 260}};
    for (const Position& p : positions) {
        for (const Kind kind : kAllKinds) {
            SCOPED_TRACE(std::string(p.field) + " " + KindName(kind));
            std::vector<std::string> parts = {"CORP", "svc", "secret"};
            parts[p.index] = Operand(kind, p.capacity, token_);
            const std::string before = kit::ReadServiceConfig(name()).account;
            kit::RunResult r;
            const std::vector<std::string> changes =
                RunAndScan({"-c", name(), parts[0], parts[1], parts[2]}, &r);
            EXPECT_EQ(r.exitCode, 0u);
            if (parts[p.index].size() >= p.capacity) {
                EXPECT_EQ(r.output, TooLong(p.field, static_cast<int>(p.capacity - 1)));
                EXPECT_EQ(kit::ReadServiceConfig(name()).account, before);
                EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
            } else {
                // Wine takes any account; the password is never shown again.
                EXPECT_EQ(r.output, "Update Credentials successful!\r\n");
                EXPECT_EQ(kit::ReadServiceConfig(name()).account, parts[0] + "\\" + parts[1]);
                EXPECT_TRUE(OnlyWithin(changes, {key()})) << Joined(changes);
            }
        }
    }
}

TEST(CommandLineInstall, DisplayNameOfEveryKindIsStoredWholeOrRefused) {
    for (const Kind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        const std::string token = Token("PbvmDn");
        kit::ServiceCleanup service(token);
        const std::string display = Operand(kind, 260, token);
        const Snapshot before = Scan(token);
        // Both install forms copy the display name the same way; -ia takes one kind.
        const kit::RunResult r = RunProduct({kind == Kind::Blanks ? "-ia" : "-im", token, display});
        const std::vector<std::string> changes = Changes(before, Scan(token));
        EXPECT_EQ(r.exitCode, 0u);
        if (display.size() >= 260) {
            EXPECT_EQ(r.output, TooLong("DisplayName", 259));
            EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
            continue;
        }
        EXPECT_EQ(r.output, "Install service '" + token + "' successful!\r\n");
        const kit::ServiceConfig config = kit::ReadServiceConfig(token);
        EXPECT_EQ(config.displayName, display);
        EXPECT_TRUE(OnlyWithin(changes, {ServiceKey(token), SourceKey(token)})) << Joined(changes);
    }
}

// ---------------------------------------------------------------------------------------
// Services whose names hold the awkward characters that the manager accepts: every form
// works on them and touches only their own keys.

std::string ExpectedImagePath(const std::string& name) {
    // The C runtime's rules: a name with a blank, a tab or a quote is enclosed in quotes,
    // and each quote in it is escaped by a backslash.
    if (name.find_first_of(" \t\"") == std::string::npos) return kit::ProductPath() + " -r " + name;
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return kit::QuoteArgument(kit::ProductPath()) + " -r " + quoted + "\"";
}

TEST(CommandLineServiceName, AwkwardNamesWorkWithEveryFormAndStayInTheirOwnKeys) {
    const std::string suffixes[] = {" with  blanks ", "\"quoted\"", "\"", "\xe9t\xe9\xff\x80\xa0", "%s%n%x%d%p%%",
                                    ";a;;b;", "\ttab"};
    for (const std::string& suffix : suffixes) {
        const std::string token = Token("PbvmAw");
        const std::string name = token + suffix;
        SCOPED_TRACE(name);
        kit::ServiceCleanup cleanup(name);
        const std::string key = ServiceKey(name);
        const std::string source = SourceKey(name);
        struct Step {
            std::vector<std::string> arguments;
            std::string output;
        } steps[] = {
            {{"-im", name, name + " display"}, "Install service '" + name + "' successful!\r\n"},
            // Service mode by hand, before the parameters are stored, so that it ends at the
            // first read.  With them it would go on to the dispatcher, which Windows refuses
            // to a process the manager did not start (1063) but Wine connects to the control
            // pipe made last, taking the start of whatever service another test starts then.
            {{"-r", name}, ""},
            {{"-d", name, "about " + name}, "Update Description successful!\r\n"},
            {{"-l", name, "a.pbd;" + name}, "Update PBLibList successful!\r\n"},
            {{"-a", name, "app"}, "Update PBAppName successful!\r\n"},
            {{"-o", name, "n_svc"}, "Update PBObjName successful!\r\n"},
            {{"-v", name, "pbvm90.dll"}, "Update PBVMName successful!\r\n"},
            {{"-reg", name, "EventLog", "false"}, "Update EventLog successful!\r\n"},
            {{"-e", name}, ""},
            {{"-stop", name}, "Service command failed - service is not running!\r\n"},
            {{"-pause", name}, "Service command failed - service is not running!\r\n"},
            {{"-resume", name}, "Service command failed - service is not running!\r\n"},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.arguments[0]);
            const Snapshot before = Scan(token);
            const kit::RunResult r = RunProduct(step.arguments);
            const std::vector<std::string> changes = Changes(before, Scan(token));
            EXPECT_EQ(r.exitCode, 0u);
            EXPECT_EQ(r.output, step.output);
            EXPECT_TRUE(OnlyWithin(changes, {key, source})) << Joined(changes);
        }
        const kit::ServiceConfig config = kit::ReadServiceConfig(name);
        EXPECT_EQ(config.imagePath, ExpectedImagePath(name));
        EXPECT_EQ(config.displayName, name + " display");
        EXPECT_EQ(config.description, "about " + name);
        EXPECT_EQ(kit::StringData(kit::ReadRegValue(key, "PBLibList")), "a.pbd;" + name);
        EXPECT_EQ(kit::StringData(kit::ReadRegValue(source, "EventMessageFile")), kit::ProductPath());

        const Snapshot before = Scan(token);
        const kit::RunResult r = RunProduct({"-u", name});
        EXPECT_EQ(r.output, "Uninstall service '" + name + "' successful!\r\n");
        EXPECT_FALSE(kit::RegKeyExists(key));
        EXPECT_FALSE(kit::RegKeyExists(source));
        EXPECT_TRUE(OnlyWithin(Changes(before, Scan(token)), {key, source}));
    }
}

// The name reaches the service process whole: the manager starts it with the image
// command line, and the process reads its parameters under the name it was given.
TEST(CommandLineServiceName, AwkwardNamesReachTheServiceProcessWhole) {
    const std::string suffixes[] = {"\"quoted\"", " \"a b\" ", "\ttab", "%s%n%x", "\xe9t\xe9\x80", ";a;b"};
    for (const std::string& suffix : suffixes) {
        // The folder cannot carry every one of these characters, so the service gets a
        // folder of its own under a plain name, and the awkward name is installed from there.
        runtime_test::HostedService folder("PbvmAwRun");
        const std::string name = folder.name() + suffix;
        SCOPED_TRACE(name);
        kit::ServiceCleanup cleanup(name);  // goes first: the service, then its folder
        kit::WriteWholeFile(folder.folder() + "\\app.pbl", runtime_test::HostedClass().Text());
        std::string output = folder.Run({"-im", name, "awkward"});
        // The ";" makes the value a list rather than the name of a list file.
        output += folder.Run({"-l", name, folder.folder() + "\\app.pbl;"});
        output += folder.Run({"-a", name, "app"});
        output += folder.Run({"-o", name, "n_svc"});
        output += folder.Run({"-reg", name, "LogFileName", folder.LogPath()});
        output += folder.Run({"-v", name, kit::TestVm().file});
        ASSERT_EQ(output, "Install service '" + name + "' successful!\r\nUpdate PBLibList successful!\r\n"
                          "Update PBAppName successful!\r\nUpdate PBObjName successful!\r\n"
                          "Update LogFileName successful!\r\nUpdate PBVMName successful!\r\n");
        EXPECT_EQ(folder.Run({"-start", name}), "Start service successful!\r\n");
        EXPECT_TRUE(kit::WaitForServiceState(name, SERVICE_RUNNING));
        EXPECT_TRUE(folder.WaitForCalls("InvokeBegin", "of_startup", 1, 10000));
        const auto startups = folder.Calls("InvokeBegin", "of_startup");
        ASSERT_EQ(startups.size(), 1u);
        EXPECT_EQ(startups[0].Field(4), kit::AsJournaled(name)) << "of_startup is given the whole name";
        EXPECT_EQ(folder.Log().substr(0, 24), "LibList: From Registry\r\n");
        EXPECT_EQ(folder.Run({"-stop", name}), "Service command successful!\r\n");
        EXPECT_TRUE(kit::WaitForServiceState(name, SERVICE_STOPPED));
    }
}

// ---------------------------------------------------------------------------------------
// The INI file name of -i: no field, but the whole path must fit the platform's limit.

TEST(CommandLineIniName, EveryKindIsFoundInstalledOrRefusedWithItsLine) {
    kit::TempDir dir("pbvmclini");
    CreateDirectoryA((dir / "x").c_str(), nullptr);
    const std::string base = dir.path() + "\\";
    for (const Kind kind : kAllKinds) {
        SCOPED_TRACE(KindName(kind));
        const std::string token = Token("PbvmIn");
        kit::ServiceCleanup service(token);
        // Relative to the folder; the capacity kinds make the whole path 259 and 260 long.
        std::string argument;
        switch (kind) {
            case Kind::CapacityLessOne: argument = Operand(kind, 260 - base.size(), token); break;
            case Kind::Capacity: argument = Operand(kind, 261 - base.size(), token); break;
            case Kind::Backslash: argument = "x\\" + token + ".ini"; break;
            case Kind::Quotes: argument = token + "\"q\".ini"; break;
            default: argument = Operand(kind, 0, token); break;
        }
        const std::string path = base + argument;
        // Quotes cannot be part of a file name; every other kind gets its file.
        const bool canExist = kind != Kind::Empty && kind != Kind::Quotes && path.size() < 260;
        if (canExist) {
            ASSERT_TRUE(kit::WriteWholeFile(path, "[Install]\r\nServiceName=" + token + "\r\nDisplayName=d\r\n"));
        }
        const Snapshot before = Scan(token);
        const kit::RunResult r = RunProduct({"-i", argument}, dir.path());
        const std::vector<std::string> changes = Changes(before, Scan(token));
        EXPECT_EQ(r.exitCode, 0u);
        if (path.size() >= 260) {
            EXPECT_EQ(r.output, "The .ini file name is too long (at most 259 characters)!\r\n");
            EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
        } else if (!canExist) {
            EXPECT_EQ(r.output, "The .ini file was not found!\r\n");
            EXPECT_EQ(changes, std::vector<std::string>{}) << Joined(changes);
        } else {
            EXPECT_EQ(r.output, "Install service '" + token + "' successful!\r\n");
            EXPECT_TRUE(OnlyWithin(changes, {ServiceKey(token), SourceKey(token)})) << Joined(changes);
            DeleteFileA(path.c_str());
        }
    }
}

}  // namespace
