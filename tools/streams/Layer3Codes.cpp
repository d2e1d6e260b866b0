#include "tools/streams/Layer3Codes.h"

#include <array>
#include <cstdlib>

#include "decoder/tables/HuffmanTables.h"

namespace bramble {
namespace test {

namespace {

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

}  // namespace

HuffCode PairCode(int table, int x, int y) {
  if (table < 1 || table > 31) return {};
  const HuffmanCodeTable& ht = huffman_tables[table];
  if (!ht.nodes || x < 0 || y < 0 || x > ht.xmax || y > ht.ymax) return {};
  return Book().codes[table][(x << 4) | y];
}

HuffCode QuadCode(int table, int v, int w, int x, int y) {
  if (table != 32 && table != 33) return {};
  for (int b : {v, w, x, y})
    if (b != 0 && b != 1) return {};
  return Book().codes[table][(v << 3) | (w << 2) | (x << 1) | y];
}

void Layer3BitSink::Put(uint32_t value, int n) {
  for (int k = n - 1; k >= 0; --k) {
    if ((bits_ & 7) == 0) bytes_.push_back(0);
    if ((value >> k) & 1) bytes_.back() |= uint8_t(0x80 >> (bits_ & 7));
    ++bits_;
  }
}

void PutPair(Layer3BitSink& sink, int table, int x, int y) {
  const int linbits = huffman_tables[table].linbits;
  const int ax = std::abs(x), ay = std::abs(y);
  const int cx = linbits && ax >= 15 ? 15 : ax;
  const int cy = linbits && ay >= 15 ? 15 : ay;
  const HuffCode c = PairCode(table, cx, cy);
  sink.Put(c.bits, c.length);
  if (linbits && cx == 15) sink.Put(uint32_t(ax - 15), linbits);
  if (ax) sink.Put(x < 0, 1);
  if (linbits && cy == 15) sink.Put(uint32_t(ay - 15), linbits);
  if (ay) sink.Put(y < 0, 1);
}

void PutQuad(Layer3BitSink& sink, int table, int v, int w, int x, int y) {
  const HuffCode c = QuadCode(table, std::abs(v), std::abs(w), std::abs(x), std::abs(y));
  sink.Put(c.bits, c.length);
  for (int s : {v, w, x, y})
    if (s) sink.Put(s < 0, 1);
}

}  // namespace test
}  // namespace bramble
