#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoder/FrameHeader.h"
#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

struct HeaderCase {
  const char* what;
  uint8_t b[4];
  int layer, lsf, mpeg25, frame_bytes, pcm_bytes, main_data_bytes, sblimit, jsbound;
};

// Every field the header gives, from header bytes alone.
const HeaderCase kHeaders[] = {
    {"MPEG-1 L3 128k 44.1 CRC", {0xFF, 0xFA, 0x90, 0x00}, 3, 0, 0, 417, 4608, 417 - 4 - 2 - 32, 27, 27},
    {"padded, no CRC", {0xFF, 0xFB, 0x92, 0x00}, 3, 0, 0, 418, 4608, 418 - 4 - 32, 27, 27},
    {"free format: the row's highest rate", {0xFF, 0xFB, 0x00, 0x00}, 3, 0, 0, 1044, 4608, 1008, 30, 30},
    {"free format padded", {0xFF, 0xFB, 0x02, 0x00}, 3, 0, 0, 1045, 4608, 1009, 30, 30},
    {"MPEG-1 L3 mono", {0xFF, 0xFB, 0x90, 0xC0}, 3, 0, 0, 417, 4608, 417 - 4 - 17, 30, 0},
    {"LSF L3 64k 22.05", {0xFF, 0xF3, 0x80, 0x00}, 3, 1, 0, 208, 2304, 208 - 4 - 17, 27, 27},
    {"LSF L3 mono", {0xFF, 0xF3, 0x80, 0xC0}, 3, 1, 0, 208, 2304, 208 - 4 - 9, 30, 0},
    {"MPEG-2.5 L3 8k 8 kHz", {0xFF, 0xE3, 0x18, 0x00}, 3, 1, 1, 72, 2304, 72 - 4 - 17, 30, 30},
    {"MPEG-2.5 whatever its ID bit", {0xFF, 0xEB, 0x80, 0x00}, 3, 1, 1, 72000 * 64 / 11025, 2304, 417 - 4 - 17, 27, 27},
    {"L1 384k 48", {0xFF, 0xFF, 0xC4, 0x00}, 1, 0, 0, 384, 1536, 0, 32, 32},
    {"L1 padded by 4", {0xFF, 0xFF, 0xC6, 0x00}, 1, 0, 0, 388, 1536, 0, 32, 32},
    {"largest frame: L2 384k 32 padded", {0xFF, 0xFD, 0xEA, 0x00}, 2, 0, 0, 1729, 4608, 0, 30, 30},
    {"LSF L2 keeps 1152 samples", {0xFF, 0xF5, 0x80, 0x00}, 2, 1, 0, 144000 * 64 / 22050, 4608, 0, 30, 30},
    {"L2 mono", {0xFF, 0xFD, 0x80, 0xC0}, 2, 0, 0, 417, 4608, 0, 30, 0},
    {"L2 joint, extension 3, 27 sub-bands", {0xFF, 0xFD, 0xC4, 0x70}, 2, 0, 0, 768, 4608, 0, 27, 16},
    {"L2 48 kHz 80k stereo: 8 sub-bands", {0xFF, 0xFD, 0x54, 0x00}, 2, 0, 0, 240, 4608, 0, 8, 8},
    {"L2 32 kHz 80k stereo: 12 sub-bands", {0xFF, 0xFD, 0x58, 0x00}, 2, 0, 0, 360, 4608, 0, 12, 12},
};

TEST(FrameHeader, Cases) {
  for (const HeaderCase& c : kHeaders) {
    FrameHeader h;
    ASSERT_TRUE(ParseFrameHeader(c.b, &h)) << c.what;
    using V = std::vector<int>;
    EXPECT_EQ(V({h.layer, h.lsf, h.mpeg25, h.frame_bytes, h.pcm_bytes, h.main_data_bytes, h.sblimit, h.jsbound}),
              V({c.layer, c.lsf, c.mpeg25, c.frame_bytes, c.pcm_bytes, c.main_data_bytes, c.sblimit, c.jsbound}))
        << c.what;
    EXPECT_EQ(h.frame_bytes - h.frame_length, h.padding_bit * (h.layer == 1 ? 4 : 1)) << c.what;
  }
  // No sync, layer bits 00, bit-rate index 15, sampling-rate index 3.
  const uint8_t rejected[][4] = {
      {0xFE, 0xFB, 0x90, 0x00}, {0xFF, 0xF9, 0x90, 0x00}, {0xFF, 0xFB, 0xF0, 0x00}, {0xFF, 0xFB, 0x9C, 0x00}};
  for (const auto& b : rejected) {
    FrameHeader h;
    EXPECT_FALSE(ParseFrameHeader(b, &h)) << int(b[1]) << " " << int(b[2]);
    EXPECT_EQ(h.layer, 0);
  }
  // A stream keeps version, layer and rate; bit rate, padding and mode may change.
  FrameHeader a, b;
  ASSERT_TRUE(ParseFrameHeader(kHeaders[0].b, &a));
  for (const HeaderCase& c : kHeaders) {
    ASSERT_TRUE(ParseFrameHeader(c.b, &b));
    const bool same = c.layer == 3 && c.lsf == 0;
    EXPECT_EQ(SameStream(a, b), same) << c.what;
  }
  ASSERT_TRUE(ParseFrameHeader(kHeaders[7].b, &a));
  ASSERT_TRUE(ParseFrameHeader(kHeaders[8].b, &b));
  b.sampling_frequency = a.sampling_frequency;
  EXPECT_FALSE(SameStream(a, b)) << "MPEG-2.5 with and without its ID bit";
}

TEST(FrameHeader, FrameLongerThanTheBufferIsRejected) {
  MpegDecoder d;
  std::vector<uint8_t> f(4096, 0);
  std::memcpy(f.data(), kHeaders[0].b, 4);
  EXPECT_FALSE(d.ParseHeader(f.data(), 100));
  EXPECT_EQ(d.DecodeFrame(f.data(), 100, nullptr), 0);
}

}  // namespace
}  // namespace bramble
