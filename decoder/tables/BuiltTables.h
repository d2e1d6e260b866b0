// Tables computed once per process: the synthesis matrixing constants and
// window arrangement, the Layer III reconstruction tables and the Layer I/II
// quantisation tables. The first call of Built() builds them all (under
// std::call_once); nothing writes them afterwards.
#pragma once

#include <atomic>
#include <cstdint>

#include "decoder/tables/Layer12Tables.h"
#include "decoder/tables/Layer3Tables.h"

namespace bramble {

// A constant repeated in four lanes, for kernels that run four sub-bands at
// once.
struct alignas(16) Lanes4 {
  float v[4];
};

// The inverse MDCTs' transform constants and windows, plain and in four
// lanes. The windows carry 1 / (2 cos(pi (2k + 19) / 72)) (short window:
// (2k + 7) / 24), the factor the fast transforms leave on their outputs.
struct ImdctTables {
  float cos6[2];     // cos(pi/6), cos(pi/3)
  float win[4][36];  // by block type
  float cos9[9];     // cos(k pi/18)
  float tfcos36[9];  // 0.5 / cos((2k+1) pi/36)
  float tfcos12[3];  // 0.5 / cos((2k+1) pi/12)
  Lanes4 win4[4][36];
  Lanes4 cos9_4[9];
  Lanes4 tfcos36_4[9];
  Lanes4 cos6_4[2];
  Lanes4 tfcos12_4[3];
};

// Layer III Huffman shortcuts: the next kHuffFastBits bits of a granule's
// data give a whole pair or quad, signs included, when they hold all of it.
constexpr int kHuffFastBits = 10;
// The 15 distinct code trees of tables 1..31, and an empty table (no
// shortcut at all) for any further one.
constexpr int kHuffPairTrees = 16;
struct HuffmanQuad {
  int8_t v[4];        // signed v, w, x, y
  uint8_t code_bits;  // the quad code alone
  uint8_t bits;       // code and sign bits
};

// sign(i) * |i|^(4/3) for i in -8206..8206: the table reaches the largest
// value a 13-linbit escape can give, so no magnitude needs a fallback.
constexpr int kPow43Max = 8206;

struct BuiltTables {
  // ---- synthesis ----
  // Matrixing constants 1/(2cos(...)) for the 32-, 16-, 8-, 4- and 2-point
  // butterfly stages, 16 + 8 + 4 + 2 + 1 of them.
  alignas(16) float dct32_coef[31];
  // The 8-, 4- and 2-point constants (dct32_coef[24..30]) in four lanes.
  alignas(16) float dct_splat[7][4];
  // The window rearranged per write slot so that history can be read in
  // storage order: [slot][row][group][16], group g covering the slot pairs
  // (8(g/2) + (g&1) + {0,2}) with partners 4 slots on.
  alignas(32) int16_t slot_ordered_window[16][8][4][16];

  // ---- Layer III ----
  // Today's, with the rounded pi every Layer III table shares; and the full
  // accuracy mode's, with pi exact.
  ImdctTables imdct;
  ImdctTables imdct_exact;
  float sf_scale_long[40];
  float gain_scale[256];
  float sf_scale_short[8][2][16];
  float is_ratio_mpeg1[16][2];
  float is_ratio_lsf[2][64][2];
  alignas(16) float aa_cs[8];
  alignas(16) float aa_ca[8];
  float pow43_table[2 * kPow43Max + 1];
  // Short-block reorder, one set per scalefactor band row.
  int32_t short_reorder[kSfbRows][576];

  // Per code tree and next kHuffFastBits bits: signed x in bits 0..7,
  // signed y in bits 8..15 and the bits the pair takes, code and signs, in
  // bits 16..20; 0 when the code is longer, x or y is an escape, or the
  // signs do not fit. huffman_pair_tree gives each table number's tree.
  uint32_t huffman_pairs[kHuffPairTrees][1 << kHuffFastBits];
  uint8_t huffman_pair_tree[32];
  // The two count1 quad tables, by the next kHuffFastBits bits.
  HuffmanQuad huffman_quads[2][1 << kHuffFastBits];

  // ---- Layers I and II ----
  Layer12Tables layer12;

  const float* pow43_signed() const { return pow43_table + kPow43Max; }
};

namespace detail {
extern std::atomic<bool> built_tables_ready;
extern BuiltTables built_tables;
void BuildTablesOnce();
}  // namespace detail

inline const BuiltTables& Built() {
  if (!detail::built_tables_ready.load(std::memory_order_acquire)) detail::BuildTablesOnce();
  return detail::built_tables;
}

// Builds the tables if no one has yet.
inline void BuildTables() { Built(); }

inline const int32_t* ShortReorder(int sfb_row) { return Built().short_reorder[sfb_row]; }
inline const Layer12Tables& L12Tables() { return Built().layer12; }

// Grouped-code table for 3, 5 or 9 levels, else null.
const float (*GroupedTable(int levels))[3];

}  // namespace bramble
