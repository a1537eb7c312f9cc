#include "session.h"

#include <windows.h>

#include <unordered_map>

#include "standin/text_util.h"

namespace standin {

namespace {

const std::size_t kMaxJournaledProblems = 20;

// The prepared records, by the IPB_Arguments pointer InitCallInfo put into them.
std::mutex g_recordsLock;
std::unordered_map<const void*, CallState*> g_records;

// The state of a prepared record, or null when ci is null, was never prepared, or has been
// released.  Only the pointer value is used: a record the host left uninitialised is safe.
CallState* stateOf(const CallInfo* ci) {
    if (!ci) return nullptr;
    std::lock_guard<std::mutex> lock(g_recordsLock);
    auto it = g_records.find(ci->pArgs);
    return it == g_records.end() ? nullptr : it->second;
}

JournalLine& putRecord(JournalLine& line, const CallInfo* ci, const CallState* st) {
    return putHandle(line, ci, st);
}

JournalLine& putIndex(JournalLine& line, long index) {
    return index < 0 ? line.word("result") : line.num(index);
}

// A group, class or object handle for the host: the address of its Handle base.
template <class Opaque>
Opaque handleOf(Handle* h) {
    return reinterpret_cast<Opaque>(h);
}

}  // namespace

// ---- values ----------------------------------------------------------------------------

void Slot::describe(JournalLine& line) const {
    switch (holds) {
    case Holds::Nothing: line.word("unset"); break;
    case Holds::String: line.str(text); break;
    case Holds::Boolean: line.boolean(number != 0); break;
    case Holds::UnsignedLong: line.unum(number); break;
    case Holds::Long: line.num(static_cast<long>(number)); break;
    }
}

void Slot::trap(int slot) { trapSlot(slot, "IPB_Value", &owner->sessionThread); }

pbni::pblong Slot::GetLong() {
    VmCall call("ReadLong", &owner->sessionThread);
    JournalLine line("ReadLong");
    putIndex(line.handle(owner->serial), index).arrow();
    pbni::pblong value = 0;
    if (holds == Holds::Nothing) {
        line.word("unset");
    } else if (holds == Holds::String) {
        line.error("holds a string");
    } else {
        value = static_cast<pbni::pblong>(number);
        line.num(value);
    }
    journal(line);
    return value;
}

namespace {

// Checks a write of `letter` into a slot; returns what the write call returns.
long checkWrite(Slot& slot, char letter, JournalLine& line) {
    line.arrow();
    if (slot.index < 0) {
        line.error("the result is not writable");
    } else if (slot.type != letter) {
        line.error(std::string("argument ") + std::to_string(slot.index) + " is " +
                   (slot.type ? std::string(1, slot.type) : std::string("?")) + ", not " + letter);
    } else {
        return 0;
    }
    journal(line);
    return -1;
}

}  // namespace

pbni::PBXRESULT Slot::SetBool(pbni::pbboolean value) {
    VmCall call("WriteBoolean", &owner->sessionThread);
    JournalLine line("WriteBoolean");
    putIndex(line.handle(owner->serial), index);
    if (value == 0 || value == 1) line.boolean(value != 0);
    else line.num(value);
    if (checkWrite(*this, 'B', line) != 0) return -1;
    if (value != 0 && value != 1) {
        journal(line.error("a boolean is 0 or 1"));
        return -1;
    }
    holds = Holds::Boolean;
    number = static_cast<unsigned long>(value);
    journal(line.num(0));
    return 0;
}

pbni::PBXRESULT Slot::SetUlong(pbni::pbulong value) {
    VmCall call("WriteUnsignedLong", &owner->sessionThread);
    JournalLine line("WriteUnsignedLong");
    putIndex(line.handle(owner->serial), index).unum(value);
    if (checkWrite(*this, 'U', line) != 0) return -1;
    holds = Holds::UnsignedLong;
    number = value;
    journal(line.num(0));
    return 0;
}

pbni::PBXRESULT Slot::SetString(const Char* value) {
    VmCall call("WriteString", &owner->sessionThread);
    JournalLine line("WriteString");
    putIndex(line.handle(owner->serial), index).str(value);
    if (checkWrite(*this, 'S', line) != 0) return -1;
    if (!value) {
        journal(line.error("null string"));
        return -1;
    }
    holds = Holds::String;
    text = value;
    journal(line.num(0));
    return 0;
}

pbni::IPB_ValueT<Char>* Arguments::GetAt(pbni::pbint index) {
    VmCall call("ArgumentAt", &owner->sessionThread);
    JournalLine line("ArgumentAt");
    line.handle(owner->serial).num(index).arrow();
    if (index < 0 || static_cast<std::size_t>(index) >= owner->slots.size()) {
        journal(line.error("no argument " + std::to_string(index) + ": the function takes " +
                           std::to_string(owner->slots.size())));
        return nullptr;
    }
    journal(line.word("ok"));
    return &owner->slots[static_cast<std::size_t>(index)];
}

void Arguments::Unused0() { trapSlot(0, "IPB_Arguments", &owner->sessionThread); }

CallState::CallState(ClassRec* c, pbni::pbmethodID m, unsigned long thread)
    : Handle(HandleKind::Record), cls(c), method(m), sessionThread(thread) {
    const std::string& signature = c->def.functions[m].signature;
    arguments.owner = this;
    result.owner = this;
    result.type = signature.empty() ? 0 : signature[0];
    slots.resize(signature.empty() ? 0 : signature.size() - 1);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        slots[i].owner = this;
        slots[i].index = static_cast<long>(i);
        slots[i].type = signature[i + 1];
    }
}

ObjectRec::ObjectRec(ClassRec* c)
    : Handle(HandleKind::Object), cls(c),
      calls(new std::atomic<unsigned long>[c->def.functions.size() + 1]) {
    for (std::size_t i = 0; i <= c->def.functions.size(); ++i) calls[i] = 0;
}

// ---- session ---------------------------------------------------------------------------

Session::Session() : Handle(HandleKind::Session), thread_(GetCurrentThreadId()) {}

Session::~Session() {
    for (auto& o : objects_) unregisterHandle(o.get());
    for (auto& c : classes_) {
        unregisterHandle(&c->group);
        unregisterHandle(c.get());
    }
}

void Session::addLibrary(const Char* name) {
    JournalLine line("library");
    line.str(name).arrow();
    if (!name) {
        journal(line.error("null library name"));
        return;
    }
    std::string text;
    DWORD error = 0;
    if (!readWholeFile(Text(name), text, error)) {
        journal(line.word("unreadable").unum(error));
        return;
    }
    LibraryDef library = parseLibrary(text);
    journal(line.unum(static_cast<unsigned long>(library.classes.size())));

    std::vector<Problem> problems = library.problems;
    std::string ansiName;  // a relative worklog name is taken beside it
    toAnsi(name, ansiName);
    for (ClassDef& def : library.classes) {
        if (classNamed(def.name)) {
            problems.push_back({def.line, "class '" + def.name +
                                              "' is hidden by the one in an earlier library"});
            continue;
        }
        auto rec = std::make_unique<ClassRec>();
        rec->session = this;
        rec->group.cls = rec.get();
        if (!def.worklog.empty()) {
            rec->worklog = std::make_unique<Appender>();
            rec->worklog->open(resolveBeside(ansiName, def.worklog));
        }
        rec->def = std::move(def);
        registerHandle(rec.get());
        registerHandle(&rec->group);
        classes_.push_back(std::move(rec));
    }
    for (std::size_t i = 0; i < problems.size() && i < kMaxJournaledProblems; ++i)
        journal(JournalLine("library-error").str(name).num(problems[i].line).str(problems[i].message));
    if (problems.size() > kMaxJournaledProblems)
        journal(JournalLine("library-error").str(name).num(0).str(
            std::to_string(problems.size() - kMaxJournaledProblems) + " more problems"));
}

ClassRec* Session::classNamed(std::string_view name) {
    for (auto& c : classes_)
        if (equalsIgnoreCase(c->def.name, name)) return c.get();
    return nullptr;
}

ClassRec* Session::classNamed(const Char* name) {
    std::string ansi;
    return toAnsi(name, ansi) ? classNamed(ansi) : nullptr;
}

ClassRec* Session::ownClass(const void* cls) {
    ClassRec* c = findAs<ClassRec>(cls, HandleKind::Class);
    return c && c->session == this ? c : nullptr;
}

void Session::Release() {
    {
        VmCall call("ReleaseSession", &thread_);
        journal(JournalLine("ReleaseSession").handle(serial));
    }
    delete this;
}

pbni::pbgroup Session::FindGroup(const Char* name, pbni::pbgroup_type type) {
    VmCall call("FindGroup", &thread_);
    JournalLine line("FindGroup");
    line.str(name).num(static_cast<long>(type)).arrow();
    pbni::pbgroup found = nullptr;
    if (type != pbni::pbgroup_userobject) {
        line.error("group type must be 6");
    } else if (!name) {
        line.error("null name");
    } else if (settings().findGroupNull) {
        line.word("null").word("forced");
    } else if (ClassRec* c = classNamed(name)) {
        line.handle(c->group.serial);
        found = handleOf<pbni::pbgroup>(&c->group);
    } else {
        line.word("null");
    }
    journal(line);
    return found;
}

pbni::pbclass Session::FindClass(pbni::pbgroup group, const Char* name) {
    VmCall call("FindClass", &thread_);
    GroupRec* g = findAs<GroupRec>(group, HandleKind::Group);
    if (g && g->cls->session != this) g = nullptr;
    JournalLine line("FindClass");
    putHandle(line, group, g).str(name).arrow();
    pbni::pbclass found = nullptr;
    std::string ansi;
    if (!g) {
        line.error("not a group of this session");
    } else if (!name) {
        line.error("null name");
    } else if (settings().findClassNull) {
        line.word("null").word("forced");
    } else if (toAnsi(name, ansi) && equalsIgnoreCase(g->cls->def.name, ansi)) {
        line.handle(g->cls->serial);
        found = handleOf<pbni::pbclass>(g->cls);
    } else {
        line.word("null");
    }
    journal(line);
    return found;
}

pbni::pbobject Session::NewObject(pbni::pbclass cls) {
    VmCall call("CreateObject", &thread_);
    ClassRec* c = ownClass(cls);
    JournalLine line("CreateObject");
    putHandle(line, cls, c).arrow();
    if (!c) {
        journal(line.error("not a class of this session"));
        return nullptr;
    }
    auto object = std::make_unique<ObjectRec>(c);
    ObjectRec* raw = object.get();
    registerHandle(raw);
    {
        std::lock_guard<std::mutex> lock(objectsLock_);
        objects_.push_back(std::move(object));
    }
    journal(line.handle(raw->serial));
    return handleOf<pbni::pbobject>(raw);
}

pbni::pbmethodID Session::GetMethodID(pbni::pbclass cls, const Char* methodName,
                                      pbni::PBRoutineType rt, const Char* signature,
                                      pbni::pbboolean publicOnly) {
    VmCall call("GetMethodID", &thread_);
    ClassRec* c = ownClass(cls);
    JournalLine line("GetMethodID");
    putHandle(line, cls, c).str(methodName).num(static_cast<long>(rt)).str(signature)
        .num(publicOnly).arrow();
    pbni::pbmethodID id = pbni::kUndefinedMethodID;
    if (!c) {
        line.error("not a class of this session");
    } else if (!methodName || !signature) {
        line.error("null name or signature");
    } else if (rt != pbni::PBRT_FUNCTION || publicOnly != 1) {
        line.error("routine type must be 0 and publicOnly 1");
    } else {
        std::string name, letters;
        int index = toAnsi(methodName, name) && toAnsi(signature, letters)
                        ? c->def.findFunction(name, letters)
                        : -1;
        if (index < 0 || index >= static_cast<int>(pbni::kUndefinedMethodID)) {
            line.word("not-found");
        } else {
            id = static_cast<pbni::pbmethodID>(index);
            line.unum(id);
        }
    }
    journal(line);
    return id;
}

pbni::PBXRESULT Session::InitCallInfo(pbni::pbclass cls, pbni::pbmethodID mid,
                                      CallInfo* ci) {
    VmCall call("PrepareCallRecord", &thread_);
    ClassRec* c = ownClass(cls);
    JournalLine line("PrepareCallRecord");
    putHandle(line, cls, c).unum(mid).arrow();
    CallState* already = stateOf(ci);
    if (!c) {
        line.error("not a class of this session");
    } else if (std::size_t(mid) >= c->def.functions.size()) {
        line.error("no method " + std::to_string(mid));
    } else if (!ci) {
        line.error("null record");
    } else if (already) {
        line.error("record is already prepared as #" + std::to_string(already->serial));
    } else {
        CallState* st = new CallState(c, mid, thread_);
        {
            std::lock_guard<std::mutex> lock(g_recordsLock);
            g_records[&st->arguments] = st;
        }
        ci->pArgs = &st->arguments;
        ci->returnValue = &st->result;
        ci->returnClass = nullptr;  // results are simple values, never objects
        journal(line.num(0).handle(st->serial));
        return pbni::PBX_OK;
    }
    journal(line);
    return -1;
}

void Session::FreeCallInfo(CallInfo* ci) {
    VmCall call("ReleaseCallRecord", &thread_);
    CallState* st = stateOf(ci);
    JournalLine line("ReleaseCallRecord");
    putRecord(line, ci, st);
    if (!st) {
        journal(line.arrow().error(ci ? "record is not prepared" : "null record"));
        return;
    }
    journal(line);
    {
        std::lock_guard<std::mutex> lock(g_recordsLock);
        g_records.erase(&st->arguments);
    }
    delete st;
    ci->pArgs = nullptr;
    ci->returnValue = nullptr;
    ci->returnClass = nullptr;
}

pbni::pbboolean Session::HasExceptionThrown() {
    VmCall call("HasExceptionThrown", &thread_);
    bool pending = exceptionPending_;
    journal(JournalLine("HasExceptionThrown").arrow().boolean(pending));
    return pending ? 1 : 0;
}

void Session::ClearException() {
    VmCall call("ClearException", &thread_);
    exceptionPending_ = false;
    journal(JournalLine("ClearException"));
}

pbni::PBXRESULT Session::InvokeObjectFunction(pbni::pbobject obj, pbni::pbmethodID mid,
                                              CallInfo* ci) {
    VmCall call("InvokeObjectFunction", &thread_);
    ObjectRec* o = findAs<ObjectRec>(obj, HandleKind::Object);
    CallState* st = stateOf(ci);
    const FunctionDef* f = o && std::size_t(mid) < o->cls->def.functions.size()
                               ? &o->cls->def.functions[mid]
                               : nullptr;

    std::string why;
    if (!o) why = "not an object";
    else if (o->cls->session != this) why = "object of another session";
    else if (!f) why = "no method " + std::to_string(mid);
    else if (!ci) why = "null record";
    else if (!st) why = "record is not prepared";
    else if (ci->returnValue != &st->result) why = "record's returnValue was changed";
    else if (st->cls != o->cls) why = "record was prepared for another class";
    else if (st->method != mid)
        why = "record was prepared for method " + std::to_string(st->method);

    auto start = [&](const char* op) {
        JournalLine line(op);
        line.str(f ? f->name.c_str() : "");
        putHandle(line, obj, o).unum(mid);
        putRecord(line, ci, st);
        return line;
    };
    JournalLine begin = start("InvokeBegin");
    if (why.empty())
        for (const Slot& s : st->slots) s.describe(begin);
    journal(begin);
    if (exceptionPending_)
        journal(JournalLine("host-error").str(
            "InvokeObjectFunction while an exception is pending"));
    if (!why.empty()) {
        journal(start("InvokeEnd").arrow().error(why));
        return -1;
    }

    unsigned long number = ++o->calls[mid];
    Outcome outcome = f->outcomeOfCall(number);
    unsigned long ms = f->durationOfCall(number);
    st->result.holds = Slot::Holds::Nothing;
    if (ms > 0) Sleep(ms);
    if (o->cls->worklog)
        o->cls->worklog->append(f->name + " " + std::to_string(number) + "\r\n", &localTimeStamp);

    JournalLine end = start("InvokeEnd");
    end.arrow().word(describeOutcome(outcome));
    journal(end);
    switch (outcome.kind) {
    case Outcome::Kind::Return:
        st->result.holds = Slot::Holds::Long;
        st->result.number = static_cast<unsigned long>(outcome.value);
        return pbni::PBX_OK;
    case Outcome::Kind::Exception:
        exceptionPending_ = true;
        st->result.holds = Slot::Holds::Long;
        st->result.number = 0;
        return pbni::PBX_OK;
    case Outcome::Kind::Fail:
        return outcome.value;
    default:
        call.leave();
        produceFault(outcome);
        return -1;
    }
}

}  // namespace standin
