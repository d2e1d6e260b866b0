#include "reader/FrameWalk.h"

#include <algorithm>

#include "reader/FrameReader.h"

namespace bramble {

namespace {
constexpr int kProbes = 16;
// A probe searches this far: two of the longest frames and some junk.
constexpr int kProbeBytes = 16384;
}  // namespace

void WalkIfVariable(ByteSource& source, const FrameHeader& first, SourceLayout* layout) {
  const uint32_t audio = AudioBytes(*layout, layout->source_bytes);
  bool variable = first.bitrate_index == 0;
  uint8_t window[kProbeBytes];
  FrameReader probe;
  for (int k = 1; k <= kProbes && !variable; ++k) {
    const long at = long(layout->audio_start) + long(uint64_t(audio) * uint64_t(k) / (kProbes + 1));
    const int want = int(std::min<uint64_t>(kProbeBytes, uint64_t(layout->audio_start) + audio - uint64_t(at)));
    if (want <= 0 || !source.Seek(at) || source.Read(window, want) != want) continue;
    PieceSource piece(window, size_t(want));
    probe.Attach(&piece, nullptr);
    // Frames of another version, layer or rate are patterns in the data.
    const FrameHeader& h = probe.frame_header();
    if (probe.SynHeader(nullptr) == 0 && SameStream(h, first)) variable = h.bitrate_index != first.bitrate_index;
  }
  if (!variable || !source.Seek(0)) return;
  FrameReader walk;
  walk.Attach(&source, nullptr);
  FrameIndex& index = layout->index;
  index = FrameIndex();
  while (walk.SynHeader(nullptr) == 0) {
    index.Add(uint32_t(walk.frame_offset()));
    index.end = uint32_t(walk.frame_offset() + walk.frame_size());
  }
}

}  // namespace bramble
