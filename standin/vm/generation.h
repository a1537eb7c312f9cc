// The PBNI generation a build of the stand-in VM speaks, chosen when it is compiled:
// PowerBuilder 9 (ANSI strings; IPB_VM 3 slots, IPB_Session 271, IPB_Value 43) or, with
// STANDIN_PB10, PowerBuilder 10 and later (UTF-16 strings; 5, 291 and 46 slots).  The VM's
// code is written once against the names below.
#pragma once

#include <string>

#include "pbhost/pbni.h"

namespace standin {

#ifdef STANDIN_PB10
typedef wchar_t Char;
typedef pbni::IPB_VM10 VmInterface;
typedef pbni::IPB_Session10 SessionInterface;
typedef pbni::IPB_Value10 ValueInterface;
#define STANDIN_VM_UNUSED PBNI_VM10_UNUSED
#define STANDIN_SESSION_UNUSED PBNI_SESSION10_UNUSED
#define STANDIN_VALUE_UNUSED PBNI_VALUE10_UNUSED
#else
typedef char Char;
typedef pbni::IPB_VM VmInterface;
typedef pbni::IPB_Session SessionInterface;
typedef pbni::IPB_Value ValueInterface;
#define STANDIN_VM_UNUSED PBNI_VM_UNUSED
#define STANDIN_SESSION_UNUSED PBNI_SESSION_UNUSED
#define STANDIN_VALUE_UNUSED PBNI_VALUE_UNUSED
#endif

typedef pbni::IPB_SessionT<Char> SessionBase;  // what CreateSession hands out
typedef pbni::IPB_ArgumentsT<Char> ArgumentsInterface;
typedef pbni::PBCallInfoT<Char> CallInfo;
typedef std::basic_string<Char> Text;

// A string from the host (not null) in the ANSI code page, in which the library files name
// their classes and functions.  False when it holds a character outside that code page
// (out then has the code page's default character in its place), so it names nothing there.
bool toAnsi(const char* s, std::string& out);
bool toAnsi(const wchar_t* s, std::string& out);

}  // namespace standin
