// Runs a call into foreign code and survives any structured exception that leaves it:
// RaiseException of any code, an access violation, or a C++ throw of an MSVC-built DLL
// (code 0xE06D7363).
//
// MSVC has __try/__except for this.  MinGW's g++ has not, so there the guard is made by
// hand, in the way each architecture dispatches structured exceptions:
//
// - 32-bit x86 keeps a chain of registration records on the stack, headed at fs:0.
//   MinGW's i686 g++ uses DWARF-2 unwinding for its own exceptions, which never sees
//   structured ones.  An SEH registration record, a local on the stack as Windows
//   requires, is pushed on the fs:0 chain around the call.  Its handler longjmp()s back to
//   the guard.  msvcrt's longjmp notices that fs:0 differs from the value setjmp saved and
//   unwinds (RtlUnwind) to it, which gives every frame the callee registered its unwind
//   call and restores fs:0, so nothing has to be popped by hand after an exception.
// - x64 has no chain: the dispatcher finds each frame's handler in the unwind tables of
//   the module that holds its code.  The guard is a small function in assembly
//   (seh_guard_x64.cpp) whose unwind data names an exception handler, as MSVC's
//   __try/__except does.  The handler records the code and calls RtlUnwindEx to a landing
//   point inside the guard function, which runs every termination handler of the frames
//   in between (the VM's) and resumes there with the guard's own stack and registers.
//   g++'s own exceptions are structured exceptions on x64 as well; the handler lets them
//   pass, so they reach their catch as before.
#pragma once

#include <windows.h>

#ifdef _MSC_VER

#include <excpt.h>

template <class F>
bool CallCatchingStructuredExceptions(F fn, unsigned long* exceptionCode) {
    __try {
        fn();
    } __except (*exceptionCode = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER) {
        return false;
    }
    return true;
}

#elif defined(__x86_64__)

namespace seh_detail {

// The guard function of seh_guard_x64.cpp: calls fn(context) and returns 1, or returns 0
// after a structured exception, whose code it has stored to *exceptionCode.
extern "C" int pbvmsvc_GuardedCall(void (*fn)(void*), void* context, unsigned long* exceptionCode);

template <class F>
void CallFunctor(void* functor) {
    (*static_cast<F*>(functor))();
}

}  // namespace seh_detail

// Calls fn().  True when it returned; false when a structured exception ended it, whose
// code then goes to *exceptionCode.
template <class F>
bool CallCatchingStructuredExceptions(F fn, unsigned long* exceptionCode) {
    return seh_detail::pbvmsvc_GuardedCall(&seh_detail::CallFunctor<F>, &fn, exceptionCode) != 0;
}

#else

#include <setjmp.h>

namespace seh_detail {

struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record;  // first: the handler gets its address as the frame
    jmp_buf resume;
    DWORD code;
};

inline EXCEPTION_REGISTRATION_RECORD* ChainHead() {
    EXCEPTION_REGISTRATION_RECORD* head;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
    return head;
}

inline void SetChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}

inline EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD* exception, void* frame,
                                                CONTEXT*, void*) {
    // The unwind pass that longjmp starts comes through here too; it is not ours to stop.
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) {
        return ExceptionContinueSearch;
    }
    GuardFrame* guard = static_cast<GuardFrame*>(frame);
    guard->code = exception->ExceptionCode;
    longjmp(guard->resume, 1);
}

}  // namespace seh_detail

// Calls fn().  True when it returned; false when a structured exception ended it, whose
// code then goes to *exceptionCode.  Everything fn changes in the caller must be reached
// through references or pointers, since the caller's registers are not restored.
template <class F>
__attribute__((noinline)) bool CallCatchingStructuredExceptions(F fn, unsigned long* exceptionCode) {
    volatile seh_detail::GuardFrame frame;  // volatile: read again after longjmp
    seh_detail::GuardFrame* guard = const_cast<seh_detail::GuardFrame*>(&frame);
    guard->code = 0;
    guard->record.Handler = seh_detail::GuardHandler;
    guard->record.Next = seh_detail::ChainHead();
    // setjmp before hooking: the unwind that longjmp runs then takes the record off too.
    if (setjmp(guard->resume) == 0) {
        seh_detail::SetChainHead(&guard->record);
        try {
            fn();
        } catch (...) {
            // A g++ exception is not a structured one: unhook and let it go its way.
            seh_detail::SetChainHead(guard->record.Next);
            throw;
        }
        seh_detail::SetChainHead(guard->record.Next);
        return true;
    }
    *exceptionCode = guard->code;
    return false;
}

#endif
