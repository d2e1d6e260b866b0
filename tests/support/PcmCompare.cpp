#include "tests/support/PcmCompare.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "tests/support/TestFiles.h"

namespace bramble {
namespace test {

bool CollectingSink::Start(int rate) {
  sample_rate = rate;
  return true;
}

bool CollectingSink::Write(const int16_t* data, int values, int channels) {
  pcm.insert(pcm.end(), data, data + values);
  frames.push_back({channels, values / 2, true});
  return true;
}

void CollectingSink::Rejected(int channels, int sample_frames) {
  frames.push_back({channels, sample_frames, false});
}

PcmDiff ComparePcm(const std::vector<int16_t>& ours, const std::vector<FrameLayout>& frames,
                   const std::vector<int16_t>& reference) {
  PcmDiff d;
  double sum_sq = 0.0;
  size_t oi = 0;  // stereo pair in ours
  size_t ri = 0;  // sample in the reference
  auto compare = [&](int a, int b) {
    const int diff = std::abs(a - b);
    if (diff > d.max_abs) d.max_abs = diff;
    sum_sq += double(diff) * diff;
    ++d.compared;
  };
  for (const FrameLayout& f : frames) {
    if (!f.decoded) continue;
    for (int j = 0; j < f.sample_frames; ++j, ++oi) {
      if (2 * oi + 1 >= ours.size() || ri + size_t(f.channels) > reference.size()) goto done;
      compare(ours[2 * oi], reference[ri++]);
      if (f.channels == 2) compare(ours[2 * oi + 1], reference[ri++]);
    }
  }
done:
  if (d.compared > 0) {
    const double mse = sum_sq / double(d.compared);
    d.rms = std::sqrt(mse);
    d.psnr = mse > 0.0 ? 10.0 * std::log10(32767.0 * 32767.0 / mse)
                       : std::numeric_limits<double>::infinity();
  }
  return d;
}

int LeadingUndecoded(const std::vector<FrameLayout>& frames) {
  int n = 0;
  while (n < int(frames.size()) && !frames[size_t(n)].decoded) ++n;
  return n;
}

bool LoadPcm(const std::string& path, std::vector<int16_t>* out) {
  const std::vector<uint8_t> b = ReadFile(path);
  out->clear();
  for (size_t i = 0; i + 1 < b.size(); i += 2) out->push_back(int16_t(uint16_t(b[i] | b[i + 1] << 8)));
  return !b.empty();
}

}  // namespace test
}  // namespace bramble
