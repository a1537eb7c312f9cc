#include "diag/log_file.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "cli/settings.h"
#include "common/win_handles.h"

void WriteLogLine(const char* text) {
    if (ServiceSettings.LogFileName[0] == '\0') return;

    // Append access only: each write lands at the end of the file as it is at that
    // moment, whoever else appended in between.  Sharing read and delete as well as
    // write lets an administrator keep the log open in a viewer without lines being lost.
    UniqueFile file(CreateFileA(ServiceSettings.LogFileName, FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;

    // Text and line end go out in one write, so that two writers appending at the same
    // time can interleave only whole lines.
    std::string line(text);
    line.append("\r\n", 2);
    DWORD written = 0;
    WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
