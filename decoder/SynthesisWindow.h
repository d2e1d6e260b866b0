// Windowing step of the polyphase synthesis: history values times the Q14
// window, 32 interleaved stereo sample pairs per call. Several equivalent
// implementations exist; all give identical output for every input.
#pragma once

#include <cstdint>

#include "decoder/tables/SynthesisTables.h"

namespace bramble {

// The 32-point transform of the matrixing: out[m] = sum_k in[k] cos(m(2k+1)pi/64).
void SynthesisDct32(const float* in, float* out);

// Windows the history of `left` and `right` (1024 values each, 128-byte
// aligned; the same pointer twice for mono) at the given half and slot and
// writes 64 values: left, right for samples 0..31.
using SynthesisWindowFn = void (*)(const int16_t* left, const int16_t* right, int half,
                                   int slot, int16_t* out);

void WindowScalar(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);

#if defined(__i386__) || defined(__x86_64__)
#define BRAMBLE_X86_WINDOWS 1
// 64-bit packed multiply-add over the coefficient table in use order.
void WindowMmx(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);
// 128- and 256-bit versions over the slot-ordered table below.
void WindowSse2(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);
void WindowAvx2(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);
bool CpuHasAvx2();
#endif

// The variant the decoder uses, chosen by BuildSynthesisTables.
extern SynthesisWindowFn synthesis_window_fn;

// Windows one channel's float history at the given slot with the exact
// window: out[2n] for n = 0..31, rounded to nearest and saturated.
void WindowExact(const float (*history)[32], int slot, int16_t* out);

}  // namespace bramble
