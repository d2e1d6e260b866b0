// Layer III Huffman code tables (ISO/IEC 11172-3 Table B.7), generated into
// decoder/HuffmanTables.cpp by scripts/gen_huffman_tables.py.
#pragma once

#include <cstdint>

namespace bramble {

// One descriptor per table number 0..33 (32 and 33 are the count1 quad
// tables). A tree node is two words: an internal node holds the forward
// distances to its children for bit 0 and bit 1; a leaf has first word 0 and
// its value in the second (pairs: x in bits 7..4, y in bits 3..0; quads:
// v, w, x, y in bits 3..0). Empty tables have no tree.
struct HuffmanCodeTable {
  int32_t table;
  int32_t xmax;  // largest x of the alphabet, -1 for the empty tables
  int32_t ymax;
  int32_t linbits;
  int32_t nodes;
  const uint32_t (*tree)[2];
};
extern const HuffmanCodeTable huffman_tables[34];

// Multi-level lookup equivalent to the tree walk. Index the root with the
// next root_bits bits. An entry with kHuffPointer set points at a subtable
// (offset from `entries`) indexed by the next (entry >> 12) & 7 bits, after
// the current level's bits are consumed; any other entry is a leaf with the
// code length at this level in bits 12..8 and the value in bits 7..0.
struct HuffmanLookup {
  const uint16_t* entries;  // null for the empty tables
  int32_t root_bits;
  int32_t max_code_bits;
  int32_t linbits;
};
extern const HuffmanLookup huffman_lookup[34];
constexpr uint16_t kHuffPointer = 0x8000;

// Largest magnitude each pair table can code (0 for the empty tables).
extern const int32_t huffman_max_magnitude[32];

}  // namespace bramble
