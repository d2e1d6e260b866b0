// Windowing step of the polyphase synthesis: history values times the Q14
// window, 32 interleaved stereo sample pairs per call. Several equivalent
// implementations exist; all give identical output for every input.
#pragma once

#include <cstdint>

namespace bramble {

// 512 Q14 coefficients, row r, tap pair k, element j, then W(4r+j, 2k) and
// W(4r+j, 2k+1) side by side (decoder/SynthesisWindowTable.cpp).
extern const int16_t synthesis_window[512];

// The exact window D as floats, folded for the over-range windowing: per tap
// pair 72 coefficients (decoder/SynthesisWindowTable.cpp).
extern const float synthesis_window_exact[8 * 72];

// Matrixing constants 1/(2cos(...)) for the 32-, 16-, 8-, 4- and 2-point
// butterfly stages, 16 + 8 + 4 + 2 + 1 of them (built by BuildSynthesisTables).
extern float dct32_coef[31];

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

// The window rearranged per write slot so that history can be read in
// storage order: [slot][row][group][16], group g covering the slot pairs
// (8(g/2) + (g&1) + {0,2}) with partners 4 slots on. Built by
// BuildSlotOrderedWindow.
extern int16_t slot_ordered_window[16][8][4][16];
void BuildSlotOrderedWindow();
#endif

// The variant the decoder uses, chosen once by BuildSynthesisTables.
extern SynthesisWindowFn synthesis_window_fn;

// Loud passages drive V beyond what the 16-bit history holds. Beside it each
// channel keeps, per slot, the 32 values V is made of (X[0..31] of the
// matrixing, scaled, unrounded), and while a channel's last 16 V vectors
// include a limited value its output is windowed from them in floating point
// instead. Process-wide like the 16-bit history; Init zeroes it.
struct SynthesisRange {
  alignas(128) float history[2][16][32];
  // Per channel: how many more calls, the current one included, window a
  // history holding a limited value (16 after a call that limited one).
  int32_t limited_calls[2];
};
extern SynthesisRange synthesis_range;

// Windows one channel's float history at the given slot with the exact
// window: out[2n] for n = 0..31, rounded to nearest and saturated.
void WindowExact(const float (*history)[32], int slot, int16_t* out);

}  // namespace bramble
