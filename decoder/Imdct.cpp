// Layer III alias reduction, short-block reordering and the hybrid
// filterbank (ISO/IEC 11172-3 2.4.3.4.10 .. 2.4.3.4.11): which sub-bands
// get which transform. The transforms themselves are dsp kernels.
//
// The overlap store is kept time-major (32 t + sb) like the output, so that
// four neighbouring sub-bands read and write it as one vector.
#include <algorithm>
#include <cstring>

#include "decoder/Diagnostics.h"
#include "decoder/Layer3.h"
#include "decoder/dsp/Kernels.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

namespace {

// Index of the highest value below `end` that compares unequal to zero, or
// -1; negative zero counts as zero.
int LastNonzero(const float* x, int end) {
  int i = std::clamp(end, 0, 576) - 1;
  while (i >= 0 && x[i] == 0.0f) --i;
  return i;
}

int AntialiasLong(const dsp::Kernels& k, const float* xr, int xr_end, float* aa) {
  const int last = LastNonzero(xr, xr_end);
  if (last < 0) {
    std::memset(aa, 0, 576 * sizeof(float));
    return 0;
  }
  // Above the last nonzero sub-band every butterfly sees zeros on both sides.
  const int nsb = last / 18 + 1;
  const int top = nsb < 32 ? nsb : 31;
  for (int i = 0; i < 8; ++i) aa[i] = xr[i];
  k.antialias(xr, aa, 1, top);
  for (int sb = 0; sb < top; ++sb) {
    aa[18 * sb + 8] = xr[18 * sb + 8];
    aa[18 * sb + 9] = xr[18 * sb + 9];
  }
  if (nsb == 32) {
    for (int i = 18 * 31 + 8; i < 576; ++i) aa[i] = xr[i];
    return 576;
  }
  std::memset(aa + 18 * nsb + 8, 0, size_t(576 - 18 * nsb - 8) * sizeof(float));
  return 18 * nsb + 8;
}

void FourSubbands(const dsp::Kernels& k, const ImdctTables& c, int type, const float* aa, const float* prev,
                  float* xr, float* next, int sb) {
  if (type == 2)
    k.imdct12(aa + 18 * sb, c, prev + sb, xr + sb, next + sb, 32);
  else
    k.imdct36(aa + 18 * sb, c, c.win4[type], prev + sb, xr + sb, next + sb, 32);
}

// Sub-bands 0..3 when sub-bands 0 and 1 use window 0 and 2 and 3 another
// block type: each lane gets its own window, or, for short blocks, lanes 0
// and 1 are taken from a long transform run beside the short one.
void MixedSubbands(const dsp::Kernels& k, const ImdctTables& c, int type, const float* aa, const float* prev,
                   float* xr, float* next) {
  if (type != 2) {
    Lanes4 win[36];
    for (int i = 0; i < 36; ++i) win[i] = Lanes4{{c.win[0][i], c.win[0][i], c.win[type][i], c.win[type][i]}};
    k.imdct36(aa, c, win, prev, xr, next, 32);
    return;
  }
  alignas(16) float long_out[18 * 4], long_next[18 * 4], long_prev[18 * 4];
  for (int i = 0; i < 18; ++i) std::memcpy(long_prev + 4 * i, prev + 32 * i, 4 * sizeof(float));
  k.imdct36(aa, c, c.win4[0], long_prev, long_out, long_next, 4);
  k.imdct12(aa, c, prev, xr, next, 32);
  for (int i = 0; i < 18; ++i)
    for (int l = 0; l < 2; ++l) {
      xr[32 * i + l] = long_out[4 * i + l];
      next[32 * i + l] = long_next[4 * i + l];
    }
}

}  // namespace

int Antialias(const GranuleInfo& gi, int sfb_row, const dsp::Kernels& k, const float* xr, float* aa, int xr_end) {
  if (!gi.short_block) return AntialiasLong(k, xr, xr_end, aa);
  const int32_t* reorder = ShortReorder(sfb_row);
  if (!gi.mixed_block_flag) {
    for (int i = 0; i < 576; ++i) aa[i] = xr[reorder[i]];
    return 576;
  }
  for (int i = 0; i < 36; ++i) aa[i] = xr[i];
  for (int i = 36; i < 576; ++i) aa[i] = xr[reorder[i]];
  k.antialias(aa, aa, 1, 1);
  Diagnose("Notchecked!");
  return 576;
}

void HybridFilterbank(const GranuleInfo& gi, const float* prev, float* next, const dsp::Kernels& k,
                      const ImdctTables& c, float* aa, float* xr, int aa_end) {
  const int block_type = gi.block_type & 3;
  const int low_type = gi.mixed_block_flag ? 0 : block_type;

  // Only the sub-bands up to the last nonzero input are transformed; an
  // all-zero sub-band transforms to zero, so its output is the old overlap
  // and its new overlap is zero.
  const int last = LastNonzero(aa, aa_end);
  const int nsb = last < 0 ? 0 : last / 18 + 1;
  int sb = 0;
  if (nsb > 0 && low_type != block_type) {
    MixedSubbands(k, c, block_type, aa, prev, xr, next);
    sb = 4;
  }
  for (; sb < nsb; sb += 4) FourSubbands(k, c, block_type, aa, prev, xr, next, sb);
  // The rest four sub-bands at a time (sb is a multiple of 4): fixed-size
  // copies the compiler inlines.
  static const float kZero4[4] = {};
  for (int i = 0; i < 18; ++i)
    for (int j = 32 * i + sb; j < 32 * i + 32; j += 4) {
      std::memcpy(xr + j, prev + j, sizeof kZero4);
      std::memcpy(next + j, kZero4, sizeof kZero4);
    }
}

}  // namespace bramble
