// noexport.dll: a DLL that loads fine but has no PB_GetVM export, for the host's
// "not a VM" failure path.  Its only export is a decoy under another name.
#include <windows.h>

extern "C" __declspec(dllexport) long __cdecl StandinNotAVm(void) { return 0; }
