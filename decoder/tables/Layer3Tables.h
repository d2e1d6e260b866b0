// Layer III constant tables (decoder/tables/Layer3Constants.cpp). The float
// tables computed from them are in decoder/tables/BuiltTables.h.
#pragma once

#include <cstdint>

namespace bramble {

// The global_gain of a unit step: 2^((global_gain - 210) / 4) (ISO/IEC 11172-3 2.4.3.4.7.1).
constexpr int32_t kUnitGlobalGain = 210;

// Scalefactor band boundaries: long[23] then short[14]. Rows: MPEG-1 44.1,
// 48, 32 kHz; MPEG-2 22.05, 24, 16 kHz; MPEG-2.5 11.025, 12, 8 kHz
// (FrameHeader::SfbRow()).
struct SfbBounds {
  int32_t l[23];
  int32_t s[14];
};
constexpr int kSfbRows = 9;
extern const SfbBounds sfb_bounds[kSfbRows];

extern const int32_t slen_mpeg1[2][16];
extern const int32_t lsf_nr_of_sfb[6][3][4];
extern const int32_t pretab[22];

// tan(i * pi / 12), with stand-ins for the pole and for -1.
extern const float is_tan[16];
// Alias-reduction coefficients ci.
extern const float aa_ci[8];

}  // namespace bramble
