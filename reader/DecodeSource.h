// The whole-source decode loop: frames found by the frame reader (with the
// two-frame confirmation of a file), the decoder re-initialised at the
// first synchronisation, each decoded frame's PCM handed to a sink.
#pragma once

#include <cstdint>

#include "reader/ByteSource.h"

namespace bramble {

class MpegDecoder;

class PcmSink {
 public:
  virtual ~PcmSink() = default;
  // At the first synchronisation, before any PCM; false stops the decode.
  virtual bool Start(int sample_rate) { return true; }
  // `values` interleaved stereo 16-bit samples of one frame that coded
  // `channels` channels (1 or 2). False stops the decode.
  virtual bool Write(const int16_t* pcm, int values, int channels) = 0;
  // A frame of `sample_frames` samples per channel that yielded no PCM.
  virtual void Rejected(int channels, int sample_frames) {}
};

struct DecodeStats {
  int frames = 0;             // frames found
  int rejected = 0;           // frames the decoder yielded nothing for
  int64_t sample_frames = 0;  // stereo pairs written
  int64_t expected_sample_frames = 0;  // frames x samples per frame
  int sample_rate = 0;
  int layer = 0;
  bool started = false;       // the sink was started
  bool sink_failed = false;
};

// Decodes `source` from its current place to its end. Returns true when at
// least one frame was synchronised and the sink accepted everything. With
// `gapless`, only the encoder's input is written (a LAME tag's delay and
// padding are trimmed); a frame trimmed away counts as one without PCM.
bool DecodeSource(ByteSource& source, MpegDecoder& decoder, PcmSink& sink, DecodeStats* stats,
                  bool gapless = false);

}  // namespace bramble
