#include "reader/StreamProbe.h"

#include "decoder/Tables.h"
#include "reader/FrameReader.h"
#include "reader/TagSpans.h"

namespace bramble {

namespace {
// First jointly coded sub-band (Layers I, II) or the same bound for Layer
// III, by mode_extension (ISO/IEC 11172-3 2.4.2.3).
const int kBoundLayer12[4] = {4, 8, 12, 16};
const int kBoundLayer3[4] = {0, 4, 8, 16};

bool InRange(int frame_length) {
  return frame_length >= FrameReader::kMinFrameLength && frame_length <= FrameReader::kMaxFrameLength;
}
}  // namespace

bool StreamProbe::TestHeader(const uint8_t* h, int state) {
  const int b1 = h[1], b2 = h[2], b3 = h[3];
  if (h[0] != 0xFF || (b1 & 0xE0) != 0xE0 || (b1 & 0x06) == 0) return false;
  if ((b2 & 0xF0) == 0x00 || (b2 & 0xF0) == 0xF0 || (b2 & 0x0C) == 0x0C) return false;

  const int is25 = (b1 & 0xF0) == 0xE0;
  const int lay = 4 - ((b1 >> 1) & 3);
  const int ver = ((b1 >> 1) & 7) > 3 ? 1 : 2;
  const int row = is25 ? 2 : (ver == 1 ? 0 : 1);
  const int rate = kSampleRateHz[3 * row + ((b2 >> 2) & 3)];
  const int kbps = kBitrateKbps[ver == 1 ? 0 : 1][lay - 1][b2 >> 4];
  const int len = FrameReader::FrameLengthFor(lay, ver == 1 ? 0 : 1, kbps, rate);
  if (!InRange(len)) return false;

  if (state == 0) {
    if (is25 && (ver == 1 || lay != 3)) return false;
    if ((b3 & 3) == 2) return false;  // reserved emphasis
    mpeg25_ = is25;
    protection = !(b1 & 1);
    layer = lay;
    version = ver;
    private_bit = b2 & 1;
    mode = b3 >> 6;
    mode_extension_bound = (lay == 3 ? kBoundLayer3 : kBoundLayer12)[(b3 >> 4) & 3];
    sample_rate = rate;
  } else if (is25 != mpeg25_ || lay != layer || ver != version || rate != sample_rate) {
    return false;
  }
  padding = (b2 >> 1) & 1;
  bitrate = kbps;
  frame_length = len;
  return true;
}

int StreamProbe::Parse(const uint8_t* buffer, int len) {
  length = len;
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
  int state = 0;
  int first = 0, first_length = 0;
  while (offset <= len - 4) {
    if (!TestHeader(buffer + offset, state)) {
      state = 0;
      ++offset;
      continue;
    }
    if (state == 1) {
      layout.sample_rate = sample_rate;
      layout.samples_per_frame = SamplesPerFrame(layer, version == 1 ? 0 : 1);
      if (first_length <= len - first) ParseVbrHeader(buffer + first, size_t(first_length), &layout.vbr);
      return 1;
    }
    first = offset;
    first_length = PaddedLength();
    offset += first_length;
    state = 1;
  }
  return 0;
}

}  // namespace bramble
