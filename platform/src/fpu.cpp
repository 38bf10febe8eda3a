#include "platform/fpu.h"

namespace platform {

#if defined(__x86_64__) || defined(__i386__)
std::uint16_t GetX87ControlWord() {
    std::uint16_t word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}

void SetX87ControlWord(std::uint16_t word) {
    // Clear pending exceptions first: loading a word that unmasks one that
    // is already flagged would fault at the next x87 instruction.
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(word));
}

std::uint32_t GetMxcsr() {
    std::uint32_t value = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(value));
    return value;
}

void SetMxcsr(std::uint32_t value) { __asm__ __volatile__("ldmxcsr %0" : : "m"(value)); }
#else
#error "the floating-point control state is implemented for x86 only"
#endif

FpuState SaveFpuState() { return {GetX87ControlWord(), GetMxcsr()}; }

void RestoreFpuState(const FpuState &state) {
    SetX87ControlWord(state.x87);
    SetMxcsr(state.mxcsr);
}

FpuState MaskAllFpuExceptions() {
    FpuState before = SaveFpuState();
    SetX87ControlWord(kX87AllMasked);
    SetMxcsr(before.mxcsr | kMxcsrAllMasks);
    return before;
}

}  // namespace platform
