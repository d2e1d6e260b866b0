#include "reader/DecodeSource.h"

#include "decoder/MpegDecoder.h"
#include "reader/FrameReader.h"

namespace bramble {

namespace {
// Starts the sink where the plug-in opens its output device.
class SinkStarter final : public LockOnListener {
 public:
  SinkStarter(PcmSink& sink, DecodeStats& stats) : sink_(sink), stats_(stats) {}

  bool LockedOn(const FrameReader& reader) override {
    stats_.started = true;
    stats_.sample_rate = reader.sample_rate();
    stats_.layer = reader.frame_header().layer;
    if (!sink_.Start(reader.sample_rate())) {
      stats_.sink_failed = true;
      return false;
    }
    return true;
  }

 private:
  PcmSink& sink_;
  DecodeStats& stats_;
};
}  // namespace

bool DecodeSource(ByteSource& source, MpegDecoder& decoder, PcmSink& sink, DecodeStats* out, bool gapless) {
  DecodeStats stats;
  // Twice the largest block, as the plug-in's.
  alignas(16) int16_t pcm[FrameReader::kPcmBufferBytes / 2] = {};
  SinkStarter starter(sink, stats);
  FrameReader reader;
  reader.SetListener(&starter);
  reader.Attach(&source, &decoder);
  reader.SetGapless(gapless);
  for (;;) {
    const int r = reader.SynHeader(pcm);
    if (r == -1) break;
    ++stats.frames;
    const FrameHeader& header = reader.frame_header();
    const int per_frame = header.samples_per_frame;
    const int channels = header.stereo ? 2 : 1;
    stats.expected_sample_frames += per_frame;
    int values = r == 0 ? decoder.pcm_bytes() / 2 : 0;
    if (values > FrameReader::kPcmBufferBytes / 2) values = FrameReader::kPcmBufferBytes / 2;
    if (values <= 0) {
      ++stats.rejected;
      sink.Rejected(channels, per_frame);
      continue;
    }
    if (!sink.Write(pcm, values, channels)) {
      stats.sink_failed = true;
      break;
    }
    stats.sample_frames += values / 2;
  }
  if (out) *out = stats;
  return stats.started && !stats.sink_failed;
}

}  // namespace bramble
