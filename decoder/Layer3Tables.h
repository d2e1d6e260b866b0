// Layer III tables: constants carried by the decoder and the float tables
// built once per process by BuildLayer3Tables().
#pragma once

#include <cstdint>

namespace bramble {

// ---- constants (decoder/Layer3Constants.cpp) ----

// Scalefactor band boundaries, indexed 3 * lsf + sampling_frequency
// (MPEG-2.5 uses the MPEG-2 row of the same index): long[23] then short[14].
struct SfbBounds {
  int32_t l[23];
  int32_t s[14];
};
extern const SfbBounds sfb_bounds[6];

extern const int32_t slen_mpeg1[2][16];
extern const int32_t lsf_nr_of_sfb[6][3][4];
extern const int32_t pretab[22];

// ---- built once (decoder/Layer3Tables.cpp) ----
extern float imdct_cos6[2];
extern float imdct_win[4][36];
extern float imdct_cos9[9];
extern float imdct_tfcos36[9];
extern float imdct_tfcos12[3];
// The same IMDCT constants with each value repeated in four lanes, for the
// transforms that run four sub-bands at once.
struct alignas(16) Lanes4 {
  float v[4];
};
extern Lanes4 imdct_win4[4][36];
extern Lanes4 imdct_cos9_4[9];
extern Lanes4 imdct_tfcos36_4[9];
extern Lanes4 imdct_cos6_4[2];
extern Lanes4 imdct_tfcos12_4[3];
extern float sf_scale_long[40];
extern float gain_scale[256];
extern float sf_scale_short[8][2][16];
extern float is_ratio_mpeg1[16][2];
extern float is_ratio_lsf[2][64][2];
extern float aa_cs[8];
extern float aa_ca[8];
extern const float is_tan[16];
extern const float aa_ci[8];
// sign(i) * |i|^(4/3) for i in -8206..8206: the table reaches the largest
// value a 13-linbit escape can give, so no magnitude needs a fallback.
constexpr int kPow43Max = 8206;
extern float pow43_table[2 * kPow43Max + 1];
inline const float* pow43_signed() { return pow43_table + kPow43Max; }
// Short-block reorder: the three LSF sets (22.05, 24, 16 kHz), then MPEG-1.
extern int32_t short_reorder[6][576];
inline const int32_t* ShortReorder(int lsf, int sampling_frequency) {
  return short_reorder[(lsf ? 0 : 3) + sampling_frequency];
}

}  // namespace bramble
