#include "reader/SourceLayout.h"

#include <algorithm>
#include <climits>

#include "reader/GaplessTrim.h"

namespace bramble {

namespace {
uint32_t Frames(const SourceLayout& l) { return l.index.frames > 0 ? l.index.frames : l.vbr.frames; }
double TotalSamples(const SourceLayout& l) { return double(Frames(l)) * l.samples_per_frame; }

// Offsets beyond what a source position can hold land at the end.
long ClampOffset(double offset) {
  if (!(offset > 0.0)) return 0;
  return offset >= double(LONG_MAX) ? LONG_MAX : long(offset);
}
}  // namespace

void FrameIndex::Add(uint32_t offset) {
  if (frames % stride == 0) {
    if (entries == kMaxEntries) {
      // Full: keep every other entry, twice as far apart.
      for (int i = 0; i < kMaxEntries / 2; ++i) offsets[i] = offsets[2 * i];
      entries = kMaxEntries / 2;
      stride *= 2;
    }
    if (frames % stride == 0) offsets[entries++] = offset;
  }
  ++frames;
}

uint32_t AudioBytes(const SourceLayout& l, uint32_t size) {
  const uint64_t tags = uint64_t(l.audio_start) + l.tail_bytes;
  return size > tags ? uint32_t(size - tags) : 0;
}

bool HasFrameCount(const SourceLayout& l) {
  const bool counted = l.index.frames > 0 || (l.vbr.kind != VbrHeader::kNone && l.vbr.frames > 0);
  return counted && l.sample_rate > 0 && l.samples_per_frame > 0;
}

double AudioLengthMs(const SourceLayout& l, uint32_t size, int bitrate, bool gapless) {
  if (HasFrameCount(l)) {
    double samples = TotalSamples(l);
    if (gapless) {
      // A header without a frame count (a walked file) knows only the start.
      const GaplessTrim trim = GaplessTrim::For(l.vbr, l.samples_per_frame);
      if (trim.active()) samples = double(std::min<int64_t>(trim.end(), int64_t(samples)) - trim.start());
      if (samples < 0) samples = 0;
    }
    return samples * 1000.0 / l.sample_rate;
  }
  // Single precision, as the byte count always was.
  const float audio = float(AudioBytes(l, size));
  return bitrate > 0 ? double(audio) * 8000.0 / bitrate : double(audio) * 0.0625;
}

int AverageBitrate(const SourceLayout& l) {
  if (!HasFrameCount(l) || (l.index.frames == 0 && l.vbr.kind == VbrHeader::kInfo)) return 0;
  const uint32_t audio = AudioBytes(l, l.source_bytes);
  uint32_t bytes = (l.vbr.bytes > 0 && (audio == 0 || l.vbr.bytes <= audio)) ? l.vbr.bytes : audio;
  if (l.index.frames > 0) bytes = l.index.end - l.index.offsets[0];
  const double bits = double(bytes) * 8.0 * l.sample_rate / TotalSamples(l);
  return bits >= 2147483647.0 ? 0 : int(bits + 0.5);
}

long SeekOffset(const SourceLayout& l, int byte_rate, int ms, bool gapless) {
  if (!HasFrameCount(l)) return ClampOffset(double(l.audio_start) + double(byte_rate) * double(ms) * 0.001);
  const GaplessTrim trim = gapless ? GaplessTrim::For(l.vbr, l.samples_per_frame) : GaplessTrim();
  const double sample = double(ms) * l.sample_rate / 1000.0 + double(trim.start());
  const FrameIndex& x = l.index;
  if (x.frames > 0) {
    // Between the two entries around the frame, in proportion.
    const double frame = sample / l.samples_per_frame;
    if (!(frame < x.frames)) return ClampOffset(x.end);
    const int i = std::min(int(frame / x.stride), x.entries - 1);
    const double first = double(i) * x.stride;
    const double next = i + 1 < x.entries ? x.offsets[i + 1] : x.end;
    const double span = std::min<double>(x.stride, x.frames - first);
    return ClampOffset(x.offsets[i] + (next - x.offsets[i]) * (frame - first) / span);
  }
  const uint32_t offset = VbrSeekOffset(l.vbr, sample / TotalSamples(l), AudioBytes(l, l.source_bytes));
  return ClampOffset(double(l.audio_start) + double(offset));
}

}  // namespace bramble
