// The choice of a command-line form, and the operand checks that go with it.
//
// Input: the arguments after the program name, each ended by a zero byte (the last one
// may lack it); at most seven are taken, one more than any form has.
//
// Properties:
// - a form is found exactly when the documented command line (README) has the option
//   with that argument count; the form found has exactly that count and option;
// - the form's operand slots beyond its count are unused, and no two operands share a
//   field; every form but -i takes the service name first;
// - an operand is accepted by its field exactly when it is shorter than the capacity;
//   an accepted one is then the field's whole string, and nothing else in the settings
//   record changes; a refused one changes nothing at all.  The record's fields lie side
//   by side, so an overrun into the next field is caught here, where the address
//   sanitizer would not see it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_forms.h"
#include "common/service_settings.h"
#include "fuzz_check.h"

namespace {

// The command line as the README documents it, written out apart from the product's
// own table so that each checks the other.
struct DocumentedForm {
    const char* option;
    int argc;
    Command command;
};

const DocumentedForm kDocumented[] = {
    {"-u", 3, Command::Uninstall},         {"-e", 3, Command::AddEventSource},
    {"-i", 3, Command::InstallFromIni},    {"-start", 3, Command::Start},
    {"-stop", 3, Command::Stop},           {"-pause", 3, Command::Pause},
    {"-resume", 3, Command::Resume},       {"-r", 3, Command::ServiceMode},
    {"-status", 3, Command::ShowStatus},   {"-dep", 4, Command::UpdateDependencies},
    {"-im", 4, Command::InstallManual},    {"-ia", 4, Command::InstallAuto},
    {"-d", 4, Command::UpdateDescription}, {"-ds", 4, Command::UpdateDelayedStart},
    {"-l", 4, Command::SetLibList},        {"-a", 4, Command::SetAppName},
    {"-o", 4, Command::SetObjName},        {"-v", 4, Command::SetVmName},
    {"-reg", 5, Command::SetRegValue},     {"-c", 6, Command::UpdateCredentials},
};

const DocumentedForm* FindDocumented(const std::vector<std::string>& arguments) {
    const int argc = static_cast<int>(arguments.size()) + 1;
    if (arguments.empty()) return nullptr;
    for (const DocumentedForm& form : kDocumented) {
        if (form.argc == argc && arguments[0] == form.option) return &form;
    }
    return nullptr;
}

std::vector<std::string> SplitArguments(const uint8_t* data, size_t size) {
    const size_t kMaxArguments = 7;
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < size && arguments.size() < kMaxArguments) {
        const void* zero = std::memchr(data + start, 0, size - start);
        const size_t end = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
        arguments.emplace_back(reinterpret_cast<const char*>(data + start), end - start);
        start = end + 1;
    }
    return arguments;
}

unsigned char* RecordBytes() { return reinterpret_cast<unsigned char*>(&ServiceSettings); }

// Copies one operand into its field the way the dispatcher does, and checks the outcome
// against a snapshot of the whole record.
void CheckOperandCopy(Field field, const std::string& operand) {
    const FieldInfo info = DescribeField(field);
    if (field == Field::None) {
        FUZZ_CHECK(info.storage == nullptr && info.capacity == 0);
        return;
    }
    FUZZ_CHECK(info.storage != nullptr && info.name != nullptr && info.name[0] != '\0');
    const unsigned char* record = RecordBytes();
    const size_t offset = static_cast<size_t>(reinterpret_cast<unsigned char*>(info.storage) - record);
    FUZZ_CHECK(offset < sizeof ServiceSettings && info.capacity <= sizeof ServiceSettings - offset);

    // A pattern in the whole record, so that a missing terminator or a stray write shows.
    std::memset(RecordBytes(), 0xA5, sizeof ServiceSettings);
    const std::vector<unsigned char> before(record, record + sizeof ServiceSettings);

    const size_t length = std::strlen(operand.c_str());
    const bool fits = length < info.capacity;
    const bool copied = CopyToField(info.storage, info.capacity, operand.c_str());
    FUZZ_CHECK(copied == fits);

    for (size_t i = 0; i < sizeof ServiceSettings; ++i) {
        const bool written = copied && i >= offset && i <= offset + length;
        if (!written) FUZZ_CHECK(record[i] == before[i]);
    }
    if (copied) {
        FUZZ_CHECK(std::memcmp(info.storage, operand.c_str(), length + 1) == 0);
        FUZZ_CHECK(std::strlen(info.storage) == length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> arguments = SplitArguments(data, size);
    std::vector<const char*> argv;
    argv.push_back("pbvmsvc.exe");
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size()) - 1;

    const CommandForm* form = FindCommandForm(argc, argv.data());
    const DocumentedForm* documented = FindDocumented(arguments);
    FUZZ_CHECK((form != nullptr) == (documented != nullptr));
    if (form == nullptr) return 0;

    FUZZ_CHECK(form->argumentCount == argc);
    FUZZ_CHECK(std::strcmp(form->option, argv[1]) == 0);
    FUZZ_CHECK(form->command == documented->command);

    const int operands = argc - 2;
    FUZZ_CHECK(operands >= 1 && operands <= kMaxOperands);
    for (int i = operands; i < kMaxOperands; ++i) FUZZ_CHECK(form->operandFields[i] == Field::None);
    for (int i = 0; i < operands; ++i) {
        for (int j = i + 1; j < operands; ++j) {
            if (form->operandFields[i] != Field::None) {
                FUZZ_CHECK(form->operandFields[i] != form->operandFields[j]);
            }
        }
    }
    if (form->command != Command::InstallFromIni) FUZZ_CHECK(form->operandFields[0] == Field::ServiceName);

    for (int i = 0; i < operands; ++i) CheckOperandCopy(form->operandFields[i], argv[2 + i]);

    ResetServiceSettings();
    return 0;
}
