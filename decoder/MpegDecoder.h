// MPEG-1, MPEG-2 (low sampling frequencies) and MPEG-2.5 audio decoder,
// Layers I, II and III, producing interleaved 16-bit stereo PCM.
//
// A facade over the records one stream keeps between frames: the current
// header, the frame body, the Layer III state, the synthesis state and the
// embedded data channel. The stages that work on them are free functions
// taking what they read and write (decoder/Layer3.h, decoder/Layer12.h,
// decoder/Synthesis.h).
#pragma once

#include <cstdint>

#include "decoder/BitStream.h"
#include "decoder/EmbeddedData.h"
#include "decoder/FrameHeader.h"
#include "decoder/Layer3.h"
#include "decoder/Synthesis.h"

namespace bramble {

class MpegDecoder {
 public:
  // The longest frame body a caller hands over, and the most PCM a frame yields.
  static constexpr int kFrameBodyBytes = kMaxFreeFrameLength;
  static constexpr int kMaxPcmBytesPerFrame = 4608;

  MpegDecoder();
  MpegDecoder(const MpegDecoder&) = delete;
  MpegDecoder& operator=(const MpegDecoder&) = delete;

  // Resets the per-stream state; builds the process-wide tables once.
  void Init();

  // Full accuracy: exact transform constants and a float synthesis
  // throughout, each sample rounded to nearest. Off (the default), the
  // 16-bit history and Q14 window. Set before a stream's first frame; Init
  // keeps it.
  void SetFullAccuracy(bool on) { synthesis_.full_accuracy = on; }
  bool full_accuracy() const { return synthesis_.full_accuracy; }

  // Decodes one frame (4 header bytes then the body) into `pcm`, which
  // holds kMaxPcmBytesPerFrame bytes. Returns the frame's length in bytes,
  // or 0 when the frame yielded nothing. `length` is the number of bytes
  // available at `frame`; a frame longer than that is rejected.
  int DecodeFrame(const uint8_t* frame, int length, void* pcm);

  // The free-format frame length (without padding) the stream's reader
  // locked on; 0: a bit-rate index 0 header reads as the row's highest rate.
  void SetFreeFormatLength(int length) { free_length_ = length; }

  // PCM bytes the last DecodeFrame produced.
  int pcm_bytes() const { return 2 * pcm_.count; }

  // The header step of DecodeFrame: parses the header and copies the body;
  // rejects a frame whose length exceeds `available` bytes.
  bool ParseHeader(const uint8_t* frame, int available = kFrameBodyBytes);

  // Cuts the last frame's PCM to its first `bytes` (gapless trim).
  void KeepPcmBytes(int bytes) { pcm_.count = bytes / 2; }

  const FrameHeader& header() const { return header_; }
  const FrameBody& body() const { return body_; }
  const Layer3State& layer3() const { return layer3_; }
  const PcmOut& pcm() const { return pcm_; }
  // The information-block reader arms the channel with its key.
  EmbeddedChannel& embedded() { return embedded_; }
  const EmbeddedChannel& embedded() const { return embedded_; }

 private:
  FrameHeader header_;
  FrameBody body_;
  Layer3State layer3_;
  SynthesisState synthesis_;
  EmbeddedChannel embedded_;
  PcmOut pcm_;
  const dsp::Kernels* kernels_;
  int free_length_ = 0;
};

}  // namespace bramble
