// A session of the stand-in VM: the classes of the libraries it was created with, the
// objects made from them, and the call records prepared for their functions.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "files.h"
#include "pbhost/pbni.h"
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
    std::string library;
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

// One argument, or the result, of a prepared call.
struct Slot final : pbni::ValueInterface {
    enum class Holds { Nothing, String, Boolean, UnsignedLong, Long };

    long ReadLong() override;
    long WriteBoolean(int value) override;
    long WriteUnsignedLong(unsigned long value) override;
    long WriteString(const char* value) override;

    CallState* owner = nullptr;
    long index = -1;  // -1: the result
    char type = 0;    // signature letter
    Holds holds = Holds::Nothing;
    std::string text;
    unsigned long number = 0;  // boolean (0/1), unsigned long, or long result

    void describe(JournalLine& line) const;  // the value as the journal shows it
};

struct Arguments final : pbni::ArgumentListInterface {
    pbni::ValueInterface* ArgumentAt(long index) override;
    CallState* owner = nullptr;
};

// Everything one call record needs; the record's Reserved[0] points here, so records used
// by different threads share nothing.
struct CallState : Handle {
    CallState(ClassRec* c, unsigned short m);
    ClassRec* cls;
    unsigned short method;
    Arguments arguments;
    Slot result;
    std::vector<Slot> slots;
};

class Session final : public pbni::SessionInterface, public Handle {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void addLibrary(const char* name);

    void ReleaseSession() override;
    unsigned short GetMethodID(void* cls, const char* name, long kind, const char* signature,
                               long publicOnly) override;
    long PrepareCallRecord(void* cls, unsigned short methodId, pbni::CallRecord* record) override;
    void ReleaseCallRecord(pbni::CallRecord* record) override;
    long InvokeObjectFunction(void* object, unsigned short methodId,
                              pbni::CallRecord* record) override;
    void* FindGroup(const char* name, long groupKind) override;
    void* FindClass(void* group, const char* name) override;
    void* CreateObject(void* cls) override;

private:
    ClassRec* ownClass(void* cls);
    ClassRec* classNamed(const std::string& name);

    std::vector<std::unique_ptr<ClassRec>> classes_;  // not changed after CreateSession
    std::mutex objectsLock_;
    std::vector<std::unique_ptr<ObjectRec>> objects_;
};

}  // namespace standin
