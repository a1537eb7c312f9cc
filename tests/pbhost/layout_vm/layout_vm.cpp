// layoutvm.dll: a PowerBuilder 9 VM or, built with LAYOUTVM_PB10, a VM of PowerBuilder 10
// and later, reduced to its binary interface and written from the slot tables of PBNI
// alone (it shares no declaration with the host).  Its objects are
// plain structs whose first member points to an array of function pointers, filled slot
// by slot from the table below; every other slot is a trap.  Member functions are
// __thiscall in the vendor's 32-bit DLL: here they are METHOD free functions whose
// first parameter is `this` (ECX) and whose second is the unused EDX, which gives the same
// stack layout and the same callee-pops rule.  x64 has one convention, in which `this` is
// simply the first argument (RCX): there they are plain functions (METHOD below).
//
// Each call is appended as one line to the file named by the LAYOUTVM_CALLS environment
// variable: "<interface> <slot> <name> <this> <arguments as received>", strings in quotes
// as they are, but a UTF-16 unit beyond ASCII as \uXXXX.  The file outlives
// the DLL, so the host's FreeLibrary shows as the last line, "unloaded".
#include <windows.h>

#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#ifdef _WIN64
#define METHOD
#define THIS_ARGS void* self
#else
#define METHOD __fastcall
#define THIS_ARGS void* self, void*
#endif

namespace {

using Slot = void (*)();  // the one function-pointer type every other converts to silently
template <class F>
Slot AsSlot(F f) { return reinterpret_cast<Slot>(f); }

enum Interface { kVm, kSession, kArguments, kValue };
const char* const kInterfaceNames[] = {"IPB_VM", "IPB_Session", "IPB_Arguments", "IPB_Value"};
// PowerBuilder 10 and later: UTF-16 strings, CreateSession at slot 3 of 5, slots appended
// to the session and the value.
#ifdef LAYOUTVM_PB10
using Char = wchar_t;
constexpr std::size_t kVmSlots = 5, kSessionSlots = 291, kArgumentsSlots = 2, kValueSlots = 46;
constexpr std::size_t kCreateSessionSlot = 3;
#else
using Char = char;
constexpr std::size_t kVmSlots = 3, kSessionSlots = 271, kArgumentsSlots = 2, kValueSlots = 43;
constexpr std::size_t kCreateSessionSlot = 0;
#endif
const unsigned long kTrapException = 0xE0510701;

struct Object { const Slot* vtable; };
struct CallInfo { Object* args; Object* returnValue; void* returnClass; };  // 12 or 24 bytes

Slot vmTable[kVmSlots], sessionTable[kSessionSlots], argumentsTable[kArgumentsSlots], valueTable[kValueSlots];
Object vm{vmTable}, session{sessionTable}, arguments{argumentsTable};
Object argValues[4] = {{valueTable}, {valueTable}, {valueTable}, {valueTable}};
Object returnValue{valueTable};
long returnedLong = 0;
char group, klass, object;  // handles: only their addresses matter
const void* currentCallInfo = nullptr;
int callInfoCount = 0;

void Append(const std::string& line) {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("LAYOUTVM_CALLS", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// A pointer in hexadecimal, all of its 8 or 16 digits.
std::string Address(const void* p) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%0*llX", static_cast<int>(2 * sizeof p),
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(p)));
    return hex;
}

std::string Name(const void* p) {
    if (p == nullptr) return "null";
    if (p == &vm) return "vm";
    if (p == &session) return "session";
    if (p == &arguments) return "args";
    for (int i = 0; i < 4; ++i) {
        if (p == &argValues[i]) return "arg" + std::to_string(i);
    }
    if (p == &returnValue) return "ret";
    if (p == &group) return "grp";
    if (p == &klass) return "cls";
    if (p == &object) return "obj";
    if (p == currentCallInfo) return "ci" + std::to_string(callInfoCount);
    return Address(p);
}
std::string Plain(const Char* s) {
    std::string text;
    for (; *s != 0; ++s) {
        const unsigned unit = static_cast<std::make_unsigned_t<Char>>(*s);
        if (sizeof(Char) == 1 || unit < 0x80) {
            text += static_cast<char>(unit);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", unit);
        text += escaped;
    }
    return text;
}
std::string Text(const Char* s) { return s == nullptr ? "null" : "\"" + Plain(s) + "\""; }
std::string Low16(unsigned int v) { return std::to_string(v & 0xFFFFu); }

void Record(Slot self, const void* thisPointer, const std::string& arguments);

// --- IPB_VM -------------------------------------------------------------------------
long METHOD CreateSession(THIS_ARGS, const Char* app, const Char** libs, unsigned int numLibs,
                              Object** out) {
    std::string names = "[";
    for (unsigned int i = 0; libs != nullptr && i < (numLibs & 0xFFFFu) && i < 8; ++i) {
        names += (i ? " " : "") + Text(libs[i]);
    }
    Record(AsSlot(&CreateSession), self, Text(app) + " " + names + "] " + Low16(numLibs) + " " + Address(out));
    *out = &session;
    return 0;
}

// --- IPB_Session --------------------------------------------------------------------
void METHOD Release(THIS_ARGS) { Record(AsSlot(&Release), self, ""); }

unsigned int METHOD GetMethodID(THIS_ARGS, void* cls, const Char* name, int routineType,
                                    const Char* signature, unsigned int publicOnly) {
    Record(AsSlot(&GetMethodID), self, Name(cls) + " " + Text(name) + " " + std::to_string(routineType) + " " +
                                           Text(signature) + " " + Low16(publicOnly));
    const std::string known = (name ? Plain(name) : "") + "/" + (signature ? Plain(signature) : "");
    unsigned int id = 0xFFFF;
    if (known == "of_startup/LSB") id = 1;
    if (known == "of_run/L") id = 2;
    if (known == "of_stop/QB") id = 3;
    if (known == "of_paused/Q") id = 4;
    if (known == "of_control/QU") id = 5;
    return 0x5A5A0000u | id;  // a 16-bit result: AX holds it, the rest of EAX is garbage
}

long METHOD InitCallInfo(THIS_ARGS, void* cls, unsigned int mid, CallInfo* ci) {
    currentCallInfo = ci;
    ++callInfoCount;
    Record(AsSlot(&InitCallInfo), self, Name(cls) + " " + Low16(mid) + " " + Name(ci));
    *ci = CallInfo{&arguments, &returnValue, &klass};
    return 0;
}

void METHOD FreeCallInfo(THIS_ARGS, CallInfo* ci) { Record(AsSlot(&FreeCallInfo), self, Name(ci)); }

long METHOD InvokeObjectFunction(THIS_ARGS, void* obj, unsigned int mid, CallInfo* ci) {
    Record(AsSlot(&InvokeObjectFunction), self, Name(obj) + " " + Low16(mid) + " " + Name(ci));
    returnedLong = (mid & 0xFFFFu) == 2 ? 1234 : 0;
    return 0;
}

unsigned int METHOD HasExceptionThrown(THIS_ARGS) {
    Record(AsSlot(&HasExceptionThrown), self, "");
    return 0x5A5A0000u;  // false in AX, garbage above it
}

void METHOD ClearException(THIS_ARGS) { Record(AsSlot(&ClearException), self, ""); }

void* METHOD FindGroup(THIS_ARGS, const Char* name, int type) {
    Record(AsSlot(&FindGroup), self, Text(name) + " " + std::to_string(type));
    return &group;
}

void* METHOD FindClass(THIS_ARGS, void* grp, const Char* name) {
    Record(AsSlot(&FindClass), self, Name(grp) + " " + Text(name));
    return &klass;
}

void* METHOD NewObject(THIS_ARGS, void* cls) {
    Record(AsSlot(&NewObject), self, Name(cls));
    return &object;
}

// --- IPB_Arguments and IPB_Value ----------------------------------------------------
Object* METHOD GetAt(THIS_ARGS, unsigned int index) {
    Record(AsSlot(&GetAt), self, Low16(index));
    return (index & 0xFFFFu) < 4 ? &argValues[index & 0xFFFFu] : nullptr;
}

long METHOD GetLong(THIS_ARGS) {
    Record(AsSlot(&GetLong), self, "");
    return returnedLong;
}

long METHOD SetBool(THIS_ARGS, unsigned int value) {
    Record(AsSlot(&SetBool), self, Low16(value));
    return 0;
}

long METHOD SetUlong(THIS_ARGS, unsigned long value) {
    Record(AsSlot(&SetUlong), self, std::to_string(value));
    return 0;
}

long METHOD SetString(THIS_ARGS, const Char* value) {
    Record(AsSlot(&SetString), self, Text(value));
    return 0;
}

// The slots this VM serves, as PBNI numbers them (the same in every generation but
// CreateSession's).
struct Entry { Interface iface; std::size_t slot; const char* name; Slot function; };
const Entry kEntries[] = {
    {kVm, kCreateSessionSlot, "CreateSession", AsSlot(&CreateSession)},
    {kSession, 0, "Release", AsSlot(&Release)},
    {kSession, 3, "GetMethodID", AsSlot(&GetMethodID)},
    {kSession, 6, "InitCallInfo", AsSlot(&InitCallInfo)},
    {kSession, 7, "FreeCallInfo", AsSlot(&FreeCallInfo)},
    {kSession, 33, "InvokeObjectFunction", AsSlot(&InvokeObjectFunction)},
    {kSession, 35, "HasExceptionThrown", AsSlot(&HasExceptionThrown)},
    {kSession, 37, "ClearException", AsSlot(&ClearException)},
    {kSession, 40, "FindGroup", AsSlot(&FindGroup)},
    {kSession, 41, "FindClass", AsSlot(&FindClass)},
    {kSession, 47, "NewObject", AsSlot(&NewObject)},
    {kArguments, 1, "GetAt", AsSlot(&GetAt)},
    {kValue, 11, "GetLong", AsSlot(&GetLong)},
    {kValue, 27, "SetBool", AsSlot(&SetBool)},
    {kValue, 29, "SetUlong", AsSlot(&SetUlong)},
    {kValue, 35, "SetString", AsSlot(&SetString)},
};

void Record(Slot self, const void* thisPointer, const std::string& arguments) {
    for (const Entry& e : kEntries) {
        if (e.function == self) {
            Append(std::string(kInterfaceNames[e.iface]) + " " + std::to_string(e.slot) + " " + e.name + " " +
                   Name(thisPointer) + (arguments.empty() ? "" : " " + arguments));
        }
    }
}

// One distinct trap per slot, so that the line names the slot the host went through.
template <Interface I, std::size_t N>
void METHOD Trap(void*) {
    const std::string line = "unexpected slot " + std::to_string(N) + " of " + kInterfaceNames[I];
    Append(line);
    // Nothing may catch the exception, which ends the test program: say why on stderr.
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), (line + "\n").data(), static_cast<DWORD>(line.size() + 1), &written,
              nullptr);
    RaiseException(kTrapException, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}
template <Interface I, std::size_t... N>
void FillTraps(Slot* table, std::index_sequence<N...>) {
    ((table[N] = AsSlot(&Trap<I, N>)), ...);
}

void BuildTables() {
    FillTraps<kVm>(vmTable, std::make_index_sequence<kVmSlots>());
    FillTraps<kSession>(sessionTable, std::make_index_sequence<kSessionSlots>());
    FillTraps<kArguments>(argumentsTable, std::make_index_sequence<kArgumentsSlots>());
    FillTraps<kValue>(valueTable, std::make_index_sequence<kValueSlots>());
    Slot* const tables[] = {vmTable, sessionTable, argumentsTable, valueTable};
    for (const Entry& e : kEntries) tables[e.iface][e.slot] = e.function;
}

}  // namespace

// Declared by the vendor without a convention keyword: __cdecl.
extern "C" __declspec(dllexport) long __cdecl PB_GetVM(Object** out) {
    Append("PB_GetVM");
    *out = &vm;
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) BuildTables();
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) Append("unloaded");  // FreeLibrary, not exit
    return TRUE;
}
