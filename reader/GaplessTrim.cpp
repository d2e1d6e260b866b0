#include "reader/GaplessTrim.h"

#include "reader/VbrHeader.h"

namespace bramble {

GaplessTrim GaplessTrim::For(const VbrHeader& h, int samples_per_frame) {
  GaplessTrim t;
  if (h.kind == VbrHeader::kNone || h.encoder_delay < 0 || h.encoder_padding < 0 || samples_per_frame <= 0)
    return t;
  t.active_ = true;
  t.start_ = int64_t(h.encoder_delay) + kDecoderDelay;
  t.frames_ = h.frames;
  if (h.frames > 0) {
    // Padding shorter than the decoder's delay cannot be made up: the
    // decoded stream simply ends.
    const int tail = h.encoder_padding > kDecoderDelay ? h.encoder_padding - kDecoderDelay : 0;
    t.end_ = int64_t(h.frames) * samples_per_frame - tail;
    if (t.end_ < t.start_) t.end_ = t.start_;
  }
  return t;
}

void GaplessTrim::Keep(int64_t first, int count, int* skip, int* keep) const {
  *skip = 0;
  *keep = count < 0 ? 0 : count;
  if (!active_ || count <= 0) return;
  const int64_t last = first + count;
  const int64_t from = first > start_ ? first : start_;
  const int64_t to = last < end_ ? last : end_;
  if (to <= from) {
    *keep = 0;
    return;
  }
  *skip = int(from - first);
  *keep = int(to - from);
}

}  // namespace bramble
