#include "cli/dispatcher.h"
#include "common/console.h"

int main(int argc, char** argv) {
    InitConsoleOutput();
    return RunCommandLine(argc, argv);
}
