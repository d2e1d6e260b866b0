// Constant tables of the frame header: bit rates and sampling rates.
#pragma once

#include <cstdint>

namespace bramble {

// kbit/s by [lsf][layer - 1][bitrate_index]; index 0 (free format) holds the
// row's highest rate, index 15 is never looked up.
extern const int32_t kBitrateKbps[2][3][15];

// Hz: MPEG-1 44100, 48000, 32000; MPEG-2 22050, 24000, 16000;
// MPEG-2.5 11025, 12000, 8000.
extern const int32_t kSampleRateHz[9];

// Samples per channel in one frame of the given layer and version: Layer II
// frames carry 1152 at every rate, only LSF Layer III frames 576.
inline int SamplesPerFrame(int layer, int lsf) {
  return layer == 1 ? 384 : (layer == 3 && lsf) ? 576 : 1152;
}

}  // namespace bramble
