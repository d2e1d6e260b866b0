// Arbitrary bytes through the frame reader and the decoder: the first byte
// picks file or stream reading, the rest is the source.
#include <cstddef>
#include <cstdint>

#include "decoder/MpegDecoder.h"
#include "plugin/reader/ByteSource.h"
#include "plugin/reader/FrameReader.h"
#include "plugin/reader/StreamProbe.h"

namespace {

class FuzzStream : public bramble::MemorySource {
 public:
  using MemorySource::MemorySource;
  bool IsStream() const override { return true; }
};

constexpr int kMaxFrames = 200;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bramble::MpegDecoder* decoder = new bramble::MpegDecoder();
  alignas(16) static int16_t pcm[bramble::FrameReader::kPcmBufferBytes / 2];
  if (size < 1) return 0;
  const bool stream = data[0] & 1;
  ++data;
  --size;

  bramble::StreamProbe probe;
  probe.Parse(data, int(size));

  bramble::FrameReader reader;
  bramble::MemorySource file(data, size);
  int bitrate = 0, channels = 0, rate = 0;
  reader.ScanInfo(file, &bitrate, &channels, &rate);

  FuzzStream net(data, size);
  bramble::ByteSource* source = stream ? static_cast<bramble::ByteSource*>(&net) : &file;
  decoder->Init();
  reader.Attach(source, decoder);
  for (int i = 0; i < kMaxFrames; ++i) {
    if (reader.SynHeader(pcm) == -1) break;
    if (decoder->pcm_bytes() < 0 || decoder->pcm_bytes() > int(sizeof pcm)) __builtin_trap();
  }
  return 0;
}
