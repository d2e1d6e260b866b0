// Synthetic MPEG audio streams for reader tests: valid headers with zero
// bodies (silence for every layer).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bramble {
namespace test {

struct FrameSpec {
  int version = 1;        // 1, 2 or 25 (MPEG-2.5)
  int layer = 3;
  int bitrate_index = 9;  // 128 kbit/s for MPEG-1 Layer III
  int sf_index = 0;
  int padding = 0;
  int mode = 0;           // 3 = single channel
};

// The four header bytes of `spec` (no CRC).
std::vector<uint8_t> HeaderBytes(const FrameSpec& spec);
// Frame length in bytes including padding.
int FrameBytes(const FrameSpec& spec);
// Header followed by a zero body.
std::vector<uint8_t> MakeFrame(const FrameSpec& spec);
// `count` frames of `spec` appended to `out`.
void AppendFrames(std::vector<uint8_t>* out, const FrameSpec& spec, int count);

// Writes `bytes` to `path`, replacing it; false on failure.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
// The whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace test
}  // namespace bramble
