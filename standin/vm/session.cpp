#include "session.h"

#include <windows.h>

#include "standin/text_util.h"

namespace standin {

namespace {

const std::size_t kMaxJournaledProblems = 20;

JournalLine& putRecord(JournalLine& line, const pbni::CallRecord* record, const CallState* st) {
    return putHandle(line, record, st);
}

CallState* stateOf(const pbni::CallRecord* record) {
    return record ? findAs<CallState>(record->Reserved[0], HandleKind::Record) : nullptr;
}

JournalLine& putIndex(JournalLine& line, long index) {
    return index < 0 ? line.word("result") : line.num(index);
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

long Slot::ReadLong() {
    JournalLine line("ReadLong");
    putIndex(line.handle(owner->serial), index).arrow();
    long value = 0;
    if (holds == Holds::Nothing) {
        line.word("unset");
    } else if (holds == Holds::String) {
        line.error("holds a string");
    } else {
        value = static_cast<long>(number);
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

long Slot::WriteBoolean(int value) {
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

long Slot::WriteUnsignedLong(unsigned long value) {
    JournalLine line("WriteUnsignedLong");
    putIndex(line.handle(owner->serial), index).unum(value);
    if (checkWrite(*this, 'U', line) != 0) return -1;
    holds = Holds::UnsignedLong;
    number = value;
    journal(line.num(0));
    return 0;
}

long Slot::WriteString(const char* value) {
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

pbni::ValueInterface* Arguments::ArgumentAt(long index) {
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

CallState::CallState(ClassRec* c, unsigned short m)
    : Handle(HandleKind::Record), cls(c), method(m) {
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

Session::Session() : Handle(HandleKind::Session) {}

Session::~Session() {
    for (auto& o : objects_) unregisterHandle(o.get());
    for (auto& c : classes_) {
        unregisterHandle(&c->group);
        unregisterHandle(c.get());
    }
}

void Session::addLibrary(const char* name) {
    JournalLine line("library");
    line.str(name).arrow();
    if (!name) {
        journal(line.error("null library name"));
        return;
    }
    std::string text;
    DWORD error = 0;
    if (!readWholeFile(name, text, error)) {
        journal(line.word("unreadable").unum(error));
        return;
    }
    LibraryDef library = parseLibrary(text);
    journal(line.unum(static_cast<unsigned long>(library.classes.size())));

    std::vector<Problem> problems = library.problems;
    for (ClassDef& def : library.classes) {
        if (classNamed(def.name)) {
            problems.push_back({def.line, "class '" + def.name +
                                              "' is hidden by the one in an earlier library"});
            continue;
        }
        auto rec = std::make_unique<ClassRec>();
        rec->library = name;
        rec->session = this;
        rec->group.cls = rec.get();
        if (!def.worklog.empty()) {
            rec->worklog = std::make_unique<Appender>();
            rec->worklog->open(resolveBeside(name, def.worklog));
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

ClassRec* Session::classNamed(const std::string& name) {
    for (auto& c : classes_)
        if (equalsIgnoreCase(c->def.name, name)) return c.get();
    return nullptr;
}

ClassRec* Session::ownClass(void* cls) {
    ClassRec* c = findAs<ClassRec>(cls, HandleKind::Class);
    return c && c->session == this ? c : nullptr;
}

void Session::ReleaseSession() {
    journal(JournalLine("ReleaseSession").handle(serial));
    delete this;
}

void* Session::FindGroup(const char* name, long groupKind) {
    JournalLine line("FindGroup");
    line.str(name).num(groupKind).arrow();
    void* found = nullptr;
    if (groupKind != pbni::kGroupKind) {
        line.error("group kind must be 6");
    } else if (!name) {
        line.error("null name");
    } else if (settings().findGroupNull) {
        line.word("null").word("forced");
    } else if (ClassRec* c = classNamed(name)) {
        line.handle(c->group.serial);
        found = static_cast<Handle*>(&c->group);
    } else {
        line.word("null");
    }
    journal(line);
    return found;
}

void* Session::FindClass(void* group, const char* name) {
    GroupRec* g = findAs<GroupRec>(group, HandleKind::Group);
    if (g && g->cls->session != this) g = nullptr;
    JournalLine line("FindClass");
    putHandle(line, group, g).str(name).arrow();
    void* found = nullptr;
    if (!g) {
        line.error("not a group of this session");
    } else if (!name) {
        line.error("null name");
    } else if (settings().findClassNull) {
        line.word("null").word("forced");
    } else if (equalsIgnoreCase(g->cls->def.name, name)) {
        line.handle(g->cls->serial);
        found = static_cast<Handle*>(g->cls);
    } else {
        line.word("null");
    }
    journal(line);
    return found;
}

void* Session::CreateObject(void* cls) {
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
    return static_cast<Handle*>(raw);
}

unsigned short Session::GetMethodID(void* cls, const char* name, long kind,
                                    const char* signature, long publicOnly) {
    ClassRec* c = ownClass(cls);
    JournalLine line("GetMethodID");
    putHandle(line, cls, c).str(name).num(kind).str(signature).num(publicOnly).arrow();
    unsigned short id = pbni::kMethodNotFound;
    if (!c) {
        line.error("not a class of this session");
    } else if (!name || !signature) {
        line.error("null name or signature");
    } else if (kind != 0 || publicOnly != 1) {
        line.error("kind must be 0 and publicOnly 1");
    } else {
        int index = c->def.findFunction(name, signature);
        if (index < 0) {
            line.word("not-found");
        } else {
            id = static_cast<unsigned short>(index);
            line.unum(id);
        }
    }
    journal(line);
    return id;
}

long Session::PrepareCallRecord(void* cls, unsigned short methodId, pbni::CallRecord* record) {
    ClassRec* c = ownClass(cls);
    JournalLine line("PrepareCallRecord");
    putHandle(line, cls, c).unum(methodId).arrow();
    CallState* already = stateOf(record);
    if (!c) {
        line.error("not a class of this session");
    } else if (methodId >= c->def.functions.size()) {
        line.error("no method " + std::to_string(methodId));
    } else if (!record) {
        line.error("null record");
    } else if (already) {
        line.error("record is already prepared as #" + std::to_string(already->serial));
    } else {
        CallState* st = new CallState(c, methodId);
        registerHandle(st);
        record->ArgumentList = &st->arguments;
        record->Result = &st->result;
        record->Reserved[0] = static_cast<Handle*>(st);
        for (int i = 1; i < 6; ++i) record->Reserved[i] = nullptr;
        journal(line.num(0).handle(st->serial));
        return 0;
    }
    journal(line);
    return -1;
}

void Session::ReleaseCallRecord(pbni::CallRecord* record) {
    CallState* st = stateOf(record);
    JournalLine line("ReleaseCallRecord");
    putRecord(line, record, st);
    if (!st) {
        journal(line.arrow().error(record ? "record is not prepared" : "null record"));
        return;
    }
    journal(line);
    unregisterHandle(st);
    delete st;
    record->ArgumentList = nullptr;
    record->Result = nullptr;
    for (void*& r : record->Reserved) r = nullptr;
}

long Session::InvokeObjectFunction(void* object, unsigned short methodId,
                                   pbni::CallRecord* record) {
    ObjectRec* o = findAs<ObjectRec>(object, HandleKind::Object);
    CallState* st = stateOf(record);
    const FunctionDef* f =
        o && methodId < o->cls->def.functions.size() ? &o->cls->def.functions[methodId] : nullptr;

    std::string why;
    if (!o) why = "not an object";
    else if (o->cls->session != this) why = "object of another session";
    else if (!f) why = "no method " + std::to_string(methodId);
    else if (!record) why = "null record";
    else if (!st) why = "record is not prepared";
    else if (st->cls != o->cls) why = "record was prepared for another class";
    else if (st->method != methodId) why = "record was prepared for method " + std::to_string(st->method);

    auto start = [&](const char* op) {
        JournalLine line(op);
        line.str(f ? f->name.c_str() : "");
        putHandle(line, object, o).unum(methodId);
        putRecord(line, record, st);
        return line;
    };
    JournalLine begin = start("InvokeBegin");
    if (why.empty())
        for (const Slot& s : st->slots) s.describe(begin);
    journal(begin);
    if (!why.empty()) {
        journal(start("InvokeEnd").arrow().error(why));
        return -1;
    }

    unsigned long call = ++o->calls[methodId];
    Outcome outcome = f->outcomeOfCall(call);
    unsigned long ms = f->durationOfCall(call);
    st->result.holds = Slot::Holds::Nothing;
    if (ms > 0) Sleep(ms);
    if (o->cls->worklog)
        o->cls->worklog->append(f->name + " " + std::to_string(call) + "\r\n", &localTimeStamp);

    JournalLine end = start("InvokeEnd");
    end.arrow().word(describeOutcome(outcome));
    journal(end);
    switch (outcome.kind) {
    case Outcome::Kind::Return:
        st->result.holds = Slot::Holds::Long;
        st->result.number = static_cast<unsigned long>(outcome.value);
        return 0;
    case Outcome::Kind::Fail:
        return outcome.value;
    default:
        produceFault(outcome);
        return -1;
    }
}

}  // namespace standin
