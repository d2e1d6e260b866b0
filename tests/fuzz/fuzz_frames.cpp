// Arbitrary bytes through the frame reader and the decoder: the first byte
// picks file or stream reading (bit 0), gapless trimming (bit 1) and full
// accuracy (bit 2), the rest is the source. The tag and encoder-header readers see the same
// bytes, and the length and seek arithmetic what they made of them (a
// file whose rate varies is walked, free format locks on its next header,
// a single frame that ends the bytes is confirmed by that end).
#include <cstddef>
#include <cstdint>

#include "decoder/MpegDecoder.h"
#include "reader/ByteSource.h"
#include "reader/FrameReader.h"
#include "reader/GaplessTrim.h"
#include "reader/SourceLayout.h"
#include "reader/StreamProbe.h"
#include "reader/TagSpans.h"
#include "reader/VbrHeader.h"

namespace {

class FuzzStream : public bramble::MemorySource {
 public:
  using MemorySource::MemorySource;
  bool IsStream() const override { return true; }
};

constexpr int kMaxFrames = 200;

void CheckLayout(const bramble::SourceLayout& layout, int byte_rate, int ms) {
  bramble::AudioLengthMs(layout, layout.source_bytes, byte_rate * 8, true);
  bramble::AverageBitrate(layout);
  const long offset = bramble::SeekOffset(layout, byte_rate, ms, true);
  if (offset < 0) __builtin_trap();
  // A walk's index and seeks stay inside the source.
  const bramble::FrameIndex& index = layout.index;
  if (index.frames > 0 && (index.entries < 1 || index.end > layout.source_bytes || offset > long(index.end)))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bramble::MpegDecoder* decoder = new bramble::MpegDecoder();
  static bramble::VbrHeader* header = new bramble::VbrHeader();
  alignas(16) static int16_t pcm[bramble::FrameReader::kPcmBufferBytes / 2];
  if (size < 1) return 0;
  const bool stream = data[0] & 1;
  const bool gapless = data[0] & 2;
  decoder->SetFullAccuracy(data[0] & 4);
  ++data;
  --size;

  bramble::Id3v2TagSize(data, size);
  bramble::TrailingTagSize(data, size, uint32_t(size));
  bramble::ParseVbrHeader(data, size, header);
  const uint32_t offset = bramble::VbrSeekOffset(*header, size ? data[size - 1] / 200.0 : 0.5, uint32_t(size));
  if (header->bytes == 0 && offset > size) __builtin_trap();
  const bramble::GaplessTrim trim = bramble::GaplessTrim::For(*header, 1152);
  int skip = 0, keep = 0;
  trim.Keep(int64_t(size) * 37, 1152, &skip, &keep);
  if (skip < 0 || keep < 0 || skip + keep > 1152) __builtin_trap();

  bramble::StreamProbe probe;
  probe.Parse(data, int(size));
  CheckLayout(probe.layout, probe.bitrate * 125, int(size) * 13);

  bramble::FrameReader reader;
  bramble::MemorySource file(data, size);
  int bitrate = 0, channels = 0, rate = 0;
  reader.ScanInfo(file, &bitrate, &channels, &rate);
  CheckLayout(reader.layout(), reader.byte_rate(), int(size) * 7);

  FuzzStream net(data, size);
  bramble::ByteSource* source = stream ? static_cast<bramble::ByteSource*>(&net) : &file;
  decoder->Init();
  reader.Attach(source, decoder);
  reader.SetGapless(gapless);
  for (int i = 0; i < kMaxFrames; ++i) {
    if (i == kMaxFrames / 2) {
      const int ms = int(size) * 3;
      reader.SeekSource(bramble::SeekOffset(reader.layout(), reader.byte_rate(), ms, gapless));
    }
    if (reader.SynHeader(pcm) == -1) break;
    if (decoder->pcm_bytes() < 0 || decoder->pcm_bytes() > int(sizeof pcm)) __builtin_trap();
  }
  return 0;
}
