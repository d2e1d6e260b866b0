// Comparison of our always-stereo PCM with a reference decoding that keeps
// each frame's own channel count (one sample per output sample for a
// single-channel frame, two interleaved for a two-channel frame).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader/DecodeSource.h"

namespace bramble {
namespace test {

struct FrameLayout {
  int channels;       // coded channels of the frame
  int sample_frames;  // samples per channel the frame stands for
  bool decoded;       // false: it yielded no PCM
};

// Collects a whole decode in memory with the layout of every frame.
class CollectingSink : public PcmSink {
 public:
  bool Start(int sample_rate) override;
  bool Write(const int16_t* pcm, int values, int channels) override;
  void Rejected(int channels, int sample_frames) override;

  int sample_rate = 0;
  std::vector<int16_t> pcm;  // interleaved stereo
  std::vector<FrameLayout> frames;
};

struct PcmDiff {
  int64_t compared = 0;  // reference samples compared
  int max_abs = 0;
  double rms = 0.0;      // LSB
  double psnr = 0.0;     // dB against 32767; infinite when identical
};

// Compares frame by frame over the common prefix. Frames that yielded no
// PCM (Layer III main data reaching back before the stream's first byte)
// have no span in the reference either: reference decoders skip them too.
PcmDiff ComparePcm(const std::vector<int16_t>& ours, const std::vector<FrameLayout>& frames,
                   const std::vector<int16_t>& reference);

// Frames at the start of the stream that yielded no PCM.
int LeadingUndecoded(const std::vector<FrameLayout>& frames);

// Signed 16-bit little-endian samples of a file; false when unreadable or empty.
bool LoadPcm(const std::string& path, std::vector<int16_t>* out);

}  // namespace test
}  // namespace bramble
