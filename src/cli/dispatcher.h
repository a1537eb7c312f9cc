#pragma once

// The process entry's work: chooses one command from the arguments, copies the operands
// into ServiceSettings, runs the command's operation and returns the exit code, which
// is 0 whatever happened.
int RunCommandLine(int argc, char** argv);

// Prints the usage text on standard output.
void PrintUsage();
