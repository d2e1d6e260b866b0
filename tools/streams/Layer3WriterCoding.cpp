#include "tools/streams/Layer3Codes.h"
#include "tools/streams/Layer3Writer.h"

#include <algorithm>
#include <climits>
#include <vector>

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
