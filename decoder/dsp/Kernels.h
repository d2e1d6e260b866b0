// The decoder's numeric kernels: one table of function pointers, filled once
// by CPU detection. Every kernel has a scalar reference that the vector
// variants equal bit for bit (float kernels included: each vector lane does
// the reference's float operations in the reference's order).
#pragma once

#include <cstdint>

#include "decoder/tables/BuiltTables.h"

namespace bramble {
namespace dsp {

// Windowing of the 16-bit synthesis history (1024 values per channel,
// 128-byte aligned; the same pointer twice for mono) at the given half and
// slot: 32 Q14 sums per channel, shifted right by 14 (toward minus
// infinity) and saturated, written as 64 interleaved values.
using WindowFn = void (*)(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);

// Floating-point windowing of one channel's unlimited history (16 slots of
// 32 values) with the exact window: out[2n] for n = 0..31, rounded to
// nearest and saturated. The odd places are not touched.
using WindowExactFn = void (*)(const float (*history)[32], int slot, int16_t* out);

// The 32-point transform of the matrixing: out[m] = sum_k in[k] cos(m(2k+1)pi/64).
using Dct32Fn = void (*)(const float* in, float* out);

// Matrixing of one channel: the transform of s times `scale` is kept
// unrounded in unlimited[32], and as the 64-value V vector, rounded to
// nearest and limited to +-32767, in the 16-bit history at (half, slot)
// (V[16], always 0, keeps what is there). True when a value was limited.
using MatrixFn = bool (*)(const float* s, float scale, int16_t* history, int half, int slot, float* unlimited);

// Inverse MDCTs of four neighbouring sub-bands (in: 4 x 18 values), lane l
// taking sub-band l, with the constants of t. Time sample i of a lane lives
// at ptr + stride * i of prev (the overlap read), out (prev plus the first
// half) and next (the second half). imdct36 windows with win[36], per lane;
// imdct12 runs the three short windows.
using Imdct36Fn = void (*)(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out,
                           float* next, int stride);
using Imdct12Fn = void (*)(const float* in, const ImdctTables& t, const float* prev, float* out, float* next,
                           int stride);

// Alias-reduction butterflies across the boundaries below sub-bands
// first..last; in and out may be the same.
using AntialiasFn = void (*)(const float* in, float* out, int first, int last);

struct Kernels {
  const char* name;
  WindowFn window;
  WindowExactFn window_exact;
  Dct32Fn dct32;
  MatrixFn matrix;
  Imdct36Fn imdct36;
  Imdct12Fn imdct12;
  AntialiasFn antialias;
};

// The scalar references.
const Kernels& Reference();

// What a processor offers, in rising order: each x86 level includes the
// ones below it.
enum class CpuLevel { kScalar, kMmx, kSse2, kAvx2 };

// This processor's level, from CPUID (kScalar off x86).
CpuLevel DetectCpuLevel();

// The table for a processor of `cpu`, capped at `cap` when that names a
// table ("scalar", "mmx", "sse2", "avx2"); null or any other text caps
// nothing.
const Kernels& Choose(CpuLevel cpu, const char* cap);

// The table this process runs: Choose(DetectCpuLevel(), $BRAMBLE_KERNELS).
// Chosen once.
const Kernels& Selected();

// Every table this machine can run, the reference first, in rising order;
// returns the count.
int Available(const Kernels** out, int max);

}  // namespace dsp
}  // namespace bramble
