// Layer III scalefactors: ISO/IEC 11172-3 2.4.2.7 (with reuse between
// granules) and ISO/IEC 13818-3 2.4.3.2 (partitions, intensity variant).
#include "decoder/Layer3.h"
#include "decoder/tables/Layer3Tables.h"

namespace bramble {

namespace {

// Long-band groups that one scfsi bit covers.
constexpr int kScfsiGroupStart[5] = {0, 6, 11, 16, 21};

// Short bands first..last-1, windows in turn, each slen bits wide.
template <typename Read>
void ReadShortBands(ScaleFactors& sf, int first, int last, int slen, Read read) {
  for (int band = first; band < last; ++band)
    for (int w = 0; w < 3; ++w) sf.s[w][band] = read(slen);
}

struct LsfLayout {
  int slen[4];
  int table;
  int preflag;
};

LsfLayout LsfSlen(int scalefac_compress, bool intensity_right) {
  if (intensity_right) {
    const int c = scalefac_compress >> 1;
    if (c < 180) return {{c / 36, (c % 36) / 6, c % 6, 0}, 3, 0};
    if (c < 244) {
      const int d = c - 180;
      return {{(d % 64) >> 4, (d % 16) >> 2, d % 4, 0}, 4, 0};
    }
    const int d = c - 244;
    return {{d / 3, d % 3, 0, 0}, 5, 0};
  }
  const int c = scalefac_compress;
  if (c < 400) return {{(c >> 4) / 5, (c >> 4) % 5, (c % 16) >> 2, c % 4}, 0, 0};
  if (c < 500) {
    const int d = c - 400;
    return {{(d >> 2) / 5, (d >> 2) % 5, d % 4, 0}, 1, 0};
  }
  const int d = c - 500;
  return {{d / 3, d % 3, 0, 0}, 2, 1};
}

// Spreads the 36-entry partition sequence over the bands. Mixed blocks take
// 6 long bands (lines 0..35 at these rates), then short bands 3..11.
template <int kRow>
void ArrangeLsf(const int32_t* buf, int kind, int32_t* longs, int32_t (*shorts)[kRow]) {
  int idx = 0;
  if (kind == 0) {
    for (int b = 0; b < 21; ++b) longs[b] = buf[b];
    return;
  }
  int first = 0;
  if (kind == 2) {
    for (; idx < 6; ++idx) longs[idx] = buf[idx];
    first = 3;
  }
  for (int band = first; band < 12; ++band)
    for (int w = 0; w < 3; ++w) shorts[w][band] = buf[idx++];
}

}  // namespace

void ReadScaleFactorsMpeg1(BitReservoir& r, const GranuleInfo& gi, const int32_t* scfsi, int gr,
                           ScaleFactors& sf) {
  const int slen1 = slen_mpeg1[0][gi.scalefac_compress & 15];
  const int slen2 = slen_mpeg1[1][gi.scalefac_compress & 15];
  auto read = [&r](int n) { return r.GetBitsFast(n); };

  if (gi.short_block) {
    int first = 0;
    if (gi.mixed_block_flag) {
      for (int b = 0; b < 8; ++b) sf.l[b] = read(slen1);
      first = 3;
    }
    ReadShortBands(sf, first, 6, slen1, read);
    ReadShortBands(sf, 6, 12, slen2, read);
    for (int w = 0; w < 3; ++w) sf.s[w][12] = 0;
    return;
  }
  for (int g = 0; g < 4; ++g) {
    if (gr == 1 && scfsi[g]) continue;  // kept from the earlier granule
    const int slen = g < 2 ? slen1 : slen2;
    for (int b = kScfsiGroupStart[g]; b < kScfsiGroupStart[g + 1]; ++b) sf.l[b] = read(slen);
  }
  sf.l[21] = sf.l[22] = 0;
}

void ReadScaleFactorsLsf(BitReservoir& r, GranuleInfo& gi, bool intensity_right, ScaleFactors& sf,
                         IntensityLimits* limits) {
  const int kind = gi.block_type == 2 ? (gi.mixed_block_flag ? 2 : 1) : 0;
  const LsfLayout lay = LsfSlen(gi.scalefac_compress & 511, intensity_right);
  gi.preflag = lay.preflag;
  const int32_t* n = lsf_nr_of_sfb[lay.table][kind];

  int32_t buf[36] = {};
  int idx = 0;
  for (int part = 0; part < 4; ++part) {
    const int slen = lay.slen[part];
    for (int k = 0; k < n[part] && idx < 36; ++k) buf[idx++] = slen ? r.GetBits(slen) : 0;
  }

  ArrangeLsf(buf, kind, sf.l, sf.s);
  if (kind == 0) {
    sf.l[21] = sf.l[22] = 0;
  } else {
    if (kind == 2)
      for (int b = 6; b < 23; ++b) sf.l[b] = 0;
    for (int w = 0; w < 3; ++w) sf.s[w][12] = 0;
  }

  if (limits) {
    int32_t limit[36] = {};
    idx = 0;
    for (int part = 0; part < 4; ++part) {
      const int slen = lay.slen[part];
      for (int k = 0; k < n[part] && idx < 36; ++k) limit[idx++] = slen ? (1 << slen) - 1 : -1;
    }
    ArrangeLsf(limit, kind, limits->is_max_long, limits->is_max_short);
  }
}

}  // namespace bramble
