// The binary interface between the service host and a PowerBuilder VM DLL.
//
// Every interface is a struct of pure virtual member functions with the compiler's
// default member calling convention (thiscall on 32-bit Windows), declared in slot
// order and with no other virtual members (in particular no virtual destructor), so
// that slot k of the vtable is the k-th function listed.  The host and every VM
// component built against this header agree on that layout whatever compiler built
// them.  Do not reorder, insert or remove members.
#pragma once

#include <cstddef>

namespace pbni {

struct ValueInterface {                 // slots 0..3
    virtual long ReadLong() = 0;
    virtual long WriteBoolean(int value) = 0;  // 0 or 1
    virtual long WriteUnsignedLong(unsigned long value) = 0;
    virtual long WriteString(const char* value) = 0;
};

struct ArgumentListInterface {          // slot 0
    virtual ValueInterface* ArgumentAt(long index) = 0;
};

// The host owns the storage of a call record from PrepareCallRecord to
// ReleaseCallRecord; the VM fills it and keeps its own data in Reserved.
struct CallRecord {
    ArgumentListInterface* ArgumentList;
    ValueInterface* Result;
    void* Reserved[6];
};

struct SessionInterface {               // slots 0..7
    virtual void ReleaseSession() = 0;
    // kind is always 0 and publicOnly always 1; 0xFFFF means "no such function".
    virtual unsigned short GetMethodID(void* cls, const char* name, long kind,
                                       const char* signature, long publicOnly) = 0;
    virtual long PrepareCallRecord(void* cls, unsigned short methodId, CallRecord* record) = 0;
    virtual void ReleaseCallRecord(CallRecord* record) = 0;
    virtual long InvokeObjectFunction(void* object, unsigned short methodId,
                                      CallRecord* record) = 0;
    // groupKind is always 6.
    virtual void* FindGroup(const char* name, long groupKind) = 0;
    virtual void* FindClass(void* group, const char* name) = 0;
    virtual void* CreateObject(void* cls) = 0;
};

struct VmInterface {                    // slot 0
    // 0 on success.  A VM may also leave this call by raising a structured exception.
    virtual long CreateSession(const char* appName, const char** libraryNames, long count,
                               SessionInterface** session) = 0;
};

const unsigned short kMethodNotFound = 0xFFFF;
const long kGroupKind = 6;

// The DLL's one export, undecorated: "PB_GetVM".
typedef long(__stdcall* GetVmFunction)(VmInterface** vm);
const char* const kGetVmExport = "PB_GetVM";

}  // namespace pbni

// The layout is fixed for 32-bit Windows, where pointers are 4 bytes.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(pbni::CallRecord) == 32, "CallRecord is 32 bytes");
static_assert(offsetof(pbni::CallRecord, ArgumentList) == 0, "ArgumentList comes first");
static_assert(offsetof(pbni::CallRecord, Result) == 4, "Result comes second");
static_assert(offsetof(pbni::CallRecord, Reserved) == 8, "the VM's part follows");
#endif
