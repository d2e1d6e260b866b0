#include "plugin/reader/DecodeSource.h"

#include "decoder/MpegDecoder.h"
#include "decoder/Tables.h"
#include "plugin/reader/FrameReader.h"

namespace bramble {

namespace {
// Starts the sink where the plug-in opens its output device.
class SinkReader : public FrameReader {
 public:
  SinkReader(PcmSink& sink, DecodeStats& stats) : sink_(sink), stats_(stats) {}

 protected:
  int OpenOutput() override {
    FrameReader::OpenOutput();
    stats_.started = true;
    stats_.sample_rate = sample_rate();
    stats_.layer = layer();
    if (!sink_.Start(sample_rate())) {
      stats_.sink_failed = true;
      return -1;
    }
    return 0;
  }

 private:
  PcmSink& sink_;
  DecodeStats& stats_;
};

// The plug-in's PCM buffer: twice the largest block.
alignas(16) int16_t g_pcm[FrameReader::kPcmBufferBytes / 2];
}  // namespace

bool DecodeSource(ByteSource& source, MpegDecoder& decoder, PcmSink& sink, DecodeStats* out) {
  DecodeStats stats;
  SinkReader reader(sink, stats);
  reader.Attach(&source, &decoder);
  for (;;) {
    const int r = reader.SynHeader(g_pcm);
    if (r == -1) break;
    ++stats.frames;
    const int per_frame = SamplesPerFrame(reader.layer(), reader.version_bit() ? 0 : 1);
    const int channels = (reader.frame()[3] >> 6) == 3 ? 1 : 2;
    stats.expected_sample_frames += per_frame;
    int values = r == 0 ? decoder.pcm_bytes() / 2 : 0;
    if (values > FrameReader::kPcmBufferBytes / 2) values = FrameReader::kPcmBufferBytes / 2;
    if (values <= 0) {
      ++stats.rejected;
      sink.Rejected(channels, per_frame);
      continue;
    }
    if (!sink.Write(g_pcm, values, channels)) {
      stats.sink_failed = true;
      break;
    }
    stats.sample_frames += values / 2;
  }
  if (out) *out = stats;
  return stats.started && !stats.sink_failed;
}

}  // namespace bramble
