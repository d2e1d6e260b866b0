// The 128-bit inverse MDCTs and alias reduction in the AVX encoding, for
// processors with AVX2: its three-operand forms spare the SSE code's
// register copies. The same operations in the same order as Float4's, so
// the same results.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include "decoder/tables/BuiltTables.h"

// What follows, the kernel bodies included, is compiled for AVX2; the
// headers above keep the baseline.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif
#include <immintrin.h>

#include "decoder/dsp/ImdctBody.h"

namespace bramble {
namespace dsp {

namespace {

// Float4 of this file's own, so that no function of it is shared with the
// baseline code.
#define BRAMBLE_LANES Vex4
#include "decoder/dsp/LanesBody.inc"
#undef BRAMBLE_LANES

}  // namespace

void Imdct36Avx2(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out, float* next,
                 int stride) {
  imdct::Imdct36Kernel<Vex4>(in, t, win, prev, out, next, stride);
}

void Imdct12Avx2(const float* in, const ImdctTables& t, const float* prev, float* out, float* next, int stride) {
  imdct::Imdct12Kernel<Vex4>(in, t, prev, out, next, stride);
}

void AntialiasAvx2(const float* in, float* out, int first, int last) {
  imdct::AntialiasKernel<Vex4>(in, out, first, last);
}

}  // namespace dsp
}  // namespace bramble
#if defined(__clang__)
#pragma clang attribute pop
#endif
#endif
