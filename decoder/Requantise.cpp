// Layer III requantisation: xr = gain * scalefactor factor * sign(q) |q|^(4/3)
// (ISO/IEC 11172-3 2.4.3.4.7, ISO/IEC 13818-3 2.4.3.2). The spectrum stays in
// coded order; short windows are interleaved later by Antialias.
#include <algorithm>
#include <cstring>

#include "decoder/Layer3.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

// Scalefactor-derived table indices, limited so that a corrupt value can
// never index outside the tables.
inline unsigned LongIndex(int scalefac, int pre, int scalefac_scale) {
  const unsigned i = unsigned(scalefac + pre) << (scalefac_scale & 1);
  return i < 40 ? i : 39;
}

inline const float& ShortFactor(int subblock_gain, int scalefac_scale, int scalefac) {
  const unsigned k = unsigned(scalefac) < 16 ? unsigned(scalefac) : 15;
  return Built().sf_scale_short[subblock_gain & 7][scalefac_scale & 1][k];
}

// Every band width is even: two lines, then four at a time.
inline void ScaleLines(const int32_t* q, float* xr, int begin, int end, float f, const float* p43) {
  int i = begin;
  if ((end - begin) & 2) {
    const float a = f * p43[q[i]];
    const float b = f * p43[q[i + 1]];
    xr[i] = a;
    xr[i + 1] = b;
    i += 2;
  }
  for (; i < end; i += 4) {
    const float a = f * p43[q[i]];
    const float b = f * p43[q[i + 1]];
    const float c = f * p43[q[i + 2]];
    const float d = f * p43[q[i + 3]];
    xr[i] = a;
    xr[i + 1] = b;
    xr[i + 2] = c;
    xr[i + 3] = d;
  }
}

// One past the highest nonzero quantised value (0 when all are zero); the
// values from `end` on are zero.
inline int NonzeroEnd(const int32_t* q, int end) {
  while (end > 0 && q[end - 1] == 0) --end;
  return end;
}

// Lines from `begin` on requantise to f * -0.0 = -0.0, every factor being
// positive. Four lines are stored at a time.
inline void FillNegativeZero(float* xr, int begin) {
  static const float kFour[4] = {-0.0f, -0.0f, -0.0f, -0.0f};
  for (; begin & 3; ++begin) xr[begin] = -0.0f;
  for (int i = begin; i < 576; i += 4) std::memcpy(xr + i, kFour, 16);
}

}  // namespace

void Requantise(const GranuleInfo& gi, const ScaleFactors& sf, const SfbBounds& b, const int32_t* quantised,
                float* xr, int count) {
  const float g = Built().gain_scale[gi.global_gain & 255];
  const float* p43 = Built().pow43_signed();

  // Lines above the last nonzero value need no lookups (end is even, as
  // every band boundary is).
  const int end = (NonzeroEnd(quantised, std::clamp(count, 0, 576)) + 1) & ~1;
  if (!gi.short_block) {
    int stop = 0;
    for (int sfb = 0; sfb < 22 && b.l[sfb] < end; ++sfb) {
      const int pre = gi.preflag ? pretab[sfb] : 0;
      const float f = g * Built().sf_scale_long[LongIndex(sf.l[sfb], pre, gi.scalefac_scale)];
      stop = b.l[sfb + 1] < end ? b.l[sfb + 1] : end;
      ScaleLines(quantised, xr, b.l[sfb], stop, f, p43);
    }
    FillNegativeZero(xr, stop);
    return;
  }

  if (!gi.mixed_block_flag) {
    int sfb = 0;
    for (; sfb < 13 && 3 * b.s[sfb] < end; ++sfb) {
      const int width = b.s[sfb + 1] - b.s[sfb];
      int line = 3 * b.s[sfb];
      for (int w = 0; w < 3; ++w, line += width) {
        const float f = g * ShortFactor(gi.subblock_gain[w], gi.scalefac_scale, sf.s[w][sfb]);
        ScaleLines(quantised, xr, line, line + width, f, p43);
      }
    }
    FillNegativeZero(xr, 3 * b.s[sfb]);
    return;
  }

  // Mixed: the gain first, then the long factors of the two lowest
  // sub-bands and the short factors from short band 3 on.
  ScaleLines(quantised, xr, 0, 576, g, p43);
  for (int sfb = 0; b.l[sfb] < 36; ++sfb) {
    const int pre = gi.preflag ? pretab[sfb] : 0;
    const float f = Built().sf_scale_long[LongIndex(sf.l[sfb], pre, gi.scalefac_scale)];
    const int stop = b.l[sfb + 1] < 36 ? b.l[sfb + 1] : 36;
    for (int i = b.l[sfb]; i < stop; ++i) xr[i] *= f;
  }
  for (int sfb = 3; sfb < 13; ++sfb) {
    const int width = b.s[sfb + 1] - b.s[sfb];
    int line = 3 * b.s[sfb];
    for (int w = 0; w < 3; ++w, line += width) {
      const float f = ShortFactor(gi.subblock_gain[w], gi.scalefac_scale, sf.s[w][sfb]);
      for (int i = line; i < line + width; ++i) xr[i] *= f;
    }
  }
}

}  // namespace bramble
