#include "tests/support/ReaderStreams.h"

#include <cstdio>

#include "decoder/FrameHeader.h"

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
  FrameHeader h;
  return ParseFrameHeader(HeaderBytes(s).data(), &h) ? h.frame_bytes : 0;
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
