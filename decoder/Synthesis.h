// Polyphase synthesis: 32 sub-band samples per channel in, 32 interleaved
// 16-bit stereo pairs out, for all three layers.
#pragma once

#include <cstdint>

namespace bramble {

namespace dsp {
struct Kernels;
}

// What the filterbank keeps across calls, frames and layers.
struct SynthesisState {
  // Per channel 1024 values, 2 halves x 8 rows x 16 slots x 4 values; each
  // on a 128-byte boundary.
  alignas(128) int16_t history[2][1024];
  // Loud passages drive V beyond what the 16-bit history holds. Beside it
  // each channel keeps, per slot, the 32 values V is made of (X[0..31] of
  // the matrixing, scaled, unrounded), and while a channel's last 16 V
  // vectors include a limited value its output is windowed from them in
  // floating point instead.
  alignas(128) float unlimited[2][16][32];
  // Per channel: how many more calls, the current one included, window a
  // history holding a limited value (16 after a call that limited one).
  int32_t limited_calls[2];
  int32_t half;  // the half and slot the next call writes
  int32_t slot;
  float pcm_scale;
  // Every call windows the unlimited history, scaled to full scale 2^15;
  // the 16-bit history is not kept. Reset leaves it as it is.
  bool full_accuracy = false;

  // Silence, the write position of a new stream.
  void Reset();
};

// The caller's PCM area for one frame and the 16-bit values written to it.
struct PcmOut {
  int16_t* data;
  int32_t count;
};

// Appends 64 values (32 pairs) for one time slot of s0 and s1; a mono
// stream takes both values of each pair from channel 0. Writes nothing when
// the frame's PCM area is full.
void Synthesize(SynthesisState& st, const dsp::Kernels& k, bool stereo, const float* s0, const float* s1,
                PcmOut& pcm);

// Where a layer's sub-band samples go: the filterbank and the frame's PCM.
struct SynthesisSink {
  SynthesisState& state;
  const dsp::Kernels& kernels;
  bool stereo;
  PcmOut& pcm;
  void operator()(const float* s0, const float* s1) { Synthesize(state, kernels, stereo, s0, s1, pcm); }
};

}  // namespace bramble
