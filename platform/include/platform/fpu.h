// The floating-point control state of the calling thread (x86-64: the x87
// control word and the SSE MXCSR). The program masks every floating-point
// exception while it runs so faults in codecs yield infinities or NaNs.
#pragma once

#include <cstdint>

namespace platform {

// x87 control word with all six exceptions masked, 64-bit precision,
// round to nearest.
constexpr std::uint16_t kX87AllMasked = 0x133F;
// The x87 control word's defined bits (masks, precision, rounding, infinity
// control); bit 6 is reserved and reads back as 1 on current processors.
constexpr std::uint16_t kX87DefinedBits = 0x1F3F;
// MXCSR exception mask bits (IM DM ZM OM UM PM).
constexpr std::uint32_t kMxcsrAllMasks = 0x1F80;

std::uint16_t GetX87ControlWord();
void SetX87ControlWord(std::uint16_t word);
std::uint32_t GetMxcsr();
void SetMxcsr(std::uint32_t value);

struct FpuState {
    std::uint16_t x87 = 0;
    std::uint32_t mxcsr = 0;
};

FpuState SaveFpuState();
void RestoreFpuState(const FpuState &state);
// Sets kX87AllMasked and masks every MXCSR exception (other MXCSR bits,
// such as the rounding mode, are kept). Returns the state before.
FpuState MaskAllFpuExceptions();

}  // namespace platform
