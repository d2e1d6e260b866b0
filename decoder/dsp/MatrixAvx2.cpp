// The 128-bit matrixing in the AVX encoding, for processors with AVX2 (see
// ImdctAvx2.cpp): MatrixSse2.cpp's code compiled once more under other names.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include "decoder/tables/BuiltTables.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC target("avx2")
#endif
#define BRAMBLE_MATRIX_NAME(name) name##Avx2
#include "decoder/dsp/MatrixSse2.cpp"
#if defined(__clang__)
#pragma clang attribute pop
#endif
#endif
