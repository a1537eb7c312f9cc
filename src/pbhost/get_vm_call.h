// The call of the VM DLL's export PB_GetVM.
#pragma once

#include "pbhost/pbni.h"

// Calls getVm(vm) and returns its result.  The vendor declares PB_GetVM __cdecl (the
// caller pops the argument), which could not be checked against the real DLL; a
// __stdcall export would pop it itself, and a plain call through a __cdecl pointer would
// then leave the stack pointer 4 bytes off.  This call puts the stack pointer back to
// what it was before the argument was pushed, so either convention works.  On x64, with
// its one convention, it is a plain call.
pbni::PBXRESULT CallGetVm(pbni::PB_GetVM_Function getVm, void** vm);
