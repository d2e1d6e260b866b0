// Gapless decoding: of the decoded samples only those that stand for the
// encoder's input are kept. The encoder's delay plus the decoder's own
// delay are cut from the start, the encoder's padding less the decoder's
// delay from the end.
#pragma once

#include <cstdint>

namespace bramble {

struct VbrHeader;

class GaplessTrim {
 public:
  // Samples the synthesis lags the encoder's timeline.
  static constexpr int kDecoderDelay = 529;

  // No trimming: every sample is kept.
  GaplessTrim() = default;
  // From a header with a LAME tag; without one nothing is trimmed. The
  // end is known only when the header gives the frame count.
  static GaplessTrim For(const VbrHeader& header, int samples_per_frame);

  bool active() const { return active_; }
  // First kept sample of the decoded stream, and one past the last.
  int64_t start() const { return start_; }
  int64_t end() const { return end_; }
  // Frames the header counts; 0 when it gives none.
  uint32_t frames() const { return frames_; }

  // Of a frame whose `count` samples begin at decoded sample `first`: the
  // samples to drop before those kept, and how many are kept.
  void Keep(int64_t first, int count, int* skip, int* keep) const;

 private:
  bool active_ = false;
  int64_t start_ = 0;
  int64_t end_ = INT64_MAX;
  uint32_t frames_ = 0;
};

}  // namespace bramble
