#include "tools/streams/Layer3Codes.h"
#include "tools/streams/Layer3Writer.h"

#include <climits>
#include <vector>

#include "decoder/tables/BuiltTables.h"

namespace bramble {
namespace test {

namespace {

// The scalefactors in stream order: the long bands, or the short bands
// window by window within each band, or for mixed blocks the first
// `mixed_long` long bands and then the short bands from band 3.
std::vector<int32_t> Sequence(const Layer3Channel& c, int mixed_long) {
  const bool is_short = c.info.block_type == 2, mixed = c.info.mixed_block_flag;
  std::vector<int32_t> seq(c.sf.l, c.sf.l + (!is_short ? 21 : mixed ? mixed_long : 0));
  for (int b = mixed ? 3 : 0; is_short && b < 12; ++b)
    for (int w = 0; w < 3; ++w) seq.push_back(c.sf.s[w][b]);
  return seq;
}

// Picks the cheapest scalefac_compress below `count` that `cost` accepts
// (-1: the scalefactors do not fit it) unless the channel fixes it.
template <typename Cost>
bool ChooseCompress(Layer3Channel& c, int count, Cost cost, std::string* error) {
  int& compress = c.info.scalefac_compress;
  if (!c.auto_scalefac_compress) {
    if (compress >= 0 && compress < count && cost(compress) >= 0) return true;
    return (*error = "scalefactors do not fit scalefac_compress"), false;
  }
  int best = -1, best_bits = INT_MAX;
  for (int k = 0; k < count; ++k) {
    const int bits = cost(k);
    if (bits >= 0 && bits < best_bits) best = k, best_bits = bits;
  }
  if (best < 0) return (*error = "no scalefac_compress carries the scalefactors"), false;
  compress = best;
  return true;
}

// MPEG-1: slen1 for long bands 0..10 and short bands 0..5; in granule 1
// the long bands of the groups that scfsi reuses are not coded.
bool CodeScalefactorsMpeg1(Layer3Channel& c, int gr, const int32_t* scfsi, Layer3BitSink& sink,
                           std::string* error) {
  const std::vector<int32_t> seq = Sequence(c, 8);
  const bool is_short = c.info.block_type == 2;
  const size_t slen1_values = !is_short ? 11 : c.info.mixed_block_flag ? 17 : 18;
  auto coded = [&](size_t i) { return is_short || gr == 0 || !scfsi[i < 6 ? 0 : i < 11 ? 1 : i < 16 ? 2 : 3]; };
  auto slen = [&](size_t i, int compress) { return slen_mpeg1[i < slen1_values ? 0 : 1][compress]; };
  auto cost = [&](int compress) {
    int bits = 0;
    for (size_t i = 0; i < seq.size(); ++i) {
      if (!coded(i)) continue;
      if (seq[i] < 0 || seq[i] >= (1 << slen(i, compress))) return -1;
      bits += slen(i, compress);
    }
    return bits;
  };
  if (!ChooseCompress(c, 16, cost, error)) return false;
  for (size_t i = 0; i < seq.size(); ++i)
    if (coded(i)) sink.Put(uint32_t(seq[i]), slen(i, c.info.scalefac_compress));
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

bool CodeScalefactorsLsf(const Layer3Header& h, int ch, Layer3Channel& c, Layer3BitSink& sink,
                         std::string* error) {
  GranuleInfo& gi = c.info;
  const int kind = gi.block_type == 2 ? (gi.mixed_block_flag ? 2 : 1) : 0;
  const bool intensity_right = ch == 1 && (h.mode_extension & 1);
  const std::vector<int32_t> seq = Sequence(c, 6);

  // Bits of a layout, or -1 when the scalefactors do not fit it. The
  // intensity right channel keeps its intensity_scale (the low bit), others
  // their pre-emphasis.
  const int intensity_scale = gi.scalefac_compress & 1, preflag = gi.preflag != 0;
  auto cost = [&](int compress) {
    if (intensity_right ? (compress & 1) != intensity_scale : (compress >= 500) != preflag) return -1;
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
  if (!ChooseCompress(c, 512, cost, error)) return false;
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
