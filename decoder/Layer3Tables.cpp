// Float tables of the Layer III reconstruction, built once per process.
#include <cmath>

#include "decoder/Layer3Tables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {

// tan(i * pi / 12): the MPEG-1 intensity ratios (ISO/IEC 11172-3 2.4.3.4.9.3).
// Entry 6 stands in for the pole and entry 9 for -1, where 1 + t would be 0,
// so every ratio stays finite.
const float is_tan[16] = {
    0.0f,
    0.267949192431122706f,
    0.577350269189625765f,
    1.0f,
    1.732050807568877294f,
    3.732050807568877294f,
    1.0e11f,
    -3.732050807568877294f,
    -1.732050807568877294f,
    -1.01f,
    -0.577350269189625765f,
    -0.267949192431122706f,
    0.0f,
    0.267949192431122706f,
    0.577350269189625765f,
    1.0f,
};

// Alias-reduction coefficients ci, ISO/IEC 11172-3 Table B.9.
const float aa_ci[8] = {-0.6f, -0.535f, -0.33f, -0.185f, -0.095f, -0.041f, -0.0142f, -0.0037f};

float imdct_cos6[2];
float imdct_win[4][36];
float imdct_cos9[9];
float imdct_tfcos36[9];
float imdct_tfcos12[3];
Lanes4 imdct_win4[4][36];
Lanes4 imdct_cos9_4[9];
Lanes4 imdct_tfcos36_4[9];
Lanes4 imdct_cos6_4[2];
Lanes4 imdct_tfcos12_4[3];
float sf_scale_long[40];
float gain_scale[256];
float sf_scale_short[8][2][16];
float is_ratio_mpeg1[16][2];
float is_ratio_lsf[2][64][2];
float aa_cs[8];
float aa_ca[8];
float pow43_table[2 * kPow43Max + 1];
int32_t short_reorder[6][576];

namespace {

bool g_layer3_tables_built = false;

// Every Layer III table is computed with this rounded value of pi, so that
// the window and transform constants agree with each other.
constexpr double kPi = 3.141593;

void BuildImdctTables() {
  imdct_cos6[0] = float(std::cos(kPi / 6));
  imdct_cos6[1] = float(std::cos(kPi / 3));
  for (int k = 0; k < 9; ++k) {
    imdct_cos9[k] = float(std::cos(k * kPi / 18));
    imdct_tfcos36[k] = float(0.5 / std::cos((2 * k + 1) * kPi / 36));
  }
  for (int k = 0; k < 3; ++k) imdct_tfcos12[k] = float(0.5 / std::cos((2 * k + 1) * kPi / 12));

  // The windows carry 1 / (2 cos(pi (2k + 19) / 72)): the fast transforms
  // produce their outputs scaled by that factor.
  for (int t = 0; t < 4; ++t)
    for (int k = 0; k < 36; ++k) imdct_win[t][k] = 0.0f;
  for (int k = 0; k < 36; ++k) {
    const double tw = std::cos(kPi * (2 * k + 19) / 72);
    const double normal = 0.5 * std::sin(kPi * (2 * k + 1) / 72) / tw;
    if (k < 18) {
      imdct_win[0][k] = float(normal);
      imdct_win[1][k] = float(normal);
    } else {
      imdct_win[0][k] = float(normal);
      imdct_win[3][k] = float(normal);
    }
    if (k >= 18 && k < 24) imdct_win[1][k] = float(0.5 / tw);
    if (k >= 24 && k < 30) imdct_win[1][k] = float(0.5 * std::sin(kPi * (2 * k - 35) / 24) / tw);
    if (k >= 6 && k < 12) imdct_win[3][k] = float(0.5 * std::sin(kPi * (2 * k - 11) / 24) / tw);
    if (k >= 12 && k < 18) imdct_win[3][k] = float(0.5 / tw);
  }
  for (int k = 0; k < 12; ++k)
    imdct_win[2][k] =
        float(0.5 * std::sin(kPi * (2 * k + 1) / 24) / std::cos(kPi * (2 * k + 7) / 24));
}

void Spread(const float* from, Lanes4* to, int n) {
  for (int i = 0; i < n; ++i)
    for (int l = 0; l < 4; ++l) to[i].v[l] = from[i];
}

void BuildImdctLanes() {
  for (int t = 0; t < 4; ++t) Spread(imdct_win[t], imdct_win4[t], 36);
  Spread(imdct_cos9, imdct_cos9_4, 9);
  Spread(imdct_tfcos36, imdct_tfcos36_4, 9);
  Spread(imdct_cos6, imdct_cos6_4, 2);
  Spread(imdct_tfcos12, imdct_tfcos12_4, 3);
}

void BuildScaleTables() {
  for (int i = 0; i < 40; ++i) sf_scale_long[i] = float(std::pow(2.0, -0.5 * i));
  for (int i = 0; i < 256; ++i) gain_scale[i] = float(std::pow(2.0, (i - 210) / 4.0));
  for (int m = 0; m < 8; ++m)
    for (int s = 0; s < 2; ++s)
      for (int k = 0; k < 16; ++k)
        sf_scale_short[m][s][k] = float(std::pow(2.0, -2.0 * m - (1 + s) * k / 2.0));
  pow43_table[kPow43Max] = -0.0f;
  for (int i = 1; i <= kPow43Max; ++i) {
    const float v = float(std::pow(double(i), 4.0 / 3.0));
    pow43_table[kPow43Max + i] = v;
    pow43_table[kPow43Max - i] = -v;
  }
}

void BuildStereoTables() {
  for (int i = 0; i < 16; ++i) {
    const double t = is_tan[i];
    is_ratio_mpeg1[i][0] = float(t / (1.0 + t));
    is_ratio_mpeg1[i][1] = float(1.0 / (1.0 + t));
  }
  // ISO/IEC 13818-3 2.4.3.2: steps of 2^(-1/4) or 2^(-1/2).
  const double io[2] = {0.840896415256, 0.707106781188};
  for (int s = 0; s < 2; ++s) {
    is_ratio_lsf[s][0][0] = 1.0f;
    is_ratio_lsf[s][0][1] = 1.0f;
    for (int i = 1; i < 64; ++i) {
      if (i & 1) {
        is_ratio_lsf[s][i][0] = float(std::pow(io[s], (i + 1) / 2));
        is_ratio_lsf[s][i][1] = 1.0f;
      } else {
        is_ratio_lsf[s][i][0] = 1.0f;
        is_ratio_lsf[s][i][1] = float(std::pow(io[s], i / 2));
      }
    }
  }
}

void BuildAntialiasTables() {
  for (int i = 0; i < 8; ++i) {
    const float c = aa_ci[i];
    const float sq = std::sqrt(1.0f + c * c);
    aa_cs[i] = 1.0f / sq;
    aa_ca[i] = c / sq;
  }
  // Sets 0..2 are the LSF rates, 3..5 the MPEG-1 rates.
  for (int set = 0; set < 6; ++set) {
    const SfbBounds& b = sfb_bounds[set < 3 ? set + 3 : set - 3];
    for (int sfb = 0; sfb < 13; ++sfb) {
      const int start = 3 * b.s[sfb];
      const int width = b.s[sfb + 1] - b.s[sfb];
      for (int k = 0; k < width; ++k)
        for (int w = 0; w < 3; ++w) short_reorder[set][start + 3 * k + w] = start + w * width + k;
    }
  }
}

}  // namespace

void BuildLayer3Tables() {
  if (g_layer3_tables_built) return;
  BuildImdctTables();
  BuildImdctLanes();
  BuildScaleTables();
  BuildStereoTables();
  BuildAntialiasTables();
  g_layer3_tables_built = true;
}

}  // namespace bramble
