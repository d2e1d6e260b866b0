// The tables computed once per process.
#include "decoder/tables/BuiltTables.h"

#include <cmath>
#include <mutex>

#include "decoder/tables/HuffmanTables.h"
#include "decoder/tables/Layer3Tables.h"
#include "decoder/tables/SynthesisTables.h"

namespace bramble {

namespace detail {
std::atomic<bool> built_tables_ready{false};
BuiltTables built_tables;
}  // namespace detail

namespace {

// ---- synthesis ----

constexpr double kExactPi = 3.14159265358979323846;
// Every Layer III table of the default mode is computed with this rounded
// pi, so that the window and transform constants agree with each other;
// today's default PCM depends on it to the last bit. The full accuracy
// mode's IMDCT tables take pi exact.
constexpr double kRoundedPi = 3.141593;

void BuildSynthesisTables(BuiltTables& t) {
  const double pi = kExactPi;
  int i = 0;
  for (int n = 64; n >= 4; n /= 2)
    for (int k = 0; k < n / 4; ++k) t.dct32_coef[i++] = float(1.0 / (2.0 * std::cos((2 * k + 1) * pi / n)));
  for (int c = 0; c < 7; ++c)
    for (int lane = 0; lane < 4; ++lane) t.dct_splat[c][lane] = t.dct32_coef[24 + c];

  for (int s = 0; s < 16; ++s)
    for (int r = 0; r < 8; ++r)
      for (int g = 0; g < 4; ++g)
        for (int lane = 0; lane < 2; ++lane)
          for (int j = 0; j < 4; ++j)
            for (int p = 0; p < 2; ++p) {
              const int slot_read = 8 * (g >> 1) + (g & 1) + 2 * lane + 4 * p;
              const int tap = (s - slot_read) & 15;
              t.slot_ordered_window[s][r][g][8 * lane + 2 * j + p] =
                  synthesis_window[64 * r + 8 * (tap >> 1) + 2 * j + (tap & 1)];
            }
}

// ---- Layer III ----

void Spread(const float* from, Lanes4* to, int n) {
  for (int i = 0; i < n; ++i)
    for (int l = 0; l < 4; ++l) to[i].v[l] = from[i];
}

void BuildImdctLanes(ImdctTables& t) {
  for (int w = 0; w < 4; ++w) Spread(t.win[w], t.win4[w], 36);
  Spread(t.cos9, t.cos9_4, 9);
  Spread(t.tfcos36, t.tfcos36_4, 9);
  Spread(t.cos6, t.cos6_4, 2);
  Spread(t.tfcos12, t.tfcos12_4, 3);
}

void BuildImdctTables(ImdctTables& t, double pi) {
  t.cos6[0] = float(std::cos(pi / 6));
  t.cos6[1] = float(std::cos(pi / 3));
  for (int k = 0; k < 9; ++k) {
    t.cos9[k] = float(std::cos(k * pi / 18));
    t.tfcos36[k] = float(0.5 / std::cos((2 * k + 1) * pi / 36));
  }
  for (int k = 0; k < 3; ++k) t.tfcos12[k] = float(0.5 / std::cos((2 * k + 1) * pi / 12));

  // The windows carry 1 / (2 cos(pi (2k + 19) / 72)): the fast transforms
  // produce their outputs scaled by that factor.
  for (int w = 0; w < 4; ++w)
    for (int k = 0; k < 36; ++k) t.win[w][k] = 0.0f;
  for (int k = 0; k < 36; ++k) {
    const double tw = std::cos(pi * (2 * k + 19) / 72);
    const double normal = 0.5 * std::sin(pi * (2 * k + 1) / 72) / tw;
    if (k < 18) {
      t.win[0][k] = float(normal);
      t.win[1][k] = float(normal);
    } else {
      t.win[0][k] = float(normal);
      t.win[3][k] = float(normal);
    }
    if (k >= 18 && k < 24) t.win[1][k] = float(0.5 / tw);
    if (k >= 24 && k < 30) t.win[1][k] = float(0.5 * std::sin(pi * (2 * k - 35) / 24) / tw);
    if (k >= 6 && k < 12) t.win[3][k] = float(0.5 * std::sin(pi * (2 * k - 11) / 24) / tw);
    if (k >= 12 && k < 18) t.win[3][k] = float(0.5 / tw);
  }
  for (int k = 0; k < 12; ++k)
    t.win[2][k] =
        float(0.5 * std::sin(pi * (2 * k + 1) / 24) / std::cos(pi * (2 * k + 7) / 24));
  BuildImdctLanes(t);
}

void BuildScaleTables(BuiltTables& t) {
  for (int i = 0; i < 40; ++i) t.sf_scale_long[i] = float(std::pow(2.0, -0.5 * i));
  for (int i = 0; i < 256; ++i) t.gain_scale[i] = float(std::pow(2.0, (i - kUnitGlobalGain) / 4.0));
  for (int m = 0; m < 8; ++m)
    for (int s = 0; s < 2; ++s)
      for (int k = 0; k < 16; ++k)
        t.sf_scale_short[m][s][k] = float(std::pow(2.0, -2.0 * m - (1 + s) * k / 2.0));
  t.pow43_table[kPow43Max] = -0.0f;
  for (int i = 1; i <= kPow43Max; ++i) {
    const float v = float(std::pow(double(i), 4.0 / 3.0));
    t.pow43_table[kPow43Max + i] = v;
    t.pow43_table[kPow43Max - i] = -v;
  }
}

void BuildStereoTables(BuiltTables& t) {
  for (int i = 0; i < 16; ++i) {
    const double tn = is_tan[i];
    t.is_ratio_mpeg1[i][0] = float(tn / (1.0 + tn));
    t.is_ratio_mpeg1[i][1] = float(1.0 / (1.0 + tn));
  }
  // ISO/IEC 13818-3 2.4.3.2: steps of 2^(-1/4) or 2^(-1/2).
  const double io[2] = {0.840896415256, 0.707106781188};
  for (int s = 0; s < 2; ++s) {
    t.is_ratio_lsf[s][0][0] = 1.0f;
    t.is_ratio_lsf[s][0][1] = 1.0f;
    for (int i = 1; i < 64; ++i) {
      if (i & 1) {
        t.is_ratio_lsf[s][i][0] = float(std::pow(io[s], (i + 1) / 2));
        t.is_ratio_lsf[s][i][1] = 1.0f;
      } else {
        t.is_ratio_lsf[s][i][0] = 1.0f;
        t.is_ratio_lsf[s][i][1] = float(std::pow(io[s], i / 2));
      }
    }
  }
}

void BuildAntialiasTables(BuiltTables& t) {
  for (int i = 0; i < 8; ++i) {
    const float c = aa_ci[i];
    const float sq = std::sqrt(1.0f + c * c);
    t.aa_cs[i] = 1.0f / sq;
    t.aa_ca[i] = c / sq;
  }
  for (int set = 0; set < kSfbRows; ++set) {
    const SfbBounds& b = sfb_bounds[set];
    for (int sfb = 0; sfb < 13; ++sfb) {
      const int start = 3 * b.s[sfb];
      const int width = b.s[sfb + 1] - b.s[sfb];
      for (int k = 0; k < width; ++k)
        for (int w = 0; w < 3; ++w) t.short_reorder[set][start + 3 * k + w] = start + w * width + k;
    }
  }
}

// The code at the top of `bits` through a lookup table, as the decoder walks
// it: the value, and in *length the code's length.
int LookupCode(const HuffmanLookup& lk, uint64_t bits, int* length) {
  int used = 0, k = lk.root_bits;
  uint32_t e = lk.entries[bits >> (64 - k)];
  while (e & kHuffPointer) {
    bits <<= k;
    used += k;
    k = (e >> 12) & 7;
    e = lk.entries[(e & 0x0FFF) + (bits >> (64 - k))];
  }
  *length = used + int((e >> 8) & 31);
  return int(e & 0xFF);
}

// The sign bit at `at` from the top of `bits` applied to magnitude v; at
// moves past it when v is nonzero.
int ApplySign(uint64_t bits, int& at, int v) {
  if (v == 0) return 0;
  const bool negative = (bits << at) >> 63;
  ++at;
  return negative ? -v : v;
}

void BuildHuffmanShortcuts(BuiltTables& t) {
  constexpr int kNone = kHuffPairTrees - 1;
  const HuffmanLookup* trees[kHuffPairTrees] = {};
  int count = 0;
  for (uint32_t& e : t.huffman_pairs[kNone]) e = 0;
  for (int table = 0; table < 32; ++table) {
    const HuffmanLookup& lk = huffman_lookup[table];
    t.huffman_pair_tree[table] = kNone;
    if (!lk.entries) continue;
    int tree = 0;
    while (tree < count && trees[tree]->entries != lk.entries) ++tree;
    if (tree == kNone) continue;
    t.huffman_pair_tree[table] = uint8_t(tree);
    if (tree < count) continue;
    trees[count++] = &lk;
    for (uint32_t index = 0; index < (1u << kHuffFastBits); ++index) {
      const uint64_t bits = uint64_t(index) << (64 - kHuffFastBits);
      int at = 0;
      const int value = LookupCode(lk, bits, &at);
      const int x = value >> 4, y = value & 15;
      uint32_t entry = 0;
      if (at <= kHuffFastBits && !(lk.linbits && (x == 15 || y == 15))) {
        const int sx = ApplySign(bits, at, x), sy = ApplySign(bits, at, y);
        if (at <= kHuffFastBits) entry = uint32_t(uint8_t(sx)) | uint32_t(uint8_t(sy)) << 8 | uint32_t(at) << 16;
      }
      t.huffman_pairs[tree][index] = entry;
    }
  }
  for (int q = 0; q < 2; ++q)
    for (uint32_t index = 0; index < (1u << kHuffFastBits); ++index) {
      const uint64_t bits = uint64_t(index) << (64 - kHuffFastBits);
      int at = 0;
      const int value = LookupCode(huffman_lookup[32 + q], bits, &at);
      HuffmanQuad& e = t.huffman_quads[q][index];
      e.code_bits = uint8_t(at);
      for (int k = 0; k < 4; ++k) e.v[k] = int8_t(ApplySign(bits, at, (value >> (3 - k)) & 1));
      e.bits = uint8_t(at);
    }
}

// ---- Layers I and II ----

void BuildGrouped(int levels, float (*out)[3], int entries) {
  const int nb = levels == 3 ? 2 : levels == 5 ? 3 : 4;
  const double full = double(1 << nb);
  const double c = full / levels;
  const double d = (full - levels + 1) / full;
  const double step = 2.0 / full;
  const int valid = levels * levels * levels;
  for (int code = 0; code < entries; ++code) {
    int v = code;
    for (int k = 0; k < 3; ++k) {
      const int s = v % levels;
      v /= levels;
      out[code][k] = code < valid ? float(c * (s * step - 1.0 + d)) : 0.0f;
    }
  }
}

void BuildLayer12Tables(Layer12Tables& t) {
  const double third[3] = {1.0, std::pow(2.0, -1.0 / 3.0), std::pow(2.0, -2.0 / 3.0)};
  for (int i = 0; i < 63; ++i) t.l12_scalefactor[i] = float(std::ldexp(third[i % 3], 1 - i / 3));
  t.l12_scalefactor[63] = 0.0f;
  t.l1_mul[0] = t.l1_add[0] = 0.0f;
  for (int a = 1; a < 15; ++a) {
    const double n = double((1 << (a + 1)) - 1);
    t.l1_mul[a] = float(2.0 / n);
    t.l1_add[a] = float(-(n - 1.0) / n);
  }
  BuildGrouped(3, t.grouped3, 32);
  BuildGrouped(5, t.grouped5, 128);
  BuildGrouped(9, t.grouped9, 1024);
}

void BuildAll() {
  BuiltTables& t = detail::built_tables;
  BuildSynthesisTables(t);
  BuildImdctTables(t.imdct, kRoundedPi);
  BuildImdctTables(t.imdct_exact, kExactPi);
  BuildScaleTables(t);
  BuildStereoTables(t);
  BuildAntialiasTables(t);
  BuildHuffmanShortcuts(t);
  BuildLayer12Tables(t.layer12);
  detail::built_tables_ready.store(true, std::memory_order_release);
}

}  // namespace

namespace detail {
namespace {
std::once_flag built_tables_once;
}  // namespace
void BuildTablesOnce() { std::call_once(built_tables_once, BuildAll); }
}  // namespace detail

const float (*GroupedTable(int levels))[3] {
  const Layer12Tables& t = L12Tables();
  switch (levels) {
    case 3: return t.grouped3;
    case 5: return t.grouped5;
    case 9: return t.grouped9;
    default: return nullptr;
  }
}

}  // namespace bramble
