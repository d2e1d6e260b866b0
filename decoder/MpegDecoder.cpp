#include "decoder/MpegDecoder.h"

#include <cstring>

#include "decoder/Layer12.h"
#include "decoder/dsp/Kernels.h"
#include "decoder/tables/BuiltTables.h"

namespace bramble {

MpegDecoder::MpegDecoder() : kernels_(&dsp::Selected()) {
  std::memset(&layer3_, 0, sizeof layer3_);
  std::memset(&embedded_, 0, sizeof embedded_);
  std::memset(&body_, 0, sizeof body_);
  pcm_ = PcmOut{nullptr, 0};
  synthesis_.Reset();
}

void MpegDecoder::Init() {
  synthesis_.Reset();
  BuildTables();

  BitReservoir& r = layer3_.reservoir;
  r.total = 0;
  r.write_index = 0;
  r.read_pos = 0;
  std::memset(&layer3_.overlap, 0, sizeof layer3_.overlap);
  embedded_.ring_index = 0;
}

int MpegDecoder::DecodeFrame(const uint8_t* frame, int length, void* pcm) {
  pcm_ = PcmOut{static_cast<int16_t*>(pcm), 0};
  // A rejected frame must not hand the previous frame's embedded bytes on.
  embedded_.bytes = 0;
  if (length < 4 || !ParseHeader(frame, length)) return 0;
  SynthesisSink out{synthesis_, *kernels_, header_.stereo != 0, pcm_};
  int ok = 0;
  switch (header_.layer) {
    case 3: ok = DecodeLayer3(header_, body_, layer3_, embedded_, out); break;
    case 2: ok = DecodeLayer2(header_, body_, out); break;
    default: ok = DecodeLayer1(header_, body_, out); break;
  }
  return ok ? header_.frame_bytes : 0;
}

bool MpegDecoder::ParseHeader(const uint8_t* h, int available) {
  FrameHeader f;
  if (!ParseFrameHeader(h, &f, free_length_) || f.frame_bytes > available) return false;
  header_ = f;
  std::memcpy(body_.bytes, h + 4, size_t(f.frame_bytes - 4));
  body_.bit_pos = f.BodyStartBit();
  return true;
}

}  // namespace bramble
