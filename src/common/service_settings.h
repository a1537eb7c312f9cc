// The one process-wide record through which every operation takes its inputs.
//
// Each field is a fixed-capacity, zero-terminated single-byte string; the capacity
// counts the terminator, so a field holds at most capacity - 1 characters.  A command
// fills only the fields it needs (from the command line, an INI file or the registry)
// and then calls an operation that reads them.
#pragma once

#include <cstddef>

struct ServiceSettingsRecord {
    char ServiceName[260];
    char DisplayName[260];
    char Description[1028];
    char Domain[264];
    char Userid[260];
    char Password[260];
    char PBLibList[2048];
    char LibListWork[2048];
    char PBAppName[50];
    char PBObjName[50];
    char PBVMName[16];
    char PBRuntimeDir[260];  // the folder of a PowerBuilder 2019 R3+ runtime; empty: none
    char PBWorkDir[260];     // the application's working folder; empty: the default
    char LogFileName[260];
    char EventLog[50];
    // A setting that stops the start, found while service mode read the settings: the
    // text of the log line and error event, reported once the log can be written.
    char StartRefusal[96];
};

extern ServiceSettingsRecord ServiceSettings;

extern const char* const kDefaultDescription;
extern const char* const kDefaultVmName;
extern const char* const kDefaultEventLog;  // the event-log switch when EventLog is missing

// The fields that a command-line operand or an INI value can be copied into.
enum class Field {
    None,
    ServiceName,
    DisplayName,
    Description,
    Domain,
    Userid,
    Password,
    PBLibList,
    PBAppName,
    PBObjName,
    PBVMName,
    PBRuntimeDir,
    PBWorkDir,
};

// A field's name (as in the record), storage and capacity (counting the terminator).
struct FieldInfo {
    const char* name;  // as the field is named in the settings record
    char* storage;
    std::size_t capacity;  // counts the terminating zero
};

FieldInfo DescribeField(Field field);

// Puts the record back into its process-start state (used by the tests; a process
// starts in that state anyway).
void ResetServiceSettings();

// Sets the four fields that every run clears before it chooses its command.
void ClearRunFields();

// Copies value into a field when it fits (at most capacity - 1 characters) and returns
// true; otherwise leaves the field unchanged and returns false.
bool CopyToField(char* field, std::size_t capacity, const char* value);

template <std::size_t N>
bool CopyToField(char (&field)[N], const char* value) {
    return CopyToField(field, N, value);
}
