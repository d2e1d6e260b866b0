// Layer III streams from the test writer through the whole decoder. What
// was put in (side information, scalefactors, quantised values, stereo
// mode, block types) gives, by the dequantisation and stereo formulas, the
// spectrum the decoder must reconstruct; that spectrum through the same
// filterbank is the reference PCM. Side information, reservoir,
// scalefactor, Huffman, requantisation and stereo faults all change the
// decoded PCM; the filterbank itself is judged by the test vectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/MpegDecoder.h"
#include "decoder/dsp/Kernels.h"
#include "tools/streams/Layer3Writer.h"

namespace bramble {
namespace {

using test::Layer3Channel;
using test::Layer3Frame;
using test::Layer3Header;
using test::Layer3Writer;

constexpr double kPi = 3.14159265358979323846;

// A spectrum-like granule: falling magnitudes, a tail of -1/0/1.
void FillValues(std::mt19937& rng, int32_t* v, int big_end, int tail_end, int max_mag) {
  std::uniform_int_distribution<int> unit(-1, 1), coin(0, 1);
  for (int i = 0; i < 576; ++i) {
    int m = 0;
    if (i < big_end) m = int(rng() % unsigned(max_mag * (big_end - i) / big_end + 1));
    else if (i < tail_end) m = unit(rng);
    v[i] = coin(rng) ? -m : m;
  }
}

Layer3Frame NewFrame(const Layer3Header& h) {
  Layer3Frame f;
  f.header = h;
  for (auto& gr : f.gr)
    for (auto& c : gr) c = test::LongGranule();
  return f;
}

// Line i of a granule by the dequantisation formula: 2^((global_gain -
// 210)/4), 2^(-(1 + scalefac_scale)/2) per scalefactor step with
// pre-emphasis, 2^(-2 subblock_gain) for short windows, sign(q) |q|^(4/3).
double Dequantised(const Layer3Header& h, const Layer3Channel& c, int i) {
  const GranuleInfo& gi = c.info;
  const SfbBounds& b = sfb_bounds[h.SfbRow()];
  const double q = c.values[i];
  const double v = std::pow(2.0, (gi.global_gain - kUnitGlobalGain) / 4.0) * (q < 0 ? -1.0 : 1.0) * std::pow(std::fabs(q), 4.0 / 3.0);
  const double step = (1 + gi.scalefac_scale) / 2.0;
  const bool is_short = gi.window_switching_flag && gi.block_type == 2;
  if (!is_short || (gi.mixed_block_flag && i < 36)) {
    int sfb = 0;
    while (b.l[sfb + 1] <= i) ++sfb;
    return v * std::pow(2.0, -step * (c.sf.l[sfb] + (gi.preflag ? pretab[sfb] : 0)));
  }
  int sfb = 0;
  while (3 * b.s[sfb + 1] <= i) ++sfb;
  const int w = std::min(2, (i - 3 * b.s[sfb]) / (b.s[sfb + 1] - b.s[sfb]));
  return v * std::pow(2.0, -2.0 * gi.subblock_gain[w] - step * c.sf.s[w][sfb]);
}

// MPEG-1 intensity: the left channel's share at position pos.
double IntensityLeft(int pos) { return std::sin(pos * kPi / 12) / (std::sin(pos * kPi / 12) + std::cos(pos * kPi / 12)); }

// The spectrum of granule gr after stereo processing. Intensity frames here
// code the right channel in long band 0 only, so intensity starts at band
// 1; a band's position is the right channel's scalefactor, 7 is illegal.
void ExpectedSpectrum(const Layer3Frame& f, int gr, float out[2][576]) {
  const Layer3Header& h = f.header;
  double xr[2][576] = {};
  for (int ch = 0; ch < h.channels(); ++ch)
    for (int i = 0; i < 576; ++i) xr[ch][i] = Dequantised(h, f.gr[gr][ch], i);
  const bool joint = h.mode == 1, ms = joint && (h.mode_extension & 2), is = joint && (h.mode_extension & 1);
  const SfbBounds& b = sfb_bounds[h.SfbRow()];
  const Layer3Channel& right = f.gr[gr][1];
  for (int i = 0; i < 576; ++i) {
    int sfb = 0;
    while (sfb < 21 && b.l[sfb + 1] <= i) ++sfb;
    const int pos = right.sf.l[std::min(sfb, 20)];
    double& l = xr[0][i];
    double& r = xr[1][i];
    if (is && sfb >= 1 && pos != 7) {
      double kl, kr;
      if (!h.lsf()) {
        kl = IntensityLeft(pos);
        kr = 1.0 - kl;
      } else {
        const double io = std::pow(2.0, (right.info.scalefac_compress & 1) ? -0.5 : -0.25);
        kl = pos & 1 ? std::pow(io, (pos + 1) / 2) : 1.0;
        kr = pos & 1 ? 1.0 : std::pow(io, pos / 2);
      }
      r = l * kr;
      l *= kl;
    } else if (ms) {
      const double m = l, s = r;
      l = (m + s) / std::sqrt(2.0);
      r = (m - s) / std::sqrt(2.0);
    }
  }
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 576; ++i) out[ch][i] = float(xr[ch][i]);
}

// The side information the decoder read against what the writer wrote.
void ExpectSideInfo(const SideInfo& got, const Layer3Frame& f, const std::string& what) {
  for (int gr = 0; gr < f.header.granules(); ++gr)
    for (int ch = 0; ch < f.header.channels(); ++ch) {
      auto fields = [](const GranuleInfo& g) {
        const int w = g.window_switching_flag;  // subblock gains are coded with window switching only
        return std::vector<int>{g.short_block, g.part2_3_length, g.big_values, g.global_gain, g.scalefac_compress,
                                w, g.block_type, g.mixed_block_flag, g.table_select[0], g.table_select[1],
                                w * g.subblock_gain[0], w * g.subblock_gain[1], w * g.subblock_gain[2],
                                g.region0_count, g.region1_count, g.preflag, g.scalefac_scale, g.count1table_select};
      };
      EXPECT_EQ(fields(got.ch[ch].gr[gr]), fields(f.gr[gr][ch].info)) << what << ", granule " << gr << " channel " << ch;
    }
}

// Every frame through DecodeFrame: the PCM of all of them, and each frame's
// result and PCM count; with `frames`, the side information checked too.
struct Decoded {
  std::vector<int16_t> pcm;
  std::vector<int> result, count;
};

Decoded Decode(const Layer3Writer& w, const std::vector<Layer3Frame>* frames = nullptr) {
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  const std::vector<uint8_t> s = w.Stream();
  const std::vector<size_t>& at = w.frame_offsets();
  Decoded out;
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2);
  for (size_t k = 0; k < at.size(); ++k) {
    const size_t end = k + 1 < at.size() ? at[k + 1] : s.size();
    out.result.push_back(d->DecodeFrame(s.data() + at[k], int(end - at[k]), pcm.data()));
    if (frames) ExpectSideInfo(d->layer3().side_info, (*frames)[k], "frame " + std::to_string(k));
    out.count.push_back(d->pcm().count);
    out.pcm.insert(out.pcm.end(), pcm.begin(), pcm.begin() + d->pcm().count);
  }
  return out;
}

// The expected spectra of the frames through the decoder's own filterbank.
std::vector<int16_t> ReferencePcm(const Layer3Writer& w, const std::vector<Layer3Frame>& frames) {
  auto state = std::make_unique<Layer3State>();
  auto synthesis = std::make_unique<SynthesisState>();
  synthesis->Reset();
  const std::vector<uint8_t> s = w.Stream();
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2), out;
  for (size_t k = 0; k < frames.size(); ++k) {
    FrameHeader h;
    EXPECT_TRUE(ParseFrameHeader(s.data() + w.frame_offsets()[k], &h));
    PcmOut frame_pcm{pcm.data(), 0};
    SynthesisSink sink{*synthesis, dsp::Selected(), h.stereo != 0, frame_pcm};
    for (int gr = 0; gr < frames[k].header.granules(); ++gr) {
      for (int ch = 0; ch < 2; ++ch) state->side_info.ch[ch].gr[gr] = frames[k].gr[gr][ch].info;
      Layer3Work work;
      ExpectedSpectrum(frames[k], gr, work.xr);
      ReconstructGranule(h, gr, *state, work, sink);
    }
    out.insert(out.end(), pcm.begin(), pcm.begin() + frame_pcm.count);
  }
  return out;
}

// Frames make(0), ..., make(n - 1) through one writer (and, as written, into
// `written`): decoded and reference PCM agree to float rounding (1 LSB in
// the history, a little more after windowing), and are not silence.
template <typename Make>
void ExpectRoundTrip(const std::string& what, int n, Make make, std::vector<Layer3Frame>* written = nullptr) {
  Layer3Writer w;
  std::vector<Layer3Frame> frames;
  for (int k = 0; k < n; ++k) {
    frames.push_back(make(k));
    ASSERT_TRUE(w.Add(frames.back())) << what << ", frame " << k << ": " << w.error();
  }
  if (written) *written = frames;
  const Decoded got = Decode(w, &frames);
  const std::vector<int16_t> want = ReferencePcm(w, frames);
  ASSERT_EQ(got.pcm.size(), want.size()) << what;
  int loudest = 0;
  for (size_t i = 0; i < want.size(); ++i) {
    ASSERT_LE(std::abs(got.pcm[i] - want[i]), 2) << what << ": value " << i << " of " << want.size();
    loudest = std::max(loudest, std::abs(int(want[i])));
  }
  EXPECT_GT(loudest, 300) << what;
}

// ---- headers and block types ----

struct HeaderCase {
  const char* what;
  Layer3Header h;  // version, rate index, bit-rate index, mode, extension, CRC, padding
};

const HeaderCase kHeaderCases[] = {
    {"MPEG-1 44.1 kHz stereo, CRC", {1, 0, 13, 0, 0, true, false}},
    {"MPEG-1 48 kHz dual channel, padded", {1, 1, 14, 2, 0, false, true}},
    {"MPEG-1 32 kHz single channel, CRC", {1, 2, 11, 3, 0, true, false}},
    {"MPEG-2 22.05 kHz stereo, CRC", {2, 0, 14, 0, 0, true, false}},
    {"MPEG-2 16 kHz single channel", {2, 2, 12, 3, 0, false, true}},
    {"MPEG-2.5 12 kHz stereo, CRC", {25, 1, 14, 0, 0, true, false}},
    {"MPEG-2.5 8 kHz single channel", {25, 2, 10, 3, 0, false, false}},
};

// Long (pre-emphasis in LSF and in odd MPEG-1 frames), short, mixed, start and stop blocks in
// turn; scalefactors each layout can carry; escapes; in MPEG-1 frames after
// the first, scalefactor groups of granule 1 reused where both granules
// have long blocks. Frames alternate small and large, so main data reaches
// back into earlier frames.
Layer3Frame BlocksFrame(const HeaderCase& c, int k, std::mt19937& rng) {
  Layer3Frame f = NewFrame(c.h);
  const bool lsf = c.h.lsf();
  int kinds[2][2];
  for (int gr = 0; gr < f.header.granules(); ++gr)
    for (int ch = 0; ch < f.header.channels(); ++ch) {
      Layer3Channel& g = f.gr[gr][ch];
      int kind = kinds[gr][ch] = (k + 2 * gr + 3 * ch) % 5;
      if (kind == 2 && c.h.version == 25) kind = kinds[gr][ch] = 1;  // no band starts at line 36 at 8 kHz
      g.info.global_gain = 150 + int(rng() % 24);
      g.info.scalefac_scale = (k + ch) & 1;
      g.info.region0_count = int(rng() % 16);
      g.info.region1_count = int(rng() % 8);
      FillValues(rng, g.values, k & 1 ? 40 : 160, k & 1 ? 100 : 300, k & 1 ? 6 : 24);
      for (int b = 0; b < 21; ++b) g.sf.l[b] = int(rng() % (lsf ? (b < 6 ? 8 : 4) : (b < 11 ? 16 : 8)));
      for (int b = 0; b < 12; ++b)
        for (int w = 0; w < 3; ++w) g.sf.s[w][b] = int(rng() % (lsf ? (b < 6 ? 4 : 2) : (b < 6 ? 16 : 8)));
      if (kind == 0 && (lsf || (k & 1))) {
        g.info.preflag = 1;
        if (lsf)  // the pre-emphasis layouts code bands 11 on with no bits
          for (int b = 6; b < 21; ++b) g.sf.l[b] = b < 11 ? int(rng() % 4) : 0;
      }
      if (kind == 0) continue;
      g.info.window_switching_flag = 1;
      g.info.block_type = kind == 3 ? 1 : kind == 4 ? 3 : 2;
      g.info.mixed_block_flag = kind == 2;
      for (int w = 0; w < 3; ++w) g.info.subblock_gain[w] = int(rng() % 8);
      if (kind == 1)
        for (int& v : g.sf.l) v = 0;
      if (kind == 2)
        for (int b = lsf ? 6 : 8; b < 23; ++b) g.sf.l[b] = 0;
      if (kind == 2)
        for (auto& w : g.sf.s) w[0] = w[1] = w[2] = 0;
    }
  if (!(k & 1)) {
    f.gr[0][0].values[2] = 8206;  // only the 13-bit escape tables carry it
    f.gr[0][0].values[5] = -8191;
  }
  if (!lsf && k > 0)
    for (int ch = 0; ch < f.header.channels(); ++ch)
      if (kinds[0][ch] != 1 && kinds[0][ch] != 2 && kinds[1][ch] != 1 && kinds[1][ch] != 2)
        for (int g = 0; g < 4; ++g) f.scfsi[ch][g] = int(rng() & 1);
  return f;
}

TEST(Layer3RoundTrip, HeadersAndBlockTypes) {
  std::mt19937 rng(7);
  for (const HeaderCase& c : kHeaderCases) {
    std::vector<Layer3Frame> frames;
    ExpectRoundTrip(c.what, 4, [&](int k) { return BlocksFrame(c, k, rng); }, &frames);
    EXPECT_TRUE(std::any_of(frames.begin(), frames.end(), [](const Layer3Frame& f) { return f.main_data_begin > 0; }))
        << c.what << ": no frame's main data reaches back";
  }
}

// Tables the writer would not pick: count1 table B, and the empty tables
// 0, 4 and 14 over a region of zeros.
TEST(Layer3RoundTrip, ChosenTables) {
  std::mt19937 rng(4);
  for (int empty : {0, 4, 14}) {
    ExpectRoundTrip("empty table " + std::to_string(empty), 1, [&](int) {
      Layer3Frame f = NewFrame({1, 0, 14});
      for (auto& gr : f.gr)
        for (auto& c : gr) {
          FillValues(rng, c.values, 90, 400, 30);
          c.info.global_gain = 165;
          c.info.region0_count = 7;  // regions from line 36 and 90 at 44.1 kHz
          c.info.region1_count = 4;
          for (int i = 36; i < 90; ++i) c.values[i] = 0;
          c.auto_tables = false;
          c.info.table_select[0] = 24;
          c.info.table_select[1] = empty;
          c.info.table_select[2] = 24;
          c.info.count1table_select = 1;
        }
      return f;
    });
  }
}

// ---- stereo modes ----

struct StereoCase {
  const char* what;
  int version, mode, mode_extension, intensity_scale;
};

const StereoCase kStereoCases[] = {
    {"MPEG-1 joint, neither", 1, 1, 0, 0},       {"MPEG-1 mid/side", 1, 1, 2, 0},
    {"MPEG-1 intensity", 1, 1, 1, 0},            {"MPEG-1 mid/side and intensity", 1, 1, 3, 0},
    {"MPEG-2 mid/side", 2, 1, 2, 0},             {"MPEG-2 intensity, scale 0", 2, 1, 1, 0},
    {"MPEG-2 both, intensity scale 1", 2, 1, 3, 1}, {"MPEG-2.5 intensity, scale 1", 25, 1, 1, 1},
};

TEST(Layer3RoundTrip, StereoModes) {
  std::mt19937 rng(9);
  for (const StereoCase& c : kStereoCases) {
    ExpectRoundTrip(c.what, 2, [&](int) {
      Layer3Frame f = NewFrame({c.version, 0, 14, c.mode, c.mode_extension});
      const SfbBounds& b = sfb_bounds[f.header.SfbRow()];
      for (int gr = 0; gr < f.header.granules(); ++gr) {
        Layer3Channel& left = f.gr[gr][0];
        Layer3Channel& right = f.gr[gr][1];
        left.info.global_gain = right.info.global_gain = 160;
        FillValues(rng, left.values, 300, b.l[21], 20);
        for (int i = b.l[21]; i < 576; ++i) left.values[i] = 0;
        if (!(c.mode_extension & 1)) {
          FillValues(rng, right.values, 200, 400, 12);
          continue;
        }
        // Intensity from band 1: every position, 7 (illegal) in two bands.
        right.values[1] = -3;
        for (int sfb = 0; sfb < 21; ++sfb) right.sf.l[sfb] = sfb == 5 || sfb == 13 ? 7 : int(rng() % 7);
        if (f.header.lsf()) {
          // slen (3, 3, 3, 0): 7 is each band's illegal position.
          right.auto_scalefac_compress = false;
          right.info.scalefac_compress = ((3 * 36 + 3 * 6 + 3) << 1) | c.intensity_scale;
        }
      }
      return f;
    });
  }
}

// A mixed block's two long sub-bands meet its short ones at line 36: only
// the boundary between sub-bands 0 and 1 is antialiased, the short bands
// are reordered from band 3 on, and intensity stereo of a right channel
// that is silent from long band 3 on covers long bands 3 to 7 (the short
// positions here are the illegal 7).
TEST(Layer3MixedBlocks, TheLongShortBoundary) {
  GranuleInfo gi = {};
  gi.short_block = gi.window_switching_flag = gi.mixed_block_flag = 1;
  gi.block_type = 2;
  const SfbBounds& b = sfb_bounds[0];  // MPEG-1, 44.1 kHz
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  float xr[2][576], aa[576];
  for (auto& ch : xr)
    for (float& x : ch) x = u(rng);
  Antialias(gi, 0, dsp::Selected(), xr[0], aa);
  const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
  for (int i = 0; i < 576; ++i) {
    double want = xr[0][i];
    if (i >= 36) {
      int sfb = 3;
      while (3 * b.s[sfb + 1] <= i) ++sfb;
      const int width = b.s[sfb + 1] - b.s[sfb], k = (i - 3 * b.s[sfb]) / 3, w = (i - 3 * b.s[sfb]) % 3;
      want = xr[0][3 * b.s[sfb] + w * width + k];
    } else if (i >= 10 && i < 26) {
      const int k = i < 18 ? 17 - i : i - 18;
      const double lo = xr[0][17 - k], hi = xr[0][18 + k], n = std::sqrt(1 + c[k] * c[k]);
      want = i < 18 ? (lo - hi * c[k]) / n : (hi + lo * c[k]) / n;
    }
    ASSERT_NEAR(aa[i], want, 1e-6) << "line " << i;
  }

  ScaleFactors right = {};
  for (int sfb = 0; sfb < 8; ++sfb) right.l[sfb] = sfb % 7;
  for (auto& w : right.s)
    for (int32_t& sf : w) sf = 7;
  for (int i = b.l[3]; i < 576; ++i) xr[1][i] = 0.0f;
  float out[2][576];
  std::memcpy(out, xr, sizeof out);
  StereoMpeg1({false, true}, gi, b, right, out);
  for (int i = 0; i < 576; ++i) {
    int sfb = 0;
    while (b.l[sfb + 1] <= i) ++sfb;
    const bool is = i >= b.l[3] && i < 36;
    const double kl = is ? IntensityLeft(right.l[sfb]) : 1.0;
    ASSERT_NEAR(out[0][i], xr[0][i] * kl, 1e-6) << "line " << i;
    ASSERT_NEAR(out[1][i], is ? xr[0][i] * (1.0 - kl) : xr[1][i], 1e-6) << "line " << i;
  }
}

// ---- frames that yield no PCM ----

// A first frame whose main data begins one byte before the stream has none
// to decode (an LSF frame still counts as handled); the next frame finds
// its main data.
TEST(Layer3Frames, ReservoirShortfallAfterInit) {
  for (int version : {1, 2}) {
    Layer3Writer w;
    std::mt19937 rng(2);
    for (int k = 0; k < 3; ++k) {
      Layer3Frame f = NewFrame({version, 0, 9});
      for (auto& gr : f.gr)
        for (auto& c : gr) FillValues(rng, c.values, 20, 40, 5);
      if (k == 0) f.main_data_begin = 1;
      ASSERT_TRUE(w.Add(f)) << w.error();
    }
    const Decoded d = Decode(w);
    const int per_frame = version == 1 ? 2304 : 1152;
    EXPECT_EQ(d.result[0], version == 1 ? 0 : int(w.frame_offsets()[1])) << "version " << version;
    EXPECT_EQ(d.count, (std::vector<int>{0, per_frame, per_frame})) << "version " << version;
  }
}

// Window switching with block type 0 is invalid: the frame yields nothing,
// but its main data stays in the reservoir for the next frame.
TEST(Layer3Frames, InvalidBlockTypeSkipsTheFrameButKeepsItsData) {
  for (int version : {1, 2}) {
    std::mt19937 rng(8);
    const Layer3Frame silent = NewFrame({version, 0, 14});
    Layer3Frame bad = silent, last = silent;
    for (auto& gr : bad.gr)
      for (auto& c : gr) FillValues(rng, c.values, 200, 300, 30);
    bad.gr[0][1].info.window_switching_flag = 1;
    for (auto& gr : last.gr)
      for (auto& c : gr) c.info.global_gain = 160, FillValues(rng, c.values, 200, 400, 30);
    Layer3Writer with_bad, with_silent;
    for (Layer3Writer* w : {&with_bad, &with_silent}) {
      Layer3Frame a = silent, b = w == &with_bad ? bad : silent, c = last;
      ASSERT_TRUE(w->Add(a) && w->Add(b) && w->Add(c)) << w->error();
      ASSERT_GT(c.main_data_begin, 0) << "the last frame's data starts in the one before";
    }
    const Decoded d = Decode(with_bad), ref = Decode(with_silent);
    EXPECT_EQ(d.count[1], 0) << "version " << version;
    EXPECT_EQ(d.result[1], version == 1 ? 0 : int(with_bad.frame_offsets()[2] - with_bad.frame_offsets()[1]));
    ASSERT_EQ(d.count[2], ref.count[2]);
    const std::vector<int16_t> tail(d.pcm.end() - d.count[2], d.pcm.end());
    const std::vector<int16_t> ref_tail(ref.pcm.end() - ref.count[2], ref.pcm.end());
    EXPECT_GT(*std::max_element(ref_tail.begin(), ref_tail.end()), 100);
    EXPECT_EQ(tail, ref_tail) << "version " << version;
  }
}

}  // namespace
}  // namespace bramble
