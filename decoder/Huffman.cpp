// Layer III Huffman decoding of one granule and channel into 576 quantised
// values (ISO/IEC 11172-3 2.4.2.7 and Annex B Table B.7).
//
// Codes are decoded through the generated multi-level lookup tables, which
// give exactly the tree walk's values and code lengths. Each pair or quad
// takes its bits from one 64-bit big-endian window loaded at its start: the
// window holds at least 57 bits, more than the longest pair (19 code bits,
// two 13-bit escapes and two signs).
#include <algorithm>
#include <cstring>

#include "decoder/HuffmanTables.h"
#include "decoder/Layer3Tables.h"
#include "decoder/MpegDecoder.h"

namespace bramble {

namespace {

// A window may be loaded while its first byte leaves 8 bytes in the buffer.
constexpr int32_t kLastWindowBit = (BitReservoir::kBytes - 8) * 8;

inline uint64_t Window(const uint8_t* buf, int32_t pos) {
  uint64_t v;
  std::memcpy(&v, buf + (pos >> 3), 8);
  return __builtin_bswap64(v) << (pos & 7);
}

// Decodes one code from the top of w, shifting it out.
inline int DecodeCode(const HuffmanLookup& lk, uint64_t& w, int& used) {
  int bits = lk.root_bits;
  uint32_t e = lk.entries[w >> (64 - bits)];
  while (e & kHuffPointer) {
    w <<= bits;
    used += bits;
    bits = (e >> 12) & 7;
    e = lk.entries[(e & 0x0FFF) + (w >> (64 - bits))];
  }
  const int len = (e >> 8) & 31;
  w <<= len;
  used += len;
  return int(e & 0xFF);
}

inline int32_t TakeSign(int32_t v, uint64_t& w, int& used) {
  if (!v) return 0;
  const int32_t s = (w >> 63) ? -v : v;
  w <<= 1;
  ++used;
  return s;
}

inline int32_t TakeEscape(int32_t v, int linbits, uint64_t& w, int& used) {
  if (v != 15) return v;
  v += int32_t(w >> (64 - linbits));
  w <<= linbits;
  used += linbits;
  return v;
}

// Pairs from i up to stop; returns false when the read position ran off
// the buffer (the rest of the granule is then left as zeros).
template <bool kEscape>
bool DecodePairs(const HuffmanLookup& lk, const uint8_t* buf, int32_t& pos, int32_t* out, int& i,
                 int stop) {
  const int linbits = lk.linbits;
  while (i < stop) {
    if (pos > kLastWindowBit) return false;
    uint64_t w = Window(buf, pos);
    int used = 0;
    const int v = DecodeCode(lk, w, used);
    int32_t x = v >> 4, y = v & 15;
    if (kEscape) x = TakeEscape(x, linbits, w, used);
    x = TakeSign(x, w, used);
    if (kEscape) y = TakeEscape(y, linbits, w, used);
    y = TakeSign(y, w, used);
    out[i] = x;
    out[i + 1] = y;
    i += 2;
    pos += used;
  }
  return true;
}

}  // namespace

HuffmanRegions ComputeHuffmanRegions(const GranuleInfo& gi, int sfb_row) {
  if (gi.short_block) return {36, 576};
  const int32_t* l = sfb_bounds[std::clamp(sfb_row, 0, 5)].l;
  auto bound = [l](int index) { return (index >= 0 && index <= 22) ? l[index] : 576; };
  return {bound(gi.region0_count + 1), bound(gi.region0_count + gi.region1_count + 2)};
}

void MpegDecoder::DecodeHuffman(int ch, int gr, int32_t* out) {
  const GranuleInfo& gi = side_info.ch[ch].gr[gr];
  const int32_t end =
      int32_t(std::clamp(int64_t(part2_start) + gi.part2_3_length, int64_t(0),
                         int64_t(BitReservoir::kMaxReadBit)));
  const uint8_t* buf = reservoir.bytes;
  int32_t pos = reservoir.read_pos;

  // Big values: at most 576 places whatever big_values says.
  const int big = std::min(2 * gi.big_values, 576);
  const HuffmanRegions rg = ComputeHuffmanRegions(gi, 3 * lsf + sampling_frequency);
  const int stops[3] = {std::min(rg.region1, big), std::min(rg.region2, big), big};
  int i = 0;
  bool in_buffer = true;
  for (int region = 0; region < 3 && in_buffer; ++region) {
    const int stop = stops[region];
    if (i >= stop) continue;
    const HuffmanLookup& lk = huffman_lookup[gi.table_select[region] & 31];
    if (!lk.entries) {
      std::fill(out + i, out + stop, 0);
      i = stop;
    } else if (lk.linbits) {
      in_buffer = DecodePairs<true>(lk, buf, pos, out, i, stop);
    } else {
      in_buffer = DecodePairs<false>(lk, buf, pos, out, i, stop);
    }
  }

  // Count1 part: quads while bits remain before end and four places are
  // left. A quad whose code reaches end is dropped; its sign bits may pass.
  const HuffmanLookup& quad = huffman_lookup[32 + (gi.count1table_select & 1)];
  while (pos < end && i <= 576 - 4) {
    uint64_t w = Window(buf, pos);
    int used = 0;
    const int v = DecodeCode(quad, w, used);
    if (pos + used >= end) break;
    out[i] = TakeSign((v >> 3) & 1, w, used);
    out[i + 1] = TakeSign((v >> 2) & 1, w, used);
    out[i + 2] = TakeSign((v >> 1) & 1, w, used);
    out[i + 3] = TakeSign(v & 1, w, used);
    i += 4;
    pos += used;
  }
  std::fill(out + i, out + 576, 0);
  reservoir.read_pos = end;
}

}  // namespace bramble
