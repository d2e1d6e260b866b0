// The kernel variants, for decoder/dsp/Kernels.cpp.
#pragma once

#include "decoder/dsp/Kernels.h"

#if defined(__i386__) || defined(__x86_64__)
#define BRAMBLE_DSP_X86 1
#endif

namespace bramble {
namespace dsp {

void WindowScalar(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);
void WindowExactScalar(const float (*history)[32], int slot, int16_t* out);
void Dct32Scalar(const float* in, float* out);
bool MatrixScalar(const float* s, float scale, int16_t* history, int half, int slot, float* unlimited);
void Imdct36Scalar(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out, float* next,
                   int stride);
void Imdct12Scalar(const float* in, const ImdctTables& t, const float* prev, float* out, float* next, int stride);
void AntialiasScalar(const float* in, float* out, int first, int last);

#if defined(BRAMBLE_DSP_X86)
// 64-bit packed multiply-add over the coefficient table in use order.
void WindowMmx(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);
// 128- and 256-bit versions over the slot-ordered window.
void WindowSse2(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);
void WindowAvx2(const int16_t* left, const int16_t* right, int half, int slot, int16_t* out);
void WindowExactSse2(const float (*history)[32], int slot, int16_t* out);
void WindowExactAvx2(const float (*history)[32], int slot, int16_t* out);
// The exact windowing's last step from its four sums (16-byte aligned;
// b[16..19] zero): the outputs, rounded and saturated, at out[0, 2, ...].
void WindowExactGather(const float* a, const float* b, const float* c, const float* e, int16_t* out);
void Dct32Sse2(const float* in, float* out);
bool MatrixSse2(const float* s, float scale, int16_t* history, int half, int slot, float* unlimited);
void Imdct36Sse2(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out, float* next,
                 int stride);
void Imdct12Sse2(const float* in, const ImdctTables& t, const float* prev, float* out, float* next, int stride);
void AntialiasSse2(const float* in, float* out, int first, int last);
// The 128-bit float kernels in the AVX encoding.
void Dct32Avx2(const float* in, float* out);
bool MatrixAvx2(const float* s, float scale, int16_t* history, int half, int slot, float* unlimited);
void Imdct36Avx2(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out, float* next,
                 int stride);
void Imdct12Avx2(const float* in, const ImdctTables& t, const float* prev, float* out, float* next, int stride);
void AntialiasAvx2(const float* in, float* out, int first, int last);
#endif

}  // namespace dsp
}  // namespace bramble
