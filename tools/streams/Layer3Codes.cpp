#include "tools/streams/Layer3Codes.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

#include "decoder/tables/BuiltTables.h"
#include "decoder/tables/HuffmanTables.h"
#include "tools/streams/Layer3Writer.h"

namespace bramble {
namespace test {

void Layer3BitSink::Put(uint32_t value, int n) {
  for (int k = n - 1; k >= 0; --k) {
    if ((bits_ & 7) == 0) bytes_.push_back(0);
    if ((value >> k) & 1) bytes_.back() |= uint8_t(0x80 >> (bits_ & 7));
    ++bits_;
  }
}

namespace {

struct HuffCode {
  uint32_t bits = 0;  // right-aligned, most significant bit first on the wire
  int length = 0;     // 0: no such code
};

// Codes of every leaf value (0..255) of each table, walked once from the tree.
struct CodeBook {
  std::array<std::array<HuffCode, 256>, 34> codes;

  CodeBook() {
    for (int t = 0; t < 34; ++t) {
      const HuffmanCodeTable& ht = huffman_tables[t];
      if (ht.nodes) Walk(t, ht.tree, 0, 0, 0);
    }
  }

  void Walk(int t, const uint32_t (*tree)[2], int node, uint32_t code, int length) {
    if (tree[node][0] == 0) {
      codes[t][tree[node][1] & 0xFF] = HuffCode{code, length};
      return;
    }
    Walk(t, tree, node + int(tree[node][0]), code << 1, length + 1);
    Walk(t, tree, node + int(tree[node][1]), (code << 1) | 1, length + 1);
  }
};

const CodeBook& Book() {
  static const CodeBook book;
  return book;
}

constexpr int kNoCode = INT_MAX / 4;

// Bits of one pair of signed values in pair table 0..31, kNoCode when the
// table cannot carry it; appended to `sink` when given: code, escape bits
// where a magnitude reaches 15 in a table with linbits, signs.
int PutPair(Layer3BitSink* sink, int table, int x, int y) {
  const int ax = std::abs(x), ay = std::abs(y);
  if (table == 0 || table == 4 || table == 14) return (ax || ay) ? kNoCode : 0;
  const int linbits = huffman_tables[table].linbits;
  const int limit = linbits ? 15 + (1 << linbits) - 1 : huffman_tables[table].xmax;
  if (ax > limit || ay > limit) return kNoCode;
  const int cx = std::min(ax, 15), cy = std::min(ay, 15);
  const HuffCode code = Book().codes[table][(cx << 4) | cy];
  if (!code.length) return kNoCode;
  const int ex = linbits && cx == 15 ? linbits : 0, ey = linbits && cy == 15 ? linbits : 0;
  if (sink) {
    sink->Put(code.bits, code.length);
    sink->Put(uint32_t(ax - 15), ex);
    if (ax) sink->Put(x < 0, 1);
    sink->Put(uint32_t(ay - 15), ey);
    if (ay) sink->Put(y < 0, 1);
  }
  return code.length + ex + ey + (ax != 0) + (ay != 0);
}

int RegionBits(int table, const int32_t* v, int from, int to, Layer3BitSink* sink = nullptr) {
  int bits = 0;
  for (int i = from; i < to; i += 2) bits = std::min(kNoCode, bits + PutPair(sink, table, v[i], v[i + 1]));
  return bits;
}

// Bits of one count1 quad of values -1, 0 or 1 in table 32 or 33; appended
// to `sink` when given: code, then signs.
int PutQuad(Layer3BitSink* sink, int table, const int32_t* v) {
  const HuffCode c = Book().codes[table][std::abs(v[0]) << 3 | std::abs(v[1]) << 2 | std::abs(v[2]) << 1 | std::abs(v[3])];
  if (sink) sink->Put(c.bits, c.length);
  for (int k = 0; k < 4; ++k)
    if (v[k] && sink) sink->Put(v[k] < 0, 1);
  return c.length + (v[0] != 0) + (v[1] != 0) + (v[2] != 0) + (v[3] != 0);
}

int BestTable(const int32_t* v, int from, int to) {
  int best = 0, best_bits = RegionBits(0, v, from, to);
  for (int t = 1; t < 32; ++t) {
    const int bits = RegionBits(t, v, from, to);
    if (bits < best_bits) best = t, best_bits = bits;
  }
  return best_bits >= kNoCode ? -1 : best;
}

// Start of the count1 part for the smallest big-values part: the values
// after it are -1, 0 or 1 and fill whole quads up to the last nonzero value.
int AutoBigValuesEnd(const int32_t* v, int* count1_end) {
  int end = 576;
  while (end > 0 && v[end - 1] == 0) --end;
  end += end & 1;
  *count1_end = end;
  int i = end;
  while (i >= 4 && std::abs(v[i - 1]) <= 1 && std::abs(v[i - 2]) <= 1 && std::abs(v[i - 3]) <= 1 &&
         std::abs(v[i - 4]) <= 1)
    i -= 4;
  return i;
}

// The big-values region boundaries a decoder derives from the side information.
void RegionBounds(const Layer3Header& h, const GranuleInfo& gi, int* region1, int* region2) {
  if (gi.window_switching_flag && gi.block_type == 2) {
    *region1 = 3 * sfb_bounds[h.SfbRow()].s[3];
    *region2 = 576;
    return;
  }
  const int32_t* l = sfb_bounds[h.SfbRow()].l;
  const int a = gi.region0_count + 1, b = gi.region0_count + gi.region1_count + 2;
  *region1 = a <= 22 ? l[a] : 576;
  *region2 = b <= 22 ? l[b] : 576;
}

}  // namespace

bool CodeHuffman(const Layer3Header& h, Layer3Channel& c, Layer3BitSink& sink, std::string* error) {
  GranuleInfo& gi = c.info;
  const int32_t* v = c.values;
  int count1_end = 0;
  const int big = AutoBigValuesEnd(v, &count1_end);
  gi.big_values = big / 2;

  int r1 = 0, r2 = 0;
  RegionBounds(h, gi, &r1, &r2);
  const int stops[3] = {std::min(r1, big), std::min(r2, big), big};
  const int regions = gi.window_switching_flag ? 2 : 3;
  int from = 0;
  for (int r = 0; r < 3; ++r) {
    const int to = std::max(from, stops[r]);
    if (c.auto_tables && r < regions) {
      const int t = BestTable(v, from, to);
      if (t < 0) return (*error = "no table carries region " + std::to_string(r)), false;
      gi.table_select[r] = t;
    }
    const int t = gi.table_select[r] & 31;
    if (RegionBits(t, v, from, to) >= kNoCode)
      return (*error = "table " + std::to_string(t) + " cannot carry region " + std::to_string(r)), false;
    RegionBits(t, v, from, to, &sink);
    from = to;
  }

  if (c.auto_tables) {
    int a = 0, b = 0;
    for (int i = big; i < count1_end; i += 4) a += PutQuad(nullptr, 32, v + i), b += PutQuad(nullptr, 33, v + i);
    gi.count1table_select = b < a ? 1 : 0;
  }
  for (int i = big; i < count1_end; i += 4)
    PutQuad(&sink, 32 + (gi.count1table_select & 1), v + i);
  return true;
}

}  // namespace test
}  // namespace bramble
