#include "reader/StreamProbe.h"

#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "reader/TagSpans.h"

namespace bramble {

int StreamProbe::Parse(const uint8_t* buffer, int len) {
  layout = SourceLayout();
  if (len < 4) return 0;
  int offset = 0;
  for (int tags = 0; tags < kMaxLeadingTags; ++tags) {
    const uint32_t tag = Id3v2TagSize(buffer + offset, size_t(len - offset));
    if (tag == 0) break;
    layout.audio_start += tag;
    // The audio begins beyond these bytes: nothing here is a frame.
    if (tag >= uint32_t(len - offset)) return 0;
    offset += int(tag);
  }
  PieceSource bytes(buffer + offset, size_t(len - offset));
  FrameReader reader;
  int bits = 0, channels = 0, rate = 0;
  if (reader.ScanInfo(bytes, &bits, &channels, &rate) != 0) return 0;
  sample_rate = rate;
  // The last header accepted: the one that confirmed the first.
  bitrate = reader.byte_rate() / 125;
  const uint32_t tags = layout.audio_start;
  layout = reader.layout();
  layout.audio_start = tags;
  return 1;
}

}  // namespace bramble
