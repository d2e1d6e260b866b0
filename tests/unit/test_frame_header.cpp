#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoder/MpegDecoder.h"

namespace bramble {
namespace {

// Builds a 4-byte header. version: 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5.
std::vector<uint8_t> Header(int version, int layer, int bitrate_index, int sf_index,
                            int padding = 0, int mode = 0, int mode_ext = 0, bool crc = false) {
  std::vector<uint8_t> f(4 + 4096, 0);
  f[0] = 0xFF;
  int b1 = 0xE0;
  if (version == 1) b1 |= 0x18;
  else if (version == 2) b1 |= 0x10;
  b1 |= (4 - layer) << 1;
  if (!crc) b1 |= 1;
  f[1] = uint8_t(b1);
  f[2] = uint8_t((bitrate_index << 4) | (sf_index << 2) | (padding << 1));
  f[3] = uint8_t((mode << 6) | (mode_ext << 4));
  return f;
}

TEST(FrameHeader, FieldsAndFrameLengths) {
  MpegDecoder d;
  auto f = Header(1, 3, 9, 0, 0, 0, 0, true);  // 128 kbit/s 44.1 kHz, CRC
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.layer, 3);
  EXPECT_EQ(d.lsf, 0);
  EXPECT_EQ(d.protection_bit, 0);
  EXPECT_EQ(d.frame_bytes, 417);
  EXPECT_EQ(d.main_data_bytes, 417 - 4 - 2 - 32);
  EXPECT_EQ(d.frame_bit_pos, 16);  // CRC word skipped

  f = Header(1, 3, 9, 0, 1);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.frame_bytes, 418);
  EXPECT_EQ(d.frame_bit_pos, 0);

  // Free format decodes as the row's highest rate.
  f = Header(1, 3, 0, 0);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.frame_bytes, 1044);
  f = Header(1, 3, 0, 0, 1);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.frame_bytes, 1045);

  f = Header(2, 3, 8, 0);  // LSF 64 kbit/s 22.05 kHz
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.lsf, 1);
  EXPECT_EQ(d.frame_bytes, 208);

  f = Header(25, 3, 1, 2);  // MPEG-2.5 8 kbit/s 8 kHz
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.lsf, 1);
  EXPECT_EQ(d.mpeg25, 1);
  EXPECT_EQ(d.frame_bytes, 72);

  f = Header(1, 1, 12, 1);  // Layer I 384 kbit/s 48 kHz
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.frame_bytes, 384);
  f[2] |= 2;
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.frame_bytes, 388);

  // Largest legal frame: MPEG-1 Layer II 384 kbit/s at 32 kHz, padded.
  f = Header(1, 2, 14, 2, 1);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.frame_bytes, 1729);
}

TEST(FrameHeader, MpegTwoPointFiveIgnoresIdBit) {
  MpegDecoder d;
  auto f = Header(25, 3, 8, 0);
  f[1] |= 0x08;  // ID bit set but twelfth sync bit still 0
  f[1] &= ~0x10;
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.lsf, 1);
  EXPECT_EQ(d.mpeg25, 1);
  EXPECT_EQ(d.frame_bytes, 72000 * 64 / 11025);
}

TEST(FrameHeader, Rejections) {
  MpegDecoder d;
  auto f = Header(1, 3, 9, 0);
  f[0] = 0xFE;
  EXPECT_FALSE(d.ParseHeader(f.data()));
  f = Header(1, 3, 9, 0);
  f[1] &= ~0x06;  // layer bits 00
  EXPECT_FALSE(d.ParseHeader(f.data()));
  f = Header(1, 3, 15, 0);
  EXPECT_FALSE(d.ParseHeader(f.data()));
  f = Header(1, 3, 9, 3);
  EXPECT_FALSE(d.ParseHeader(f.data()));
  // A frame longer than the bytes handed over is not read past the buffer.
  f = Header(1, 3, 9, 0);
  EXPECT_FALSE(d.ParseHeader(f.data(), 100));
  EXPECT_EQ(d.DecodeFrame(f.data(), 100, nullptr), 0);
}

TEST(FrameHeader, StereoBoundsAndLayer2Tables) {
  MpegDecoder d;
  auto f = Header(1, 2, 8, 0, 0, 3);  // mono
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.stereo, 0);
  EXPECT_EQ(d.jsbound, 0);
  EXPECT_EQ(d.l2_channel_bitrate_index, 8);

  // Joint stereo, mode_extension 3, 27-sub-band table (48 kHz): jsbound 16.
  f = Header(1, 2, 12, 1, 0, 1, 3);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.sblimit, 27);
  EXPECT_EQ(d.jsbound, 16);

  // 48 kHz stereo at 64 kbit/s: per-channel index 1, 8 sub-bands.
  f = Header(1, 2, 5, 1);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.l2_channel_bitrate_index, 1);
  EXPECT_EQ(d.l2_high_rate, 0);
  EXPECT_EQ(d.sblimit, 8);
  EXPECT_EQ(d.jsbound, 8);
  // 32 kHz: 12 sub-bands.
  f = Header(1, 2, 5, 2);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.sblimit, 12);

  // Low sampling frequency Layer II uses the 30-sub-band LSF table.
  f = Header(2, 2, 8, 1);
  ASSERT_TRUE(d.ParseHeader(f.data()));
  EXPECT_EQ(d.sblimit, 30);
}

TEST(BitReaders, FrameBodyAndReservoir) {
  MpegDecoder d;
  const uint8_t bytes[] = {0xAB, 0xCD, 0xEF, 0x12, 0x34};
  std::memcpy(d.frame_body, bytes, sizeof bytes);
  d.frame_bit_pos = 4;
  EXPECT_EQ(d.GetBits(0), 0);
  EXPECT_EQ(d.frame_bit_pos, 4);
  EXPECT_EQ(d.GetBits(12), 0xBCD);
  EXPECT_EQ(d.frame_bit_pos, 16);
  EXPECT_EQ(d.Get1Bit(), 1);
  EXPECT_EQ(d.GetBits(23), 0xEF1234 & 0x7FFFFF);

  std::memcpy(d.reservoir.bytes, bytes, sizeof bytes);
  d.reservoir.read_pos = 3;
  EXPECT_EQ(d.ResGetBitsFast(4), 0x5);   // 1010 1011: bits 3..6 = 0101
  EXPECT_EQ(d.ResGetBitsFast(9), 0x1CD);  // bit 7 of AB, then CD
  EXPECT_EQ(d.reservoir.read_pos, 16);
  EXPECT_EQ(d.ResGet1Bit(), 1);
  EXPECT_EQ(d.ResGetBits(7), 0x6F);
  EXPECT_EQ(d.ResGetBits(0), 0);
  EXPECT_EQ(d.reservoir.read_pos, 24);
}

}  // namespace
}  // namespace bramble
