#include "pbhost/get_vm_call.h"

pbni::PBXRESULT CallGetVm(pbni::PB_GetVM_Function getVm, void** vm) {
#if defined(_WIN64)
    // x64 has one calling convention, in which the caller owns the stack.
    return getVm(vm);
#else
    pbni::PBXRESULT result;
#if defined(_MSC_VER)
    __asm {
        mov esi, esp  ; esi is preserved by both conventions
        push vm
        call getVm
        mov esp, esi
        mov result, eax
    }
#else
    __asm__ __volatile__(
        "movl %%esp, %%esi\n\t"  // esi is preserved by both conventions
        "pushl %2\n\t"
        "call *%1\n\t"
        "movl %%esi, %%esp"
        : "=a"(result)
        : "r"(getVm), "r"(vm)
        : "esi", "ecx", "edx", "memory", "cc");
#endif
    return result;
#endif
}
