// The x64 guard function of seh_guard.h for g++, which has no __try/__except.
//
// pbvmsvc_GuardedCall(fn, context, exceptionCode) reserves 56 bytes of stack (the callee's
// 32-byte home area, the exceptionCode pointer at 32, alignment), calls fn(context) and
// returns 1.  Its unwind data, written with the assembler's .seh_* directives, names
// pbvmsvc_GuardHandler as its exception handler; the dispatcher calls that handler for
// every structured exception raised below the guard which no frame in between took.
// The handler stores the code through the saved pointer and unwinds to
// pbvmsvc_GuardLanding with 0 in RAX: RtlUnwindEx calls the termination handlers of the
// frames in between and resumes at the landing point with the stack pointer set to the
// guard's frame and its nonvolatile registers restored, where the guard's epilogue returns 0.
#if defined(__x86_64__) && !defined(_MSC_VER)

#include <windows.h>

extern "C" EXCEPTION_DISPOSITION pbvmsvc_GuardHandler(EXCEPTION_RECORD* exception, void* frame,
                                                      CONTEXT* context, DISPATCHER_CONTEXT* dispatch);
extern "C" void pbvmsvc_GuardLanding();

__asm__(
    ".text\n"
    ".globl pbvmsvc_GuardedCall\n"
    ".def pbvmsvc_GuardedCall; .scl 2; .type 32; .endef\n"
    ".seh_proc pbvmsvc_GuardedCall\n"
    "pbvmsvc_GuardedCall:\n"
    "    subq $56, %rsp\n"
    "    .seh_stackalloc 56\n"
    "    .seh_handler pbvmsvc_GuardHandler, @except\n"
    "    .seh_endprologue\n"
    "    movq %r8, 32(%rsp)\n"  // where the handler stores the code
    "    movq %rcx, %rax\n"
    "    movq %rdx, %rcx\n"
    "    call *%rax\n"
    "    movl $1, %eax\n"
    ".globl pbvmsvc_GuardLanding\n"
    "pbvmsvc_GuardLanding:\n"
    "    addq $56, %rsp\n"
    "    ret\n"
    ".seh_endproc\n");

namespace {

// g++ raises its own exceptions as these codes (libgcc's unwind-seh.c: 'GCC' with 0x20
// for a throw, 0x21 for its unwind, 0x22 for a forced unwind); they belong to its catches.
bool IsGccException(DWORD code) { return (code & 0xF0FFFFFFu) == 0x20474343u && (code >> 24) <= 0x22; }

}  // namespace

extern "C" EXCEPTION_DISPOSITION pbvmsvc_GuardHandler(EXCEPTION_RECORD* exception, void* frame, CONTEXT*,
                                                      DISPATCHER_CONTEXT* dispatch) {
    // The unwind pass, ours or another's, comes through here too; it is not ours to stop.
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    if (IsGccException(exception->ExceptionCode)) return ExceptionContinueSearch;
    // The frame is the guard's stack pointer after its prologue.
    unsigned long* code = *reinterpret_cast<unsigned long**>(static_cast<char*>(frame) + 32);
    *code = exception->ExceptionCode;
    RtlUnwindEx(frame, reinterpret_cast<void*>(&pbvmsvc_GuardLanding), exception, nullptr,
                dispatch->ContextRecord, dispatch->HistoryTable);
    return ExceptionContinueSearch;  // not reached: RtlUnwindEx resumes at the landing point
}

#endif
