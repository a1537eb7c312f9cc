// Test helper: appends <count> lines "<tag> <n>" to <log file> through the product's log
// writer, so that two of these can write one file at the same time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/service_settings.h"
#include "diag/log_file.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    if (!CopyToField(ServiceSettings.LogFileName, argv[1])) return 2;
    const long count = std::strtol(argv[2], nullptr, 10);
    for (long i = 0; i < count; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "%s %06ld the quick brown fox jumps over the lazy dog", argv[3], i);
        WriteLogLine(line);
    }
    return 0;
}
