// Polyphase synthesis: matrixing of 32 sub-band samples per channel into the
// V vector (stored as 16-bit integers in the per-channel history, and
// unlimited beside it) and windowing of the history into 32 interleaved
// stereo PCM pairs. While a channel's window holds a value the 16-bit
// history had to limit, that channel is windowed from the unlimited history;
// in full accuracy every call is.
#include "decoder/Synthesis.h"

#include <cstring>

#include "decoder/dsp/Kernels.h"

namespace bramble {

void SynthesisState::Reset() {
  std::memset(history, 0, sizeof history);
  std::memset(unlimited, 0, sizeof unlimited);
  limited_calls[0] = limited_calls[1] = 0;
  half = 0;
  slot = 15;
  pcm_scale = 32767.0f;
}

namespace {

// Full scale of 16-bit PCM, 2^15, as the compliance references take it
// (the default mode's 32767 costs up to 1 LSB on loud passages).
constexpr float kFullScale = 32768.0f;

void SynthesizeExact(SynthesisState& st, const dsp::Kernels& k, bool stereo, const float* s0, const float* s1,
                     int slot, int16_t* out) {
  for (int ch = 0; ch < 2; ++ch) {
    float* x = st.unlimited[ch][slot];
    k.dct32(ch == 0 ? s0 : s1, x);
    for (int i = 0; i < 32; ++i) x[i] *= kFullScale;
  }
  k.window_exact(st.unlimited[0], slot, out);
  if (stereo) {
    k.window_exact(st.unlimited[1], slot, out + 1);
  } else {
    for (int n = 0; n < 64; n += 2) out[n + 1] = out[n];
  }
}

void SynthesizeLimited(SynthesisState& st, const dsp::Kernels& k, bool stereo, const float* s0, const float* s1,
                       int half, int slot, int16_t* out) {
  if (k.matrix(s0, st.pcm_scale, st.history[0], half, slot, st.unlimited[0][slot])) st.limited_calls[0] = 16;
  if (k.matrix(s1, st.pcm_scale, st.history[1], half, slot, st.unlimited[1][slot])) st.limited_calls[1] = 16;
  const int right = stereo ? 1 : 0;
  k.window(st.history[0], st.history[right], half, slot, out);
  if ((st.limited_calls[0] | st.limited_calls[1]) != 0) {
    if (st.limited_calls[0] > 0) k.window_exact(st.unlimited[0], slot, out);
    if (st.limited_calls[right] > 0) k.window_exact(st.unlimited[right], slot, out + 1);
    for (int ch = 0; ch < 2; ++ch)
      if (st.limited_calls[ch] > 0) --st.limited_calls[ch];
  }
}

}  // namespace

void Synthesize(SynthesisState& st, const dsp::Kernels& k, bool stereo, const float* s0, const float* s1,
                PcmOut& pcm) {
  // A frame never yields more than 4608 bytes; refuse rather than write past them.
  constexpr int kMaxValues = 4608 / 2;
  if (pcm.data == nullptr || pcm.count < 0 || pcm.count > kMaxValues - 64) return;
  const int half = st.half & 1, slot = st.slot & 15;
  int16_t* out = pcm.data + pcm.count;
  if (st.full_accuracy)
    SynthesizeExact(st, k, stereo, s0, s1, slot, out);
  else
    SynthesizeLimited(st, k, stereo, s0, s1, half, slot, out);
  pcm.count += 64;
  st.slot = (slot + 1) & 15;
  st.half = 1 - half;
}

}  // namespace bramble
