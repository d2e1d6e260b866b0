// Layer III Huffman decoding of one granule and channel into 576 quantised
// values (ISO/IEC 11172-3 2.4.2.7 and Annex B Table B.7).
//
// Codes are decoded through the generated multi-level lookup tables, which
// give exactly the tree walk's values and code lengths. Most pairs and
// every quad fit, with their signs, in the next 10 bits: a built table
// gives those whole. Bits come from a 64-bit cache, refilled when it holds
// fewer than the longest pair or quad of the table needs: after a refill
// it holds at least 56 bits, more than the longest pair (19 code bits, two
// 13-bit escapes, two signs).
#include <algorithm>
#include <cstring>

#include "decoder/Layer3.h"
#include "decoder/tables/BuiltTables.h"
#include "decoder/tables/HuffmanTables.h"

namespace bramble {

namespace {

// A refill reads 8 bytes from p: it must stay inside the reservoir.
constexpr int kLastRefill = BitReservoir::kBytes - 8;
// The big values stop before a pair that follows one starting beyond this
// bit (where a cache refilled at every pair would next read past
// kLastRefill).
constexpr int32_t kGuardBit = 8 * (kLastRefill - 7);

// Bit cache over the reservoir bytes: `c` holds the next bits MSB first,
// `n` of them counted; `p` is the first byte not yet loaded. The position
// p * 8 - n is beyond kGuardBit exactly when n < guard.
struct BitCache {
  const uint8_t* buf;
  const uint8_t* p;
  uint64_t c;
  int n;
  int32_t guard;
  bool beyond;  // a pair started beyond kGuardBit

  BitCache(const uint8_t* bytes, int32_t pos) : buf(bytes), p(bytes + (pos >> 3)), c(0), n(0) {
    beyond = (pos >> 3) + 7 > kLastRefill;
    Refill();
    Skip(pos & 7);
  }
  // Reads the 8 bytes at p.
  void Refill() {
    uint64_t v;
    std::memcpy(&v, p, 8);
    c |= __builtin_bswap64(v) >> n;
    p += (63 - n) >> 3;
    n |= 56;
    guard = int32_t(p - buf) * 8 - kGuardBit;
  }
  uint32_t Peek(int k) const { return uint32_t(c >> (64 - k)); }
  void Skip(int k) {
    c <<= k;
    n -= k;
  }
  int32_t Pos() const { return int32_t(p - buf) * 8 - n; }

  // One code through the lookup table.
  int Decode(const HuffmanLookup& lk) {
    int bits = lk.root_bits;
    uint32_t e = lk.entries[Peek(bits)];
    while (e & kHuffPointer) {
      Skip(bits);
      bits = (e >> 12) & 7;
      e = lk.entries[(e & 0x0FFF) + Peek(bits)];
    }
    Skip((e >> 8) & 31);
    return int(e & 0xFF);
  }
  // A sign bit follows every nonzero magnitude.
  int32_t Signed(int32_t v) {
    const int32_t nz = v != 0;
    const int32_t s = int32_t(c >> 63) & nz;
    Skip(nz);
    return (v ^ -s) + s;
  }
  int32_t Escape(int32_t v, int linbits) {
    if (v != 15) return v;
    v += int32_t(Peek(linbits));
    Skip(linbits);
    return v;
  }
};

// Pairs from i up to stop; false when the reads ran off the buffer (the
// rest of the granule is then left as zeros).
template <bool kEscape>
bool DecodePairs(const HuffmanLookup& lk, const uint32_t* whole, BitCache& b, int32_t* out, int& i, int stop) {
  const int linbits = lk.linbits;
  const int longest = lk.max_code_bits + 2 * linbits + 2;
  for (; i < stop; i += 2) {
    if (b.n < b.guard) {
      if (b.beyond) return false;
      b.beyond = true;
    }
    if (b.n < longest) b.Refill();
    const uint32_t pair = whole[b.Peek(kHuffFastBits)];
    if (pair) {
      out[i] = int8_t(pair);
      out[i + 1] = int8_t(pair >> 8);
      b.Skip(int(pair >> 16));
      continue;
    }
    const int v = b.Decode(lk);
    int32_t x = v >> 4, y = v & 15;
    if (kEscape) x = b.Escape(x, linbits);
    out[i] = b.Signed(x);
    if (kEscape) y = b.Escape(y, linbits);
    out[i + 1] = b.Signed(y);
  }
  return true;
}

}  // namespace

HuffmanRegions ComputeHuffmanRegions(const GranuleInfo& gi, const SfbBounds& b) {
  if (gi.short_block) return {3 * b.s[3], 576};
  const int32_t* l = b.l;
  auto bound = [l](int index) { return (index >= 0 && index <= 22) ? l[index] : 576; };
  return {bound(gi.region0_count + 1), bound(gi.region0_count + gi.region1_count + 2)};
}

int DecodeHuffman(BitReservoir& reservoir, const GranuleInfo& gi, const SfbBounds& bands, int32_t part2_start,
                  int32_t* out) {
  const int32_t end =
      int32_t(std::clamp(int64_t(part2_start) + gi.part2_3_length, int64_t(0),
                         int64_t(BitReservoir::kMaxReadBit)));
  BitCache b(reservoir.bytes, std::clamp(reservoir.read_pos, int32_t(0), kLastRefill * 8));

  // Big values: at most 576 places whatever big_values says.
  const int big = std::min(2 * gi.big_values, 576);
  const HuffmanRegions rg = ComputeHuffmanRegions(gi, bands);
  const int stops[3] = {std::min(rg.region1, big), std::min(rg.region2, big), big};
  const BuiltTables& t = Built();
  int i = 0;
  bool in_buffer = true;
  for (int region = 0; region < 3 && in_buffer; ++region) {
    const int stop = stops[region];
    if (i >= stop) continue;
    const int table = gi.table_select[region] & 31;
    const HuffmanLookup& lk = huffman_lookup[table];
    const uint32_t* whole = t.huffman_pairs[t.huffman_pair_tree[table]];
    if (!lk.entries) {
      std::fill(out + i, out + stop, 0);
      i = stop;
    } else if (lk.linbits) {
      in_buffer = DecodePairs<true>(lk, whole, b, out, i, stop);
    } else {
      in_buffer = DecodePairs<false>(lk, whole, b, out, i, stop);
    }
  }

  // Count1 part: quads while bits remain before end and four places are
  // left. A quad whose code reaches end is dropped; its sign bits may pass.
  // A quad and its signs take at most 10 bits.
  const HuffmanQuad* quads = t.huffman_quads[gi.count1table_select & 1];
  for (int32_t pos = b.Pos(); pos < end && i <= 576 - 4;) {
    if (b.n < kHuffFastBits) b.Refill();
    const HuffmanQuad& q = quads[b.Peek(kHuffFastBits)];
    if (pos + q.code_bits >= end) break;
    pos += q.bits;
    b.Skip(q.bits);
    out[i] = q.v[0];
    out[i + 1] = q.v[1];
    out[i + 2] = q.v[2];
    out[i + 3] = q.v[3];
    i += 4;
  }
  std::fill(out + i, out + 576, 0);
  reservoir.read_pos = end;
  return i;
}

}  // namespace bramble
