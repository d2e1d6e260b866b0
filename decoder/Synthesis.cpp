// Polyphase synthesis: matrixing of 32 sub-band samples per channel into the
// V vector (stored as 16-bit integers in the per-channel history, and
// unlimited beside it) and windowing of the history into 32 interleaved
// stereo PCM pairs. While a channel's window holds a value the 16-bit
// history had to limit, that channel is windowed from the unlimited history.
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

void Synthesize(SynthesisState& st, const dsp::Kernels& k, bool stereo, const float* s0, const float* s1,
                PcmOut& pcm) {
  // A frame never yields more than 4608 bytes; refuse rather than write past them.
  constexpr int kMaxValues = 4608 / 2;
  if (pcm.data == nullptr || pcm.count < 0 || pcm.count > kMaxValues - 64) return;
  const int half = st.half & 1, slot = st.slot & 15;
  if (k.matrix(s0, st.pcm_scale, st.history[0], half, slot, st.unlimited[0][slot])) st.limited_calls[0] = 16;
  if (k.matrix(s1, st.pcm_scale, st.history[1], half, slot, st.unlimited[1][slot])) st.limited_calls[1] = 16;
  const int right = stereo ? 1 : 0;
  int16_t* out = pcm.data + pcm.count;
  k.window(st.history[0], st.history[right], half, slot, out);
  if ((st.limited_calls[0] | st.limited_calls[1]) != 0) {
    if (st.limited_calls[0] > 0) k.window_exact(st.unlimited[0], slot, out);
    if (st.limited_calls[right] > 0) k.window_exact(st.unlimited[right], slot, out + 1);
    for (int ch = 0; ch < 2; ++ch)
      if (st.limited_calls[ch] > 0) --st.limited_calls[ch];
  }
  pcm.count += 64;
  st.slot = (slot + 1) & 15;
  st.half = 1 - half;
}

}  // namespace bramble
