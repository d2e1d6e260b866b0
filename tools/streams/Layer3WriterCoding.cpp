#include "tools/streams/Layer3Codes.h"
#include "tools/streams/Layer3Writer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "decoder/tables/HuffmanTables.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {
namespace test {

namespace {

// ---- scalefactors ----

// One run of scalefactors coded with the same width.
struct SfRun {
  std::vector<int32_t> values;
  int slen_class;  // MPEG-1: 0 slen1, 1 slen2; LSF: partition 0..3
};

bool Fits(const std::vector<int32_t>& v, int slen) {
  for (int32_t x : v)
    if (x < 0 || x >= (1 << slen)) return false;
  return true;
}

// MPEG-1 runs in stream order; groups that scfsi reuses are left out.
std::vector<SfRun> Mpeg1Runs(const Layer3Channel& c, int gr, const int32_t* scfsi) {
  const GranuleInfo& gi = c.info;
  const ScaleFactors& sf = c.sf;
  std::vector<SfRun> runs;
  auto shorts = [&](int first, int last, int cls) {
    SfRun r{{}, cls};
    for (int b = first; b < last; ++b)
      for (int w = 0; w < 3; ++w) r.values.push_back(sf.s[w][b]);
    runs.push_back(r);
  };
  if (gi.window_switching_flag && gi.block_type == 2) {
    if (gi.mixed_block_flag) {
      runs.push_back({std::vector<int32_t>(sf.l, sf.l + 8), 0});
      shorts(3, 6, 0);
    } else {
      shorts(0, 6, 0);
    }
    shorts(6, 12, 1);
    return runs;
  }
  const int group_start[5] = {0, 6, 11, 16, 21};
  for (int g = 0; g < 4; ++g) {
    if (gr == 1 && scfsi[g]) continue;
    runs.push_back({std::vector<int32_t>(sf.l + group_start[g], sf.l + group_start[g + 1]), g < 2 ? 0 : 1});
  }
  return runs;
}

bool CodeScalefactorsMpeg1(Layer3Channel& c, int gr, const int32_t* scfsi, Layer3BitSink& sink,
                           std::string* error) {
  const std::vector<SfRun> runs = Mpeg1Runs(c, gr, scfsi);
  auto fits = [&](int compress) {
    for (const SfRun& r : runs)
      if (!Fits(r.values, slen_mpeg1[r.slen_class][compress])) return false;
    return true;
  };
  auto bits = [&](int compress) {
    int n = 0;
    for (const SfRun& r : runs) n += int(r.values.size()) * slen_mpeg1[r.slen_class][compress];
    return n;
  };
  GranuleInfo& gi = c.info;
  if (c.auto_scalefac_compress) {
    int best = -1;
    for (int k = 0; k < 16; ++k)
      if (fits(k) && (best < 0 || bits(k) < bits(best))) best = k;
    if (best < 0) return (*error = "scalefactors above 15"), false;
    gi.scalefac_compress = best;
  } else if (gi.scalefac_compress < 0 || gi.scalefac_compress > 15 || !fits(gi.scalefac_compress)) {
    return (*error = "scalefactors do not fit scalefac_compress"), false;
  }
  for (const SfRun& r : runs)
    for (int32_t v : r.values) sink.Put(uint32_t(v), slen_mpeg1[r.slen_class][gi.scalefac_compress]);
  return true;
}

// ISO/IEC 13818-3 2.4.3.2: widths and partition table of a scalefac_compress.
struct LsfLayout {
  int slen[4];
  int table;
  int preflag;
};

LsfLayout LsfLayoutOf(int compress, bool intensity_right) {
  if (intensity_right) {
    const int c = compress >> 1;
    if (c < 180) return {{c / 36, (c % 36) / 6, c % 6, 0}, 3, 0};
    if (c < 244) return {{((c - 180) % 64) >> 4, ((c - 180) % 16) >> 2, (c - 180) % 4, 0}, 4, 0};
    return {{(c - 244) / 3, (c - 244) % 3, 0, 0}, 5, 0};
  }
  if (compress < 400)
    return {{(compress >> 4) / 5, (compress >> 4) % 5, (compress % 16) >> 2, compress % 4}, 0, 0};
  if (compress < 500) {
    const int d = compress - 400;
    return {{(d >> 2) / 5, (d >> 2) % 5, d % 4, 0}, 1, 0};
  }
  const int d = compress - 500;
  return {{d / 3, d % 3, 0, 0}, 2, 1};
}

// The scalefactors in the order the partitions take them.
std::vector<int32_t> LsfSequence(const Layer3Channel& c, int kind) {
  const ScaleFactors& sf = c.sf;
  std::vector<int32_t> seq;
  if (kind == 0) return std::vector<int32_t>(sf.l, sf.l + 21);
  int first = 0;
  if (kind == 2) {
    seq.assign(sf.l, sf.l + 6);
    first = 3;
  }
  for (int b = first; b < 12; ++b)
    for (int w = 0; w < 3; ++w) seq.push_back(sf.s[w][b]);
  return seq;
}

bool CodeScalefactorsLsf(const Layer3Header& h, int ch, Layer3Channel& c, Layer3BitSink& sink,
                         std::string* error) {
  GranuleInfo& gi = c.info;
  const int kind = gi.block_type == 2 ? (gi.mixed_block_flag ? 2 : 1) : 0;
  const bool intensity_right = ch == 1 && (h.mode_extension & 1);
  const std::vector<int32_t> seq = LsfSequence(c, kind);

  // Bits of a layout, or -1 when the scalefactors do not fit it.
  auto cost = [&](int compress) {
    const LsfLayout lay = LsfLayoutOf(compress, intensity_right);
    const int32_t* n = lsf_nr_of_sfb[lay.table][kind];
    size_t idx = 0;
    int bits = 0;
    for (int part = 0; part < 4; ++part) {
      for (int k = 0; k < n[part]; ++k, ++idx) {
        const int32_t v = idx < seq.size() ? seq[idx] : 0;
        if (v < 0 || v >= (1 << lay.slen[part])) return -1;
      }
      bits += n[part] * lay.slen[part];
    }
    for (; idx < seq.size(); ++idx)
      if (seq[idx] != 0) return -1;
    return bits;
  };

  if (c.auto_scalefac_compress) {
    int best = -1, best_bits = INT_MAX;
    for (int k = 0; k < 512; ++k) {
      if (intensity_right && (k & 1) != (gi.scalefac_compress & 1)) continue;  // intensity_scale
      if (!intensity_right && (k >= 500) != (gi.preflag != 0)) continue;
      const int bits = cost(k);
      if (bits >= 0 && bits < best_bits) best = k, best_bits = bits;
    }
    if (best < 0) return (*error = "scalefactors fit no LSF scalefac_compress"), false;
    gi.scalefac_compress = best;
  } else if (gi.scalefac_compress < 0 || gi.scalefac_compress > 511 || cost(gi.scalefac_compress) < 0) {
    return (*error = "scalefactors do not fit scalefac_compress"), false;
  }
  const LsfLayout lay = LsfLayoutOf(gi.scalefac_compress, intensity_right);
  gi.preflag = lay.preflag;
  const int32_t* n = lsf_nr_of_sfb[lay.table][kind];
  size_t idx = 0;
  for (int part = 0; part < 4; ++part)
    for (int k = 0; k < n[part]; ++k, ++idx)
      sink.Put(uint32_t(idx < seq.size() ? seq[idx] : 0), lay.slen[part]);
  return true;
}

// ---- Huffman ----

constexpr int kNoCode = INT_MAX / 4;

// Bits of one pair in a table, kNoCode when the table cannot carry it.
int PairBits(int table, int x, int y) {
  const int ax = std::abs(x), ay = std::abs(y);
  if (table == 0 || table == 4 || table == 14) return (ax || ay) ? kNoCode : 0;
  const int linbits = huffman_tables[table].linbits;
  const int limit = linbits ? 15 + (1 << linbits) - 1 : huffman_tables[table].xmax;
  if (ax > limit || ay > limit) return kNoCode;
  const int cx = std::min(ax, 15), cy = std::min(ay, 15);
  const HuffCode code = PairCode(table, cx, cy);
  if (!code.length) return kNoCode;
  int bits = code.length + (ax != 0) + (ay != 0);
  if (linbits) bits += (cx == 15 ? linbits : 0) + (cy == 15 ? linbits : 0);
  return bits;
}

int RegionBits(int table, const int32_t* v, int from, int to) {
  int bits = 0;
  for (int i = from; i < to; i += 2) bits = std::min(kNoCode, bits + PairBits(table, v[i], v[i + 1]));
  return bits;
}

int QuadBits(int table, const int32_t* v) {
  int bits = QuadCode(table, std::abs(v[0]), std::abs(v[1]), std::abs(v[2]), std::abs(v[3])).length;
  for (int k = 0; k < 4; ++k) bits += v[k] != 0;
  return bits;
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
    if (c.auto_tables) {
      if (r < regions) {
        const int t = BestTable(v, from, to);
        if (t < 0) return (*error = "no table carries region " + std::to_string(r)), false;
        gi.table_select[r] = t;
      }
    }
    const int t = gi.table_select[r] & 31;
    if (RegionBits(t, v, from, to) >= kNoCode)
      return (*error = "table " + std::to_string(t) + " cannot carry region " + std::to_string(r)), false;
    if (t != 0 && t != 4 && t != 14)
      for (int i = from; i < to; i += 2) PutPair(sink, t, v[i], v[i + 1]);
    from = to;
  }

  if (c.auto_tables) {
    int a = 0, b = 0;
    for (int i = big; i < count1_end; i += 4) a += QuadBits(32, v + i), b += QuadBits(33, v + i);
    gi.count1table_select = b < a ? 1 : 0;
  }
  for (int i = big; i < count1_end; i += 4)
    PutQuad(sink, 32 + (gi.count1table_select & 1), v[i], v[i + 1], v[i + 2], v[i + 3]);
  return true;
}

}  // namespace

bool CodeChannel(const Layer3Header& h, int gr, int ch, const int32_t* scfsi, Layer3Channel& c,
                 Layer3BitSink& sink, std::string* error) {
  GranuleInfo& gi = c.info;
  if (gi.window_switching_flag) {
    gi.region0_count = (gi.block_type == 2 && !gi.mixed_block_flag) ? 8 : 7;
    gi.region1_count = 20 - gi.region0_count;
  } else {
    gi.block_type = 0;
  }
  gi.short_block = (gi.window_switching_flag && gi.block_type == 2) ? 1 : 0;
  const bool ok = h.lsf() ? CodeScalefactorsLsf(h, ch, c, sink, error)
                          : CodeScalefactorsMpeg1(c, gr, scfsi, sink, error);
  return ok && CodeHuffman(h, c, sink, error);
}

}  // namespace test
}  // namespace bramble
