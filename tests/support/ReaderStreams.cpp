#include "tests/support/ReaderStreams.h"

#include <cstdio>

#include "decoder/Tables.h"
#include "reader/FrameReader.h"

namespace bramble {
namespace test {

std::vector<uint8_t> HeaderBytes(const FrameSpec& s) {
  int b1 = 0xE0 | ((4 - s.layer) << 1) | 1;
  if (s.version == 1) b1 |= 0x18;
  if (s.version == 2) b1 |= 0x10;
  return {0xFF, uint8_t(b1), uint8_t((s.bitrate_index << 4) | (s.sf_index << 2) | (s.padding << 1)),
          uint8_t(s.mode << 6)};
}

int FrameBytes(const FrameSpec& s) {
  const int lsf = s.version == 1 ? 0 : 1;
  const int row = s.version == 1 ? 0 : s.version == 2 ? 1 : 2;
  const int kbps = kBitrateKbps[lsf][s.layer - 1][s.bitrate_index];
  const int rate = kSampleRateHz[3 * row + s.sf_index];
  return FrameReader::FrameLengthFor(s.layer, lsf, kbps, rate) + s.padding * (s.layer == 1 ? 4 : 1);
}

std::vector<uint8_t> MakeFrame(const FrameSpec& spec) {
  std::vector<uint8_t> f(size_t(FrameBytes(spec)), 0);
  const std::vector<uint8_t> h = HeaderBytes(spec);
  for (int i = 0; i < 4; ++i) f[size_t(i)] = h[size_t(i)];
  return f;
}

void AppendFrames(std::vector<uint8_t>* out, const FrameSpec& spec, int count) {
  const std::vector<uint8_t> f = MakeFrame(spec);
  for (int i = 0; i < count; ++i) out->insert(out->end(), f.begin(), f.end());
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace test
}  // namespace bramble
