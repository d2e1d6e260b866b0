#include "tests/support/ReaderStreams.h"

#include <cstdio>

#include "decoder/FrameHeader.h"

namespace bramble {
namespace test {

std::vector<uint8_t> HeaderBytes(const FrameSpec& s) {
  const int b1 = 0xE1 | ((4 - s.layer) << 1) | (s.version == 1 ? 0x18 : s.version == 2 ? 0x10 : 0);
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
  std::copy(h.begin(), h.end(), f.begin());
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

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> out;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(uint8_t(c));
    std::fclose(f);
  }
  return out;
}

}  // namespace test
}  // namespace bramble
