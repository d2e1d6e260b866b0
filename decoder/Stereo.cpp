// Layer III joint stereo: mid/side and intensity stereo, the MPEG-1 rule
// (ISO/IEC 11172-3 2.4.3.4.9) and the LSF rule (ISO/IEC 13818-3 2.4.3.2).
// Intensity decisions are taken per band and stored per line, so the final
// pass over the lines is a plain loop.
#include "decoder/Layer3.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

constexpr float kMsScale = 0.70710683f;
constexpr int32_t kNone = -1;

struct IntensityPlan {
  int32_t marker[576];
  float ratio[576][2];
};

class IntensityStereo {
 public:
  // ratios: 16 (MPEG-1) or 64 (LSF) pairs; max_long/max_short: the LSF
  // illegal positions, or null for MPEG-1 and its fixed 7.
  IntensityStereo(const float (*ratios)[2], int ratio_mask, const int32_t* max_long,
                  const int32_t (*max_short)[12], const SfbBounds& b, const float* right,
                  const ScaleFactors& sf, IntensityPlan& plan)
      : lsf_(max_long != nullptr), ratios_(ratios), ratio_mask_(ratio_mask), max_long_(max_long),
        max_short_(max_short), b_(b), right_(right), sf_(sf), plan_(plan) {
    for (int i = 0; i < 576; ++i) plan_.marker[i] = kNone;
  }

  // MPEG-1 counts line 0 of the right channel as nonzero, long band 21
  // takes band 20's decision, short band 11 takes band 10's and short band
  // 12 stays as coded. LSF streams match the ISO/IEC 13818-3 compliance
  // decodings instead: an all-zero right channel is intensity coded from
  // band 0, short band 11 uses its own position, and the last band (long
  // 21, short 12) follows the band below when that band lies in the zero
  // part, or takes position 0 when it holds the last nonzero line.
  void Long() {
    const int s = FirstLongBandAbove(HighestNonzero(575));
    for (int sfb = s; sfb <= 20; ++sfb) MarkLong(sfb);
    if (!lsf_) {
      if (s <= 21) CopyLine(b_.l[20], b_.l[21], 576);
    } else if (s <= 20) {
      CopyLine(b_.l[20], b_.l[21], 576);
    } else if (s == 21) {
      Mark(b_.l[21], 576, 0, kNone);  // position 0, which is never illegal here
    }
  }

  void Short() {
    for (int w = 0; w < 3; ++w) ShortWindow(w, HighestNonzeroShortBand(w, 0));
  }

  void Mixed() {
    int top_band = 3;  // largest m + 1 over the windows
    for (int w = 0; w < 3; ++w) {
      const int m = HighestNonzeroShortBand(w, 3);
      ShortWindow(w, m);
      if (m + 1 > top_band) top_band = m + 1;
    }
    if (top_band < 4) {
      const int s = FirstLongBandAbove(HighestNonzero(53));
      for (int sfb = s; sfb <= 7; ++sfb) MarkLong(sfb);
    }
  }

 private:
  // Window w above its highest nonzero band m.
  void ShortWindow(int w, int m) {
    for (int sfb = m + 1; sfb <= 11; ++sfb) MarkShort(sfb, w);
    const int width11 = b_.s[12] - b_.s[11], width12 = b_.s[13] - b_.s[12];
    if (!lsf_) {
      const int start = WindowStart(11, w);
      CopyLine(WindowStart(10, w), start, start + width11);
      return;
    }
    const int start = WindowStart(12, w);
    if (m < 11)
      CopyLine(WindowStart(11, w), start, start + width12);
    else if (m == 11)
      Mark(start, start + width12, 0, kNone);  // position 0, never illegal here
  }

  // Searching down from `from`: the highest nonzero line, or (no line
  // nonzero) 0 for MPEG-1 and -1 for LSF.
  int HighestNonzero(int from) const {
    const int floor = lsf_ ? -1 : 0;
    int i = from;
    while (i > floor && right_[i] == 0.0f) --i;
    return i;
  }

  int FirstLongBandAbove(int top) const {
    int s = 0;
    while (s < 22 && b_.l[s] <= top) ++s;
    return s;
  }

  int WindowStart(int sfb, int w) const { return 3 * b_.s[sfb] + w * (b_.s[sfb + 1] - b_.s[sfb]); }

  // Highest short band from 12 down to `lowest` with a nonzero right-channel
  // line in window w, or lowest - 1.
  int HighestNonzeroShortBand(int w, int lowest) const {
    for (int sfb = 12; sfb >= lowest; --sfb) {
      const int start = WindowStart(sfb, w);
      const int end = start + b_.s[sfb + 1] - b_.s[sfb];
      for (int i = start; i < end; ++i)
        if (right_[i] != 0.0f) return sfb;
    }
    return lowest - 1;
  }

  void Mark(int begin, int end, int32_t pos, int32_t illegal) {
    if (pos == illegal) return;
    const float* r = ratios_[pos & ratio_mask_];
    for (int i = begin; i < end; ++i) {
      plan_.marker[i] = pos;
      plan_.ratio[i][0] = r[0];
      plan_.ratio[i][1] = r[1];
    }
  }

  void MarkLong(int sfb) {
    Mark(b_.l[sfb], b_.l[sfb + 1], sf_.l[sfb], max_long_ ? max_long_[sfb] : 7);
  }

  void MarkShort(int sfb, int w) {
    const int start = WindowStart(sfb, w);
    Mark(start, start + b_.s[sfb + 1] - b_.s[sfb], sf_.s[w][sfb],
         max_short_ ? max_short_[w][sfb] : 7);
  }

  void CopyLine(int from, int begin, int end) {
    for (int i = begin; i < end; ++i) {
      plan_.marker[i] = plan_.marker[from];
      plan_.ratio[i][0] = plan_.ratio[from][0];
      plan_.ratio[i][1] = plan_.ratio[from][1];
    }
  }

  const bool lsf_;
  const float (*ratios_)[2];
  int ratio_mask_;
  const int32_t* max_long_;
  const int32_t (*max_short_)[12];
  const SfbBounds& b_;
  const float* right_;
  const ScaleFactors& sf_;
  IntensityPlan& plan_;
};

void MidSide(float* left, float* right) {
  for (int i = 0; i < 576; ++i) {
    const float l = left[i], r = right[i];
    left[i] = (l + r) * kMsScale;
    right[i] = (l - r) * kMsScale;
  }
}

void ApplyPlan(const IntensityPlan& plan, bool ms, float* left, float* right) {
  for (int i = 0; i < 576; ++i) {
    const float l = left[i];
    if (plan.marker[i] != kNone) {
      right[i] = l * plan.ratio[i][1];
      left[i] = l * plan.ratio[i][0];
    } else if (ms) {
      const float r = right[i];
      left[i] = (l + r) * kMsScale;
      right[i] = (l - r) * kMsScale;
    }
  }
}

void RunIntensity(IntensityStereo& is, const GranuleInfo& gi) {
  if (!gi.short_block)
    is.Long();
  else if (gi.mixed_block_flag)
    is.Mixed();
  else
    is.Short();
}

}  // namespace

void StereoMpeg1(StereoModes modes, const GranuleInfo& gi0, const SfbBounds& bands, const ScaleFactors& right,
                 float xr[2][576]) {
  if (!modes.is) {
    if (modes.ms) MidSide(xr[0], xr[1]);
    return;
  }
  IntensityPlan plan;
  IntensityStereo is(Built().is_ratio_mpeg1, 15, nullptr, nullptr, bands, xr[1], right, plan);
  RunIntensity(is, gi0);
  ApplyPlan(plan, modes.ms, xr[0], xr[1]);
}

void StereoLsf(StereoModes modes, const GranuleInfo& gi0, int intensity_scale, const SfbBounds& bands,
               const ScaleFactors& right, const IntensityLimits& limits, float xr[2][576]) {
  if (!modes.is) {
    if (modes.ms) MidSide(xr[0], xr[1]);
    return;
  }
  IntensityPlan plan;
  IntensityStereo is(Built().is_ratio_lsf[intensity_scale & 1], 63, limits.is_max_long, limits.is_max_short,
                     bands, xr[1], right, plan);
  RunIntensity(is, gi0);
  ApplyPlan(plan, modes.ms, xr[0], xr[1]);
}

}  // namespace bramble
