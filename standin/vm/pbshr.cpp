// pbshr.dll: a companion DLL that the stand-in of PowerBuilder 2019 R3 and later imports at
// load time, as the real pbvm.dll imports the other DLLs of its runtime folder.  The VM
// loads only where this DLL is found too.
#include <windows.h>

extern "C" __declspec(dllexport) long __cdecl StandinSharedRuntime(void) { return 22; }
