// The binary interface of the PowerBuilder VMs, as the host calls it: PowerBuilder 9
// (pbvm90.dll, ANSI) and PowerBuilder 10 and later (pbvm100.dll ... pbvm190.dll, pbvm.dll,
// Unicode).
//
// The VM is built by its vendor with MSVC and offers its native interface as C++
// interfaces of pure virtual functions.  Each struct below declares one of them slot for
// slot: the functions the host calls under their vendor names, with the vendor's argument
// and result sizes, and a filler (UnusedN, N = the slot number) for every slot the host
// never calls, so that slot k of the vtable is the k-th virtual function declared.
// There is no base class but the earlier slots of the same interface, no virtual
// destructor and no overloaded virtual name, and no function returns a struct by value:
// under those conditions MSVC and g++ lay a vtable out alike, a derived struct's slots
// following its base's.  Member functions use the compilers' default convention on
// 32-bit Windows, thiscall (this in ECX, arguments on the stack right to left, the callee
// pops them), which is the VM's; on x64 the one convention of the platform (this in RCX).
// A slot is 4 bytes wide in the 32-bit build, 8 in the 64-bit one (slot k at offset k * 8),
// as are pointers and the VM's handles; the 16- and 32-bit types keep their sizes (long is
// 32 bits on Win64 too).  The 64-bit VMs are all of PowerBuilder 10 and later.  Do not
// reorder, insert or remove members.
//
// The two generations share the layout of every slot the host calls; they differ in the
// string type (Char below: char for PowerBuilder 9, the ANSI code page; wchar_t for 10
// and later, UTF-16), in the VM's slot that creates a session, and in slots appended at
// the end of the session and of the value, which the host never calls.
#pragma once

#include <cstddef>

namespace pbni {

typedef short pbint;                  // 16 bits
typedef unsigned short pbuint;        // 16 bits
typedef long pblong;                  // 32 bits
typedef unsigned long pbulong;        // 32 bits
typedef short pbboolean;              // 16 bits, 0 or 1; never bool, BOOL or int
typedef pbuint pbmethodID;            // 16 bits
typedef long PBXRESULT;               // 0 = PBX_OK
typedef struct Opaque_* pbclass;      // handles the host only passes back
typedef struct Opaque_* pbgroup;
typedef struct Opaque_* pbobject;

const PBXRESULT PBX_OK = 0;
const pbmethodID kUndefinedMethodID = 0xFFFF;  // GetMethodID: no such function

enum PBRoutineType { PBRT_FUNCTION = 0, PBRT_EVENT = 1, PBRT_ANY = 2 };  // 4 bytes

enum pbgroup_type {  // 4 bytes
    pbgroup_application = 0,
    pbgroup_datawindow = 1,
    pbgroup_function = 2,
    pbgroup_menu = 3,
    pbgroup_proxy = 4,
    pbgroup_structure = 5,
    pbgroup_userobject = 6,
    pbgroup_window = 7,
    pbgroup_unknown = 8,
};

// A slot the host never calls.  A stand-in VM overrides each with a trap.
#define PBNI_UNUSED_SLOT(n) virtual void Unused##n() = 0;
#define PBNI_TEN_SLOTS(X, tens) \
    X(tens##0) X(tens##1) X(tens##2) X(tens##3) X(tens##4) X(tens##5) X(tens##6) X(tens##7) X(tens##8) X(tens##9)

// Runs of unused slots, named so that the declarations below and the list of every
// unused slot of an interface (the PBNI_*_UNUSED macros) are written from the same runs.
#define PBNI_SESSION_SLOTS_8_TO_32(X) X(8) X(9) PBNI_TEN_SLOTS(X, 1) PBNI_TEN_SLOTS(X, 2) X(30) X(31) X(32)
#define PBNI_SESSION_SLOTS_48_TO_270(X)                                                       \
    X(48) X(49) PBNI_TEN_SLOTS(X, 5) PBNI_TEN_SLOTS(X, 6) PBNI_TEN_SLOTS(X, 7)                 \
    PBNI_TEN_SLOTS(X, 8) PBNI_TEN_SLOTS(X, 9) PBNI_TEN_SLOTS(X, 10) PBNI_TEN_SLOTS(X, 11)      \
    PBNI_TEN_SLOTS(X, 12) PBNI_TEN_SLOTS(X, 13) PBNI_TEN_SLOTS(X, 14) PBNI_TEN_SLOTS(X, 15)    \
    PBNI_TEN_SLOTS(X, 16) PBNI_TEN_SLOTS(X, 17) PBNI_TEN_SLOTS(X, 18) PBNI_TEN_SLOTS(X, 19)    \
    PBNI_TEN_SLOTS(X, 20) PBNI_TEN_SLOTS(X, 21) PBNI_TEN_SLOTS(X, 22) PBNI_TEN_SLOTS(X, 23)    \
    PBNI_TEN_SLOTS(X, 24) PBNI_TEN_SLOTS(X, 25) PBNI_TEN_SLOTS(X, 26) X(270)
#define PBNI_SESSION_SLOTS_271_TO_290(X) \
    X(271) X(272) X(273) X(274) X(275) X(276) X(277) X(278) X(279) PBNI_TEN_SLOTS(X, 28) X(290)
#define PBNI_VALUE_SLOTS_0_TO_10(X) X(0) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8) X(9) X(10)
#define PBNI_VALUE_SLOTS_12_TO_26(X) \
    X(12) X(13) X(14) X(15) X(16) X(17) X(18) X(19) X(20) X(21) X(22) X(23) X(24) X(25) X(26)
#define PBNI_VALUE_SLOTS_30_TO_34(X) X(30) X(31) X(32) X(33) X(34)
#define PBNI_VALUE_SLOTS_36_TO_42(X) X(36) X(37) X(38) X(39) X(40) X(41) X(42)
#define PBNI_VALUE_SLOTS_43_TO_45(X) X(43) X(44) X(45)

#define PBNI_VM_UNUSED(X) X(1) X(2)
#define PBNI_VM10_UNUSED(X) X(0) X(1) X(2) X(4)
#define PBNI_ARGUMENTS_UNUSED(X) X(0)
#define PBNI_VALUE_UNUSED(X)                                                               \
    PBNI_VALUE_SLOTS_0_TO_10(X) PBNI_VALUE_SLOTS_12_TO_26(X) X(28) PBNI_VALUE_SLOTS_30_TO_34(X) \
    PBNI_VALUE_SLOTS_36_TO_42(X)
#define PBNI_VALUE10_UNUSED(X) PBNI_VALUE_UNUSED(X) PBNI_VALUE_SLOTS_43_TO_45(X)
#define PBNI_SESSION_UNUSED(X)                                                                 \
    X(1) X(2) X(4) X(5) PBNI_SESSION_SLOTS_8_TO_32(X) X(34) X(36) X(38) X(39) X(42) X(43) X(44) \
    X(45) X(46) PBNI_SESSION_SLOTS_48_TO_270(X)
#define PBNI_SESSION10_UNUSED(X) PBNI_SESSION_UNUSED(X) PBNI_SESSION_SLOTS_271_TO_290(X)

// A value: an argument of a prepared call, or its result.  43 slots in both generations'
// common part.
template <class Char>
struct IPB_ValueT {
    // 0 GetClass ... 10 GetBool
    PBNI_VALUE_SLOTS_0_TO_10(PBNI_UNUSED_SLOT)
    virtual pblong GetLong() = 0;                  // slot 11
    // 12 GetUlong ... 26 SetUint
    PBNI_VALUE_SLOTS_12_TO_26(PBNI_UNUSED_SLOT)
    virtual PBXRESULT SetBool(pbboolean value) = 0;  // slot 27
    PBNI_UNUSED_SLOT(28)                             // SetLong
    virtual PBXRESULT SetUlong(pbulong value) = 0;   // slot 29
    // 30 SetReal, SetDouble, SetDecimal, SetChar, 34 SetPBString
    PBNI_VALUE_SLOTS_30_TO_34(PBNI_UNUSED_SLOT)
    virtual PBXRESULT SetString(const Char* value) = 0;  // slot 35
    // 36 SetArray ... 42 SetObject
    PBNI_VALUE_SLOTS_36_TO_42(PBNI_UNUSED_SLOT)

protected:
    ~IPB_ValueT() {}
};

// The arguments of a prepared call.  2 slots.
template <class Char>
struct IPB_ArgumentsT {
    PBNI_UNUSED_SLOT(0)                                  // GetCount
    virtual IPB_ValueT<Char>* GetAt(pbint index) = 0;  // slot 1; index from 0

protected:
    ~IPB_ArgumentsT() {}
};

// The record of one call, 12 bytes.  The host provides the storage from InitCallInfo to
// FreeCallInfo; the VM fills it.
template <class Char>
struct PBCallInfoT {
    IPB_ArgumentsT<Char>* pArgs;
    IPB_ValueT<Char>* returnValue;
    pbclass returnClass;
};

// A runtime session over an application's libraries: slots 0-270, PowerBuilder 9's 271.
template <class Char>
struct IPB_SessionT {
    virtual void Release() = 0;  // slot 0: ends the session
    PBNI_UNUSED_SLOT(1)          // GetClass
    PBNI_UNUSED_SLOT(2)          // GetSystemGroup
    // slot 3; kUndefinedMethodID when the class has no such function
    virtual pbmethodID GetMethodID(pbclass cls, const Char* methodName, PBRoutineType rt,
                                   const Char* signature, pbboolean publicOnly) = 0;
    PBNI_UNUSED_SLOT(4)  // FindMatchingFunction
    PBNI_UNUSED_SLOT(5)  // GetMethodIDByEventID
    virtual PBXRESULT InitCallInfo(pbclass cls, pbmethodID mid, PBCallInfoT<Char>* ci) = 0;  // 6
    virtual void FreeCallInfo(PBCallInfoT<Char>* ci) = 0;                                     // 7
    // 8 AddLocalRef ... 13 PopLocalFrame, 14-31 Add<T>Argument, 32 InvokeClassFunction
    PBNI_SESSION_SLOTS_8_TO_32(PBNI_UNUSED_SLOT)
    virtual PBXRESULT InvokeObjectFunction(pbobject obj, pbmethodID mid, PBCallInfoT<Char>* ci) = 0;  // 33
    PBNI_UNUSED_SLOT(34)                           // TriggerEvent
    virtual pbboolean HasExceptionThrown() = 0;    // slot 35
    PBNI_UNUSED_SLOT(36)                           // GetException
    virtual void ClearException() = 0;             // slot 37
    PBNI_UNUSED_SLOT(38)                           // ThrowException
    PBNI_UNUSED_SLOT(39)                           // GetCurrGroup
    virtual pbgroup FindGroup(const Char* name, pbgroup_type type) = 0;  // slot 40
    virtual pbclass FindClass(pbgroup group, const Char* name) = 0;      // slot 41
    // 42 FindClassByClassID, GetClassName, GetSuperClass, GetSystemClass, 46 IsAutoInstantiate
    PBNI_UNUSED_SLOT(42) PBNI_UNUSED_SLOT(43) PBNI_UNUSED_SLOT(44) PBNI_UNUSED_SLOT(45)
    PBNI_UNUSED_SLOT(46)
    virtual pbobject NewObject(pbclass cls) = 0;  // slot 47
    // 48-91 fields, 92-173 shared and global variables, 174-218 native objects and arrays,
    // 219-246 strings, blobs, dates, 247-260 proxies, values, properties, messages and
    // enums; 261-270 reserved in PowerBuilder 9 (nothing there may be called on it)
    PBNI_SESSION_SLOTS_48_TO_270(PBNI_UNUSED_SLOT)

protected:
    ~IPB_SessionT() {}
};

// PowerBuilder 9: ANSI strings, 43 value slots, 271 session slots.
typedef IPB_ValueT<char> IPB_Value;
typedef IPB_ArgumentsT<char> IPB_Arguments;
typedef PBCallInfoT<char> PBCallInfo;
typedef IPB_SessionT<char> IPB_Session;

// PowerBuilder 10 and later append slots the host never calls: 43-45 of the value
// (IsReadOnly, GetByte, SetByte) and 271-290 of the session (string release, and more).
// Only a VM implements them; the host holds its pointers as the common part.
struct IPB_Value10 : IPB_ValueT<wchar_t> {
    PBNI_VALUE_SLOTS_43_TO_45(PBNI_UNUSED_SLOT)

protected:
    ~IPB_Value10() {}
};
struct IPB_Session10 : IPB_SessionT<wchar_t> {
    PBNI_SESSION_SLOTS_271_TO_290(PBNI_UNUSED_SLOT)

protected:
    ~IPB_Session10() {}
};

// The PowerBuilder 9 VM.  3 slots.
struct IPB_VM {
    // slot 0.  applicationName is the application object's name in lower case.  A VM may
    // also leave this call by raising a structured exception.
    virtual PBXRESULT CreateSession(const char* applicationName, const char** libraryList,
                                    pbuint numLibs, IPB_Session** session) = 0;
    PBNI_UNUSED_SLOT(1)  // RunApplication
    PBNI_UNUSED_SLOT(2)  // SetLoggingService

protected:
    ~IPB_VM() {}
};

// The VM of PowerBuilder 10 and later.  5 slots.  Slots 0 and 1 are PowerBuilder 9's ANSI
// entries, kept for old hosts; their sessions' string handling is not documented, so the
// host creates its session through slot 3, which makes a UTF-16 session.
struct IPB_VM10 {
    PBNI_UNUSED_SLOT(0)  // CreateSessionA
    PBNI_UNUSED_SLOT(1)  // RunApplicationA
    PBNI_UNUSED_SLOT(2)  // SetLoggingService
    // slot 3, as PowerBuilder 9's slot 0 in UTF-16.
    virtual PBXRESULT CreateSession(const wchar_t* applicationName, const wchar_t** libraryList,
                                    pbuint numLibs, IPB_SessionT<wchar_t>** session) = 0;
    PBNI_UNUSED_SLOT(4)  // RunApplication

protected:
    ~IPB_VM10() {}
};

// Which VM interface goes with a string type.
template <class Char>
struct VmFor;
template <>
struct VmFor<char> {
    typedef IPB_VM Type;
};
template <>
struct VmFor<wchar_t> {
    typedef IPB_VM10 Type;
};

// The DLL's one export, undecorated, in both generations.  The vendor declares it without
// a calling convention, that is __cdecl; call it through CallGetVm (get_vm_call.h), which
// copes with either.  It hands out the generation's own VM interface.
typedef PBXRESULT(__cdecl* PB_GetVM_Function)(void** vm);
const char* const kGetVmExport = "PB_GetVM";

// The most names CreateSession can be given: its count is 16 bits wide.
const unsigned long kMaxLibraries = 0xFFFF;

// The first release whose VM speaks the Unicode interface: the file version's major
// number (9 for PowerBuilder 9, then 10, 11, 12, 17, 19, 21, 22, 25).
const unsigned kFirstUnicodeMajorVersion = 10;

}  // namespace pbni

// Sizes and offsets as the VM sees them, in the 32-bit and in the 64-bit build.  Every slot
// the host calls is checked by the tests (tests/pbhost/pbni_layout_test.cpp), since a
// vtable offset is no constant expression.
#if defined(_WIN32)
#if defined(_WIN64)
#define PBNI_WORD 8  // pointers, handles, vtable slots
#else
#define PBNI_WORD 4
#endif
static_assert(sizeof(void*) == PBNI_WORD, "the word of the build");
static_assert(sizeof(pbni::pbboolean) == 2 && sizeof(pbni::pbint) == 2 && sizeof(pbni::pbuint) == 2,
              "16-bit PBNI types");
static_assert(sizeof(pbni::pbmethodID) == 2, "method ids are 16 bits");
// Windows' long is 32 bits in both builds (LLP64), so these stay 32 bits on x64.
static_assert(sizeof(pbni::pblong) == 4 && sizeof(pbni::pbulong) == 4, "32-bit PBNI types");
static_assert(sizeof(pbni::PBXRESULT) == 4, "results are 32 bits");
static_assert(sizeof(wchar_t) == 2, "UTF-16 strings are made of 16-bit units");
static_assert(sizeof(pbni::PBRoutineType) == 4 && sizeof(pbni::pbgroup_type) == 4,
              "the enums are passed as 4 bytes");
static_assert(sizeof(pbni::pbclass) == PBNI_WORD && sizeof(pbni::pbgroup) == PBNI_WORD &&
                  sizeof(pbni::pbobject) == PBNI_WORD,
              "the VM's handles are pointers");
static_assert(sizeof(pbni::PBCallInfo) == 3 * PBNI_WORD && sizeof(pbni::PBCallInfoT<wchar_t>) == 3 * PBNI_WORD,
              "PBCallInfo is 12 bytes (32-bit) or 24 bytes (64-bit)");
static_assert(offsetof(pbni::PBCallInfo, pArgs) == 0 && offsetof(pbni::PBCallInfoT<wchar_t>, pArgs) == 0,
              "pArgs comes first");
static_assert(offsetof(pbni::PBCallInfo, returnValue) == PBNI_WORD &&
                  offsetof(pbni::PBCallInfoT<wchar_t>, returnValue) == PBNI_WORD,
              "returnValue comes second: offset 4 or 8");
static_assert(offsetof(pbni::PBCallInfo, returnClass) == 2 * PBNI_WORD &&
                  offsetof(pbni::PBCallInfoT<wchar_t>, returnClass) == 2 * PBNI_WORD,
              "returnClass comes third: offset 8 or 16");
static_assert(sizeof(pbni::IPB_Session) == PBNI_WORD && sizeof(pbni::IPB_Value) == PBNI_WORD &&
                  sizeof(pbni::IPB_Session10) == PBNI_WORD && sizeof(pbni::IPB_Value10) == PBNI_WORD &&
                  sizeof(pbni::IPB_VM) == PBNI_WORD && sizeof(pbni::IPB_VM10) == PBNI_WORD &&
                  sizeof(pbni::IPB_Arguments) == PBNI_WORD,
              "an interface is only its vtable pointer");
#undef PBNI_WORD
#endif
