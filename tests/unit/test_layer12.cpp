#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "decoder/Layer12.h"
#include "decoder/tables/BuiltTables.h"
#include "decoder/MpegDecoder.h"
#include "tests/support/BitWriter.h"

namespace bramble {
namespace {

using test::BitWriter;

// Header without CRC. version: 1 = MPEG-1, 2 = MPEG-2.
void PutHeader(BitWriter& w, int version, int layer, int bitrate_index, int sf_index,
               int mode = 0, int mode_ext = 0) {
  w.Put(0x7FF, 11);                     // sync
  w.Put(version == 1 ? 3 : 2, 2);       // version bits
  w.Put(4 - layer, 2);
  w.Put(1, 1);                          // no CRC
  w.Put(bitrate_index, 4);
  w.Put(sf_index, 2);
  w.Put(0, 2);                          // padding, private
  w.Put(mode, 2);
  w.Put(mode_ext, 2);
  w.Put(0, 4);
}

// Parses the frame in `w`; the body reader then starts after the header.
void Load(MpegDecoder& d, const BitWriter& w) {
  std::vector<uint8_t> frame = w.bytes();
  frame.resize(frame.size() + 4096, 0);
  ASSERT_TRUE(d.ParseHeader(frame.data(), int(frame.size())));
  ASSERT_LE(int(w.bytes().size()), d.header().frame_bytes) << "test frame too long for its header";
}

int BodyBits(const BitWriter& w) { return int(w.bit_count()) - 32; }

std::unique_ptr<MpegDecoder> NewDecoder() {
  auto d = std::make_unique<MpegDecoder>();
  d->Init();
  return d;
}

// ---------------------------------------------------------------- tables

TEST(Layer12Tables, ScalefactorsAndLayer1Steps) {
  const Layer12Tables& t = L12Tables();
  for (int i = 0; i < 63; ++i)
    EXPECT_FLOAT_EQ(t.l12_scalefactor[i], float(2.0 * std::pow(2.0, -i / 3.0))) << i;
  EXPECT_EQ(t.l12_scalefactor[0], 2.0f);
  EXPECT_EQ(t.l12_scalefactor[3], 1.0f);
  EXPECT_EQ(t.l12_scalefactor[63], 0.0f);

  // Each allocation a has 2^(a+1) - 1 levels, symmetric about 0 and inside
  // (-1, 1): lowest code -(L-1)/L, middle code 0, highest valid code (L-1)/L.
  EXPECT_EQ(t.l1_mul[0], 0.0f);
  EXPECT_EQ(t.l1_add[0], 0.0f);
  for (int a = 1; a < 15; ++a) {
    const int levels = (1 << (a + 1)) - 1;
    const float edge = float(double(levels - 1) / levels);
    EXPECT_FLOAT_EQ(t.l1_add[a], -edge) << a;
    EXPECT_NEAR(float(levels / 2) * t.l1_mul[a] + t.l1_add[a], 0.0f, 1e-6f) << a;
    EXPECT_FLOAT_EQ(float(levels - 1) * t.l1_mul[a] + t.l1_add[a], edge) << a;
  }
}

TEST(Layer12Tables, QuantisationClasses) {
  // Published values of ISO/IEC 11172-3 Table 3-B.4.
  struct Row { int levels; double c, d; };
  const Row published[] = {{3, 1.33333333333, 0.5},       {5, 1.6, 0.5},
                           {7, 1.14285714286, 0.25},      {9, 1.77777777777, 0.5},
                           {15, 1.06666666666, 0.125},    {31, 1.03225806452, 0.0625},
                           {127, 1.00787401575, 0.015625}, {65535, 1.00001525902, 0.00003051757}};
  for (const Row& r : published) {
    const L2Class* cls = nullptr;
    for (const L2Class& c : kL2Classes)
      if (c.levels == r.levels) cls = &c;
    ASSERT_NE(cls, nullptr) << r.levels;
    EXPECT_NEAR(cls->c, r.c, 1e-6) << r.levels;
    EXPECT_NEAR(cls->d, r.d, 1e-9) << r.levels;
  }
  for (const L2Class& c : kL2Classes) {
    EXPECT_EQ(c.grouped, c.levels == 3 || c.levels == 5 || c.levels == 9) << c.levels;
    // The code field holds every level (or every grouped triple).
    const long values = c.grouped ? long(c.levels) * c.levels * c.levels : c.levels;
    EXPECT_GE(1L << c.bits, values) << c.levels;
    EXPECT_LT(1L << (c.bits - 1), values) << c.levels;
  }
}

TEST(Layer12Tables, GroupedCodes) {
  const Layer12Tables& t = L12Tables();
  const float q = 2.0f / 3.0f;
  // code = s1 + 3 s2 + 9 s3.
  EXPECT_FLOAT_EQ(t.grouped3[0][0], -q);
  EXPECT_EQ(t.grouped3[13][0], 0.0f);
  EXPECT_EQ(t.grouped3[13][1], 0.0f);
  EXPECT_EQ(t.grouped3[13][2], 0.0f);
  for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(t.grouped3[26][k], q);
  EXPECT_FLOAT_EQ(t.grouped3[1][0], 0.0f);
  EXPECT_FLOAT_EQ(t.grouped3[1][1], -q);
  EXPECT_FLOAT_EQ(t.grouped3[9 * 2][2], q);
  EXPECT_FLOAT_EQ(t.grouped3[9 * 2][0], -q);
  // 5 levels: -0.8 .. 0.8 in steps of 0.4; 9 levels: -8/9 .. 8/9 in 2/9.
  EXPECT_FLOAT_EQ(t.grouped5[1 + 5 * 3 + 25 * 4][0], -0.4f);
  EXPECT_FLOAT_EQ(t.grouped5[1 + 5 * 3 + 25 * 4][1], 0.4f);
  EXPECT_FLOAT_EQ(t.grouped5[1 + 5 * 3 + 25 * 4][2], 0.8f);
  EXPECT_FLOAT_EQ(t.grouped9[8 + 9 * 4 + 81 * 0][0], 8.0f / 9.0f);
  EXPECT_EQ(t.grouped9[8 + 9 * 4 + 81 * 0][1], 0.0f);
  EXPECT_FLOAT_EQ(t.grouped9[8 + 9 * 4 + 81 * 0][2], -8.0f / 9.0f);
  EXPECT_FLOAT_EQ(t.grouped9[728][1], 8.0f / 9.0f);
  // Codes past the last triple decode to silence.
  for (int code = 27; code < 32; ++code)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(t.grouped3[code][k], 0.0f);
  for (int code = 125; code < 128; ++code)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(t.grouped5[code][k], 0.0f);
  for (int code = 729; code < 1024; ++code)
    for (int k = 0; k < 3; ++k) ASSERT_EQ(t.grouped9[code][k], 0.0f) << code;
  EXPECT_EQ(GroupedTable(3), t.grouped3);
  EXPECT_EQ(GroupedTable(9), t.grouped9);
  EXPECT_EQ(GroupedTable(15), nullptr);
}

std::vector<int> Levels(const L2AllocTable& t, int sb) {
  std::vector<int> out;
  for (int code = 1; code < (1 << t.nbal[sb]); ++code) out.push_back(t.code[sb][code].levels);
  return out;
}

TEST(Layer12Tables, AllocationTablesPerSubbandRange) {
  const std::vector<int> low = {3, 5, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767};
  const std::vector<int> high0 = {3, 7, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
  const std::vector<int> high3 = {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 65535};
  const std::vector<int> high11 = {3, 5, 7, 9, 15, 31, 65535};
  const std::vector<int> high23 = {3, 5, 65535};

  EXPECT_EQ(kL2AllocTables[0].sblimit, 27);
  EXPECT_EQ(kL2AllocTables[1].sblimit, 30);
  EXPECT_EQ(kL2AllocTables[2].sblimit, 8);
  EXPECT_EQ(kL2AllocTables[3].sblimit, 12);
  EXPECT_EQ(kL2AllocTables[4].sblimit, 30);
  // Family 1: 4-bit fields for sub-bands 0..10, 3-bit for 11..22, 2-bit on.
  for (int t = 0; t < 2; ++t) {
    const L2AllocTable& at = kL2AllocTables[t];
    for (int sb = 0; sb < at.sblimit; ++sb) {
      EXPECT_EQ(at.nbal[sb], sb < 11 ? 4 : sb < 23 ? 3 : 2) << sb;
      const auto& want = sb < 3 ? high0 : sb < 11 ? high3 : sb < 23 ? high11 : high23;
      EXPECT_EQ(Levels(at, sb), want) << "table " << t << " sub-band " << sb;
    }
  }
  // Family 0: 4-bit fields for sub-bands 0 and 1, 3-bit fields reaching the
  // first seven classes of the row above.
  for (int t = 2; t < 4; ++t) {
    for (int sb = 0; sb < kL2AllocTables[t].sblimit; ++sb) {
      const std::vector<int> want(low.begin(), low.begin() + (sb < 2 ? 15 : 7));
      EXPECT_EQ(Levels(kL2AllocTables[t], sb), want) << "table " << t << " sub-band " << sb;
    }
  }

  // The low sampling frequency table.
  const std::vector<int> lsf0 = {3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383};
  const std::vector<int> lsf4 = {3, 5, 9, 15, 31, 63, 127};
  const std::vector<int> lsf11 = {3, 5, 9};
  for (int sb = 0; sb < 30; ++sb)
    EXPECT_EQ(Levels(kL2AllocTables[4], sb), sb < 4 ? lsf0 : sb < 11 ? lsf4 : lsf11) << sb;

  // Every code agrees with its class row.
  for (const L2AllocTable& at : kL2AllocTables)
    for (int sb = 0; sb < at.sblimit; ++sb)
      for (int code = 1; code < (1 << at.nbal[sb]); ++code) {
        const L2Code& c = at.code[sb][code];
        ASSERT_GE(c.cls, 0);
        EXPECT_EQ(kL2Classes[c.cls].levels, c.levels);
        EXPECT_EQ(kL2Classes[c.cls].bits, c.bits);
        EXPECT_EQ(kL2Classes[c.cls].grouped, c.group == 1);
      }
}

TEST(Layer12Tables, TableChoiceFollowsTheHeader) {
  struct Case { int version, bitrate_index, sf_index, mode, table; };
  const Case cases[] = {
      {1, 10, 0, 0, 1},  // 44.1 kHz stereo 192 kbit/s: 30 sub-bands
      {1, 10, 1, 0, 0},  // 48 kHz: 27
      {1, 4, 1, 0, 2},   // 48 kHz stereo 64 kbit/s: 8
      {1, 4, 2, 0, 3},   // 32 kHz stereo 64 kbit/s: 12
      {1, 3, 0, 3, 0},   // 44.1 kHz mono 56 kbit/s: 27
      {1, 6, 0, 3, 1},   // 44.1 kHz mono 96 kbit/s: 30
      {1, 2, 0, 3, 2},   // 44.1 kHz mono 48 kbit/s: 8
      {2, 12, 1, 0, 4},  // 24 kHz: the low sampling frequency table
      {2, 1, 2, 3, 4},
  };
  auto d = NewDecoder();
  for (const Case& c : cases) {
    BitWriter w;
    PutHeader(w, c.version, 2, c.bitrate_index, c.sf_index, c.mode);
    Load(*d, w);
    Layer2Frame f;
    f.ReadHeader(d->header(), d->body());
    EXPECT_EQ(f.table, c.table) << c.bitrate_index << "/" << c.sf_index;
    EXPECT_EQ(f.sblimit, d->header().sblimit);
  }
}

// ---------------------------------------------------------------- Layer I

TEST(Layer1, AllocationOneCodesAndScalefactor) {
  auto d = NewDecoder();
  BitWriter w;
  PutHeader(w, 1, 1, 14, 0);  // 448 kbit/s stereo
  w.Put(1, 4);                // sb 0 ch 0: 2-bit codes
  w.Put(0, 4);
  w.Put(0, 4);                // sb 1 ch 0
  w.Put(2, 4);                // sb 1 ch 1: 3-bit codes
  w.Repeat(0, 4, 2 * 30);
  w.Put(3, 6);                // sb 0 ch 0: 1.0
  w.Put(0, 6);                // sb 1 ch 1: 2.0
  for (int slot = 0; slot < 12; ++slot) {
    w.Put(slot & 3, 2);
    w.Put(6, 3);
  }
  Load(*d, w);

  Layer1Frame f;
  ASSERT_TRUE(f.ReadHeader(d->header(), d->body()));
  const float want[4] = {-2.0f / 3, 0.0f, 2.0f / 3, 4.0f / 3};
  for (int slot = 0; slot < 12; ++slot) {
    float rows[2][32];
    f.ReadSlot(d->body(), rows);
    EXPECT_FLOAT_EQ(rows[0][0], want[slot & 3]) << slot;
    EXPECT_FLOAT_EQ(rows[1][1], 2.0f * 6.0f / 7.0f) << slot;  // (2*6 - 6) / 7 levels
    for (int sb = 0; sb < 32; ++sb) {
      if (sb != 0) {
        EXPECT_EQ(rows[0][sb], 0.0f) << sb;
      }
      if (sb != 1) {
        EXPECT_EQ(rows[1][sb], 0.0f) << sb;
      }
    }
  }
  EXPECT_EQ(d->body().bit_pos, BodyBits(w));
}

TEST(Layer1, MonoAndJointStereoReadOneCodePerSubband) {
  auto d = NewDecoder();
  {
    BitWriter w;
    PutHeader(w, 1, 1, 14, 0, 3);  // mono
    for (int sb = 0; sb < 32; ++sb) w.Put(sb == 31 ? 4 : 0, 4);
    w.Put(6, 6);  // 0.5
    for (int slot = 0; slot < 12; ++slot) w.Put(slot, 5);
    Load(*d, w);
    EXPECT_EQ(d->header().jsbound, 0);
    Layer1Frame f;
    ASSERT_TRUE(f.ReadHeader(d->header(), d->body()));
    for (int slot = 0; slot < 12; ++slot) {
      float rows[2][32] = {};
      f.ReadSlot(d->body(), rows);
      EXPECT_FLOAT_EQ(rows[0][31], 0.5f * float(2 * slot - 30) / 31.0f) << slot;
      EXPECT_EQ(rows[1][31], 0.0f);
    }
    EXPECT_EQ(d->body().bit_pos, BodyBits(w));
  }
  {
    BitWriter w;
    PutHeader(w, 1, 1, 14, 0, 1, 0);  // joint stereo, bound 4
    w.Repeat(0, 4, 2 * 4);
    w.Put(3, 4);                      // sb 4, both channels
    w.Repeat(0, 4, 27);
    w.Put(0, 6);                      // ch 0: 2.0
    w.Put(6, 6);                      // ch 1: 0.5
    for (int slot = 0; slot < 12; ++slot) w.Put(15 - slot, 4);
    Load(*d, w);
    EXPECT_EQ(d->header().jsbound, 4);
    Layer1Frame f;
    ASSERT_TRUE(f.ReadHeader(d->header(), d->body()));
    for (int slot = 0; slot < 12; ++slot) {
      float rows[2][32] = {};
      f.ReadSlot(d->body(), rows);
      const float v = float(2 * (15 - slot) - 14) / 15.0f;
      EXPECT_NEAR(rows[0][4], 2.0f * v, 1e-6f) << slot;
      EXPECT_NEAR(rows[1][4], 0.5f * v, 1e-6f) << slot;
    }
    EXPECT_EQ(d->body().bit_pos, BodyBits(w));
  }
}

TEST(Layer1, ForbiddenAllocationRejectsTheFrame) {
  auto d = NewDecoder();
  BitWriter w;
  PutHeader(w, 1, 1, 14, 0);
  w.Repeat(0, 4, 15);
  w.Put(15, 4);  // sb 7 ch 1
  w.PadToBytes(64);
  std::vector<uint8_t> frame = w.bytes();
  frame.resize(4096, 0);
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2);
  d->embedded().bytes = 3;
  EXPECT_EQ(d->DecodeFrame(frame.data(), int(frame.size()), pcm.data()), 0);
  EXPECT_EQ(d->embedded().bytes, 0);

  frame[4 + 7] = 0xE0;  // allocation 14 instead
  EXPECT_EQ(d->DecodeFrame(frame.data(), int(frame.size()), pcm.data()), d->header().frame_bytes);
}

// ---------------------------------------------------------------- Layer II

TEST(Layer2, ClassValuesAndScalefactorSelection) {
  // 48 kHz stereo 64 kbit/s: 8 sub-bands, fields 4, 4, 3, 3, ...
  auto d = NewDecoder();
  BitWriter w;
  PutHeader(w, 1, 2, 4, 1);
  w.Put(1, 4); w.Put(0, 4);  // sb 0: ch 0 three levels
  w.Put(4, 4); w.Put(0, 4);  // sb 1: ch 0 fifteen levels
  w.Put(0, 3); w.Put(2, 3);  // sb 2: ch 1 five levels
  w.Put(3, 3); w.Put(0, 3);  // sb 3: ch 0 nine levels
  w.Repeat(0, 3, 2 * 4);
  w.Put(2, 2);               // selections: sb 0 ch 0 one index
  w.Put(0, 2);               // sb 1 ch 0 three
  w.Put(1, 2);               // sb 2 ch 1 first for two thirds
  w.Put(3, 2);               // sb 3 ch 0 second for two thirds
  w.Put(0, 6);                              // sb 0: 2.0 throughout
  w.Put(3, 6); w.Put(6, 6); w.Put(63, 6);   // sb 1: 1.0, 0.5, 0
  w.Put(3, 6); w.Put(0, 6);                 // sb 2: 1.0, 1.0, 2.0
  w.Put(6, 6); w.Put(3, 6);                 // sb 3: 0.5, 1.0, 1.0
  const int codes3[12] = {13, 26, 0, 27, 31, 13, 13, 13, 13, 13, 13, 13};
  for (int gr = 0; gr < 12; ++gr) {
    w.Put(codes3[gr], 5);
    w.Put(0, 4); w.Put(8, 4); w.Put(14, 4);
    w.Put(gr == 5 ? 127 : 124, 7);
    w.Put(gr == 6 ? 1023 : 728, 10);
  }
  Load(*d, w);
  EXPECT_EQ(d->header().sblimit, 8);

  Layer2Frame f;
  f.ReadHeader(d->header(), d->body());
  const float sf1[3] = {1.0f, 0.5f, 0.0f}, sf2[3] = {1.0f, 1.0f, 2.0f}, sf3[3] = {0.5f, 1.0f, 1.0f};
  for (int gr = 0; gr < 12; ++gr) {
    float rows[3][2][32];
    for (auto& r : rows)
      for (auto& c : r)
        for (float& x : c) x = 99.0f;
    f.ReadGranule(d->body(), gr, rows);
    const int third = gr / 4;
    for (int k = 0; k < 3; ++k) {
      const float g3[] = {0.0f, 2.0f / 3.0f, -2.0f / 3.0f, 0.0f, 0.0f};
      const float v0 = gr < 5 ? g3[gr] : 0.0f;
      EXPECT_FLOAT_EQ(rows[k][0][0], 2.0f * v0) << gr << "/" << k;
      const float v1[3] = {-0.93333334f, 0.13333334f, 0.93333334f};
      EXPECT_FLOAT_EQ(rows[k][0][1], v1[k] * sf1[third]) << gr << "/" << k;
      EXPECT_FLOAT_EQ(rows[k][1][2], (gr == 5 ? 0.0f : 0.8f) * sf2[third]) << gr;
      EXPECT_FLOAT_EQ(rows[k][0][3], (gr == 6 ? 0.0f : 8.0f / 9.0f) * sf3[third]) << gr;
      for (int sb = 0; sb < 8; ++sb) {
        if (sb != 0 && sb != 1 && sb != 3) {
          EXPECT_EQ(rows[k][0][sb], 0.0f);
        }
        if (sb != 2) {
          EXPECT_EQ(rows[k][1][sb], 0.0f);
        }
      }
      for (int sb = 8; sb < 32; ++sb) EXPECT_EQ(rows[k][0][sb], 99.0f);  // never coded
    }
  }
  EXPECT_EQ(d->body().bit_pos, BodyBits(w));
}

TEST(Layer2, JointStereoAndMonoShareCodes) {
  auto d = NewDecoder();
  {
    BitWriter w;
    PutHeader(w, 1, 2, 10, 0, 1, 0);  // 44.1 kHz 192 kbit/s joint, bound 4
    w.Repeat(0, 4, 2 * 4);
    w.Put(6, 4);                       // sb 4: 31 levels, both channels
    w.Repeat(0, 4, 6);
    w.Repeat(0, 3, 12);
    w.Repeat(0, 2, 7);
    w.Put(2, 2); w.Put(2, 2);          // selections ch 0, ch 1
    w.Put(0, 6); w.Put(9, 6);          // 2.0 and 0.25
    for (int gr = 0; gr < 12; ++gr) w.Repeat(gr + 1, 5, 3);
    Load(*d, w);
    EXPECT_EQ(d->header().jsbound, 4);
    Layer2Frame f;
    f.ReadHeader(d->header(), d->body());
    for (int gr = 0; gr < 12; ++gr) {
      float rows[3][2][32] = {};
      f.ReadGranule(d->body(), gr, rows);
      const float v = float(2 * (gr + 1) - 30) / 31.0f;
      EXPECT_NEAR(rows[2][0][4], 2.0f * v, 1e-6f) << gr;
      EXPECT_NEAR(rows[2][1][4], 0.25f * v, 1e-6f) << gr;
    }
    EXPECT_EQ(d->body().bit_pos, BodyBits(w));
  }
  {
    BitWriter w;
    PutHeader(w, 1, 2, 10, 0, 3);  // mono 192 kbit/s: 30 sub-bands
    w.Repeat(0, 4, 11);
    w.Repeat(0, 3, 12);
    w.Repeat(0, 2, 6);
    w.Put(2, 2);                    // sb 29: 5 levels
    w.Put(2, 2);
    w.Put(3, 6);
    for (int gr = 0; gr < 12; ++gr) w.Put(2 + 5 * 0 + 25 * 4, 7);  // levels 2, 0, 4
    Load(*d, w);
    EXPECT_EQ(d->header().sblimit, 30);
    Layer2Frame f;
    f.ReadHeader(d->header(), d->body());
    float rows[3][2][32] = {};
    for (int gr = 0; gr < 12; ++gr) f.ReadGranule(d->body(), gr, rows);
    EXPECT_EQ(rows[0][0][29], 0.0f);
    EXPECT_FLOAT_EQ(rows[1][0][29], -0.8f);
    EXPECT_FLOAT_EQ(rows[2][0][29], 0.8f);
    EXPECT_EQ(rows[0][1][29], 0.0f);
    EXPECT_EQ(d->body().bit_pos, BodyBits(w));
  }
}

TEST(Layer2, WidestClassReadsThreeSixteenBitCodes) {
  auto d = NewDecoder();
  BitWriter w;
  PutHeader(w, 1, 2, 10, 0);  // 44.1 kHz stereo 192 kbit/s: Table 3-B.2b
  w.Put(15, 4);               // sb 0 ch 0: 65535 levels
  w.Repeat(0, 4, 2 * 11 - 1);
  w.Repeat(0, 3, 2 * 12);
  w.Repeat(0, 2, 2 * 7);
  w.Put(2, 2);
  w.Put(3, 6);
  for (int gr = 0; gr < 12; ++gr) {
    w.Put(0, 16);
    w.Put(32767, 16);
    w.Put(65534, 16);
  }
  Load(*d, w);
  Layer2Frame f;
  f.ReadHeader(d->header(), d->body());
  EXPECT_EQ(f.band[0][0].bits, 16);
  for (int gr = 0; gr < 12; ++gr) {
    float rows[3][2][32] = {};
    f.ReadGranule(d->body(), gr, rows);
    EXPECT_FLOAT_EQ(rows[0][0][0], -65534.0f / 65535.0f);
    EXPECT_EQ(rows[1][0][0], 0.0f);
    EXPECT_FLOAT_EQ(rows[2][0][0], 65534.0f / 65535.0f);
  }
  EXPECT_EQ(d->body().bit_pos, BodyBits(w));
}

TEST(Layer2, LowSamplingFrequencyTable) {
  auto d = NewDecoder();
  BitWriter w;
  PutHeader(w, 2, 2, 12, 1);  // 24 kHz stereo 128 kbit/s
  w.Repeat(0, 4, 2 * 4);
  w.Put(3, 3); w.Put(0, 3);   // sb 4 ch 0: 9 levels in this table
  w.Repeat(0, 3, 2 * 6);
  w.Repeat(0, 2, 2 * 19);
  w.Put(2, 2);
  w.Put(3, 6);
  for (int gr = 0; gr < 12; ++gr) w.Put(728, 10);
  Load(*d, w);
  EXPECT_EQ(d->header().frame_bytes, 768);  // 1152 samples, as at the MPEG-1 rates
  EXPECT_EQ(d->header().sblimit, 30);
  Layer2Frame f;
  f.ReadHeader(d->header(), d->body());
  EXPECT_EQ(f.table, 4);
  for (int gr = 0; gr < 12; ++gr) {
    float rows[3][2][32] = {};
    f.ReadGranule(d->body(), gr, rows);
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(rows[k][0][4], 8.0f / 9.0f);
  }
  EXPECT_EQ(d->body().bit_pos, BodyBits(w));
}

// ---------------------------------------------------------------- frames

TEST(Layer12Frames, CorruptFramesStayInsideTheBody) {
  // All-ones bodies ask for the most bits; the readers must stay inside
  // the store and the decoders must end.
  auto d = NewDecoder();
  std::vector<int16_t> pcm(MpegDecoder::kMaxPcmBytesPerFrame / 2);
  struct Case { int version, layer, bitrate_index, sf_index, mode; uint8_t fill; bool decodes; };
  const Case cases[] = {
      {1, 2, 14, 2, 0, 0xFF, true},   // 384 kbit/s 32 kHz: the longest frame
      {1, 2, 14, 2, 3, 0xFF, true},
      {2, 2, 14, 2, 0, 0xFF, true},
      {1, 1, 14, 2, 0, 0xFF, false},  // allocation 15
      {1, 1, 14, 2, 0, 0xEE, true},   // allocation 14: 15-bit codes
  };
  for (const Case& c : cases) {
    BitWriter w;
    PutHeader(w, c.version, c.layer, c.bitrate_index, c.sf_index, c.mode);
    std::vector<uint8_t> frame = w.bytes();
    frame.resize(4096, c.fill);
    d->embedded().bytes = 7;
    const int got = d->DecodeFrame(frame.data(), int(frame.size()), pcm.data());
    EXPECT_EQ(got, c.decodes ? d->header().frame_bytes : 0) << c.layer << "/" << c.mode;
    EXPECT_EQ(d->embedded().bytes, 0);
    EXPECT_LE(d->body().bit_pos / 8 + 4, FrameBody::kStoreBytes);
  }
}

}  // namespace
}  // namespace bramble
