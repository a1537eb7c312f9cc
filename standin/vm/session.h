// A session of the stand-in VM: the classes of the libraries it was created with, the
// objects made from them, and the call records prepared for their functions.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "files.h"
#include "generation.h"
#include "runtime.h"
#include "standin/library_format.h"

namespace standin {

class Session;
struct ClassRec;

struct GroupRec : Handle {
    GroupRec() : Handle(HandleKind::Group) {}
    ClassRec* cls = nullptr;
};

struct ClassRec : Handle {
    ClassRec() : Handle(HandleKind::Class) {}
    ClassDef def;
    std::unique_ptr<Appender> worklog;  // null when the class has none
    Session* session = nullptr;
    GroupRec group;
};

struct ObjectRec : Handle {
    explicit ObjectRec(ClassRec* c);
    ClassRec* cls;
    std::unique_ptr<std::atomic<unsigned long>[]> calls;  // per function: calls so far
};

struct CallState;

// One argument, or the result, of a prepared call (IPB_Value).
struct Slot final : ValueInterface {
    enum class Holds { Nothing, String, Boolean, UnsignedLong, Long };

    pbni::pblong GetLong() override;
    pbni::PBXRESULT SetBool(pbni::pbboolean value) override;
    pbni::PBXRESULT SetUlong(pbni::pbulong value) override;
    pbni::PBXRESULT SetString(const Char* value) override;
#define STANDIN_VALUE_TRAP(n) \
    void Unused##n() override { trap(n); }
    STANDIN_VALUE_UNUSED(STANDIN_VALUE_TRAP)
#undef STANDIN_VALUE_TRAP

    CallState* owner = nullptr;
    long index = -1;  // -1: the result
    char type = 0;    // signature letter
    Holds holds = Holds::Nothing;
    Text text;
    unsigned long number = 0;  // boolean (0/1), unsigned long, or long result

    void describe(JournalLine& line) const;  // the value as the journal shows it

private:
    void trap(int slot);
};

// The arguments of a prepared call (IPB_Arguments).
struct Arguments final : ArgumentsInterface {
    pbni::IPB_ValueT<Char>* GetAt(pbni::pbint index) override;
    void Unused0() override;  // GetCount
    CallState* owner = nullptr;
};

// Everything one prepared call needs.  The host's PBCallInfo holds only pointers to its
// arguments and result; the record is found again through pArgs (see stateOf), so records
// used by different threads share nothing.
struct CallState : Handle {
    CallState(ClassRec* c, pbni::pbmethodID m, unsigned long thread);
    ClassRec* cls;
    pbni::pbmethodID method;
    unsigned long sessionThread;  // the thread that created the session
    Arguments arguments;
    Slot result;
    std::vector<Slot> slots;
};

class Session final : public SessionInterface, public Handle {
public:
    Session();  // on the thread that creates the session
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void addLibrary(const Char* name);

    void Release() override;
    pbni::pbmethodID GetMethodID(pbni::pbclass cls, const Char* methodName,
                                 pbni::PBRoutineType rt, const Char* signature,
                                 pbni::pbboolean publicOnly) override;
    pbni::PBXRESULT InitCallInfo(pbni::pbclass cls, pbni::pbmethodID mid, CallInfo* ci) override;
    void FreeCallInfo(CallInfo* ci) override;
    pbni::PBXRESULT InvokeObjectFunction(pbni::pbobject obj, pbni::pbmethodID mid,
                                         CallInfo* ci) override;
    pbni::pbboolean HasExceptionThrown() override;
    void ClearException() override;
    pbni::pbgroup FindGroup(const Char* name, pbni::pbgroup_type type) override;
    pbni::pbclass FindClass(pbni::pbgroup group, const Char* name) override;
    pbni::pbobject NewObject(pbni::pbclass cls) override;
#define STANDIN_SESSION_TRAP(n) \
    void Unused##n() override { trapSlot(n, "IPB_Session", &thread_); }
    STANDIN_SESSION_UNUSED(STANDIN_SESSION_TRAP)
#undef STANDIN_SESSION_TRAP

private:
    ClassRec* ownClass(const void* cls);
    ClassRec* classNamed(std::string_view name);
    ClassRec* classNamed(const Char* name);  // a name from the host

    const unsigned long thread_;
    std::atomic<bool> exceptionPending_{false};
    std::vector<std::unique_ptr<ClassRec>> classes_;  // not changed after CreateSession
    std::mutex objectsLock_;
    std::vector<std::unique_ptr<ObjectRec>> objects_;
};

}  // namespace standin
