#include "kit/events.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "kit/services.h"

namespace kit {

namespace {

// Wine's trace file as a path this (Windows) process can open: Z: maps the Unix root.
std::string WineTracePath() {
    char unixPath[1024] = {0};
    if (GetEnvironmentVariableA("PBVMSVC_WINE_DEBUG_LOG", unixPath, sizeof unixPath) == 0) {
        return std::string();
    }
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string ReadFrom(const std::string& path, unsigned long long offset) {
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return data;
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(offset);
    SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
    CloseHandle(file);
    return data;
}

unsigned long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return 0;
    return (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes a quoted debug string (debugstr_a or debugstr_w form, starting at the quote).
// Characters above 0xFF cannot occur in the product's single-byte texts; they are kept
// as '?'.
std::string DecodeQuoted(const std::string& text, size_t quote, bool* truncated) {
    std::string out;
    size_t i = quote + 1;
    while (i < text.size() && text[i] != '"') {
        char c = text[i++];
        if (c != '\\' || i >= text.size()) {
            out.push_back(c);
            continue;
        }
        char e = text[i++];
        switch (e) {
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'x': {  // \xHH in debugstr_a
                int value = 0;
                for (int k = 0; k < 2 && i < text.size() && HexValue(text[i]) >= 0; ++k) {
                    value = value * 16 + HexValue(text[i++]);
                }
                out.push_back(static_cast<char>(value));
                break;
            }
            default:
                if (HexValue(e) >= 0) {  // \XXXX in debugstr_w
                    int value = HexValue(e);
                    for (int k = 0; k < 3 && i < text.size() && HexValue(text[i]) >= 0; ++k) {
                        value = value * 16 + HexValue(text[i++]);
                    }
                    out.push_back(value <= 0xFF ? static_cast<char>(value) : '?');
                } else {
                    out.push_back(e);  // \" and \\ and anything else escaped
                }
        }
    }
    if (truncated != nullptr) *truncated = text.compare(i, 4, "\"...") == 0;
    return out;
}

struct PendingEvent {
    ReportedEvent event;
    unsigned expectedStrings = 0;
    bool open = false;
};

}  // namespace

std::vector<ReportedEvent> ParseWineEventTrace(const std::string& trace) {
    std::vector<ReportedEvent> events;
    std::map<std::string, std::string> sourceOf;       // pid:tid -> registered source
    std::map<std::string, PendingEvent> pendingOf;     // pid:tid -> event collecting strings

    auto flush = [&](PendingEvent& pending) {
        if (pending.open) events.push_back(pending.event);
        pending = PendingEvent();
    };

    size_t start = 0;
    while (start < trace.size()) {
        size_t end = trace.find('\n', start);
        if (end == std::string::npos) end = trace.size();
        const std::string line = trace.substr(start, end - start);
        start = end + 1;
        if (line.size() < 10 || line[4] != ':' || line[9] != ':') continue;
        const std::string thread = line.substr(0, 9);
        const std::string rest = line.substr(10);

        if (rest.compare(0, 34, "fixme:advapi:RegisterEventSourceA ") == 0) {
            const size_t comma = rest.find(",\"");
            if (comma != std::string::npos) sourceOf[thread] = DecodeQuoted(rest, comma + 1, nullptr);
        } else if (rest.compare(0, 27, "fixme:advapi:ReportEventA (") == 0) {
            flush(pendingOf[thread]);
            unsigned handle = 0, type = 0, category = 0, strings = 0;
            unsigned long id = 0;
            if (std::sscanf(rest.c_str() + 27, "%x,0x%x,0x%x,0x%lx,%*x,0x%x", &handle, &type,
                            &category, &id, &strings) == 5) {
                PendingEvent& pending = pendingOf[thread];
                pending.open = true;
                pending.expectedStrings = strings;
                pending.event.source = sourceOf[thread];
                pending.event.type = type;
                pending.event.category = category;
                pending.event.id = id;
                if (strings == 0) flush(pending);
            }
        } else if (rest.find(":eventlog:ReportEventW L\"") != std::string::npos) {
            PendingEvent& pending = pendingOf[thread];
            if (!pending.open) continue;
            bool truncated = false;
            const size_t quote = rest.find("L\"") + 1;
            pending.event.strings.push_back(DecodeQuoted(rest, quote, &truncated));
            pending.event.truncated = pending.event.truncated || truncated;
            if (pending.event.strings.size() >= pending.expectedStrings) flush(pending);
        }
    }
    for (auto& entry : pendingOf) flush(entry.second);
    return events;
}

EventMark MarkEvents() {
    EventMark mark;
    const std::string trace = WineTracePath();
    if (!trace.empty()) {
        mark.position = FileSize(trace);
        return mark;
    }
    HANDLE log = OpenEventLogA(nullptr, "Application");
    if (log != nullptr) {
        DWORD oldest = 0, count = 0;
        GetOldestEventLogRecord(log, &oldest);
        GetNumberOfEventLogRecords(log, &count);
        mark.position = oldest + count;  // the number the next record will get
        CloseEventLog(log);
    }
    return mark;
}

namespace {

std::vector<ReportedEvent> ReadWindowsEventLog(const EventMark& mark) {
    std::vector<ReportedEvent> events;
    HANDLE log = OpenEventLogA(nullptr, "Application");
    if (log == nullptr) return events;
    std::vector<char> buffer(0x10000);
    DWORD flags = EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ;
    for (;;) {
        DWORD read = 0, needed = 0;
        if (!ReadEventLogA(log, flags, static_cast<DWORD>(mark.position), buffer.data(),
                           static_cast<DWORD>(buffer.size()), &read, &needed)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;  // end of the log
            buffer.resize(needed);
            continue;
        }
        flags = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;
        for (DWORD offset = 0; offset < read;) {
            auto* record = reinterpret_cast<EVENTLOGRECORD*>(buffer.data() + offset);
            ReportedEvent event;
            event.source = reinterpret_cast<const char*>(record + 1);
            event.type = record->EventType;
            event.category = record->EventCategory;
            event.id = record->EventID;
            const char* s = reinterpret_cast<const char*>(record) + record->StringOffset;
            for (WORD k = 0; k < record->NumStrings; ++k) {
                event.strings.emplace_back(s);
                s += std::strlen(s) + 1;
            }
            events.push_back(event);
            offset += record->Length;
        }
    }
    CloseEventLog(log);
    return events;
}

}  // namespace

std::vector<ReportedEvent> CollectEvents(const std::string& source, const EventMark& mark,
                                         size_t minimumCount, unsigned timeoutMs) {
    const std::string trace = WineTracePath();
    const DWORD deadline = GetTickCount() + timeoutMs;
    for (;;) {
        std::vector<ReportedEvent> all =
            trace.empty() ? ReadWindowsEventLog(mark) : ParseWineEventTrace(ReadFrom(trace, mark.position));
        std::vector<ReportedEvent> matching;
        for (const ReportedEvent& event : all) {
            if (event.source == source) matching.push_back(event);
        }
        if (matching.size() >= minimumCount || static_cast<LONG>(GetTickCount() - deadline) >= 0) {
            return matching;
        }
        Sleep(20);
    }
}

std::vector<std::string> Summarize(const std::vector<ReportedEvent>& events) {
    std::vector<std::string> lines;
    for (const ReportedEvent& event : events) {
        char head[64];
        std::snprintf(head, sizeof head, "%u:%08lX:", event.type, event.id);
        std::string line = head;
        for (size_t i = 0; i < event.strings.size(); ++i) {
            if (i) line += "|";
            line += event.strings[i];
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace kit
