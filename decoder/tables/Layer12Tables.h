// Layer I and II quantisation tables: scalefactors (ISO/IEC 11172-3 Table
// 3-B.1), Layer II bit allocation (Tables 3-B.2a..d, ISO/IEC 13818-3 Table
// B.1) and quantisation classes (Table 3-B.4).
#pragma once

#include <cstdint>

namespace bramble {

// One row of ISO/IEC 11172-3 Table 3-B.4.
struct L2Class {
  int32_t levels;
  int32_t bits;     // width of one code
  int32_t grouped;  // 1: one code carries three samples
  float c;
  float d;
};
constexpr int kL2ClassCount = 17;
extern const L2Class kL2Classes[kL2ClassCount];  // by class, levels ascending

// One allocation code of a Layer II table.
struct L2Code {
  uint16_t levels;  // 0: sub-band not coded
  uint8_t bits;     // width of one code
  uint8_t group;    // 1 grouped, 3 one code per sample
  int8_t cls;       // row of kL2Classes, -1 when not coded
};

struct L2AllocTable {
  int32_t sblimit;
  uint8_t nbal[32];  // allocation field width per sub-band
  L2Code code[32][16];
};

// 0..3: ISO/IEC 11172-3 Tables 3-B.2a..d; 4: the ISO/IEC 13818-3 table.
constexpr int kL2TableCount = 5;
extern const L2AllocTable kL2AllocTables[kL2TableCount];  // Layer2Tables.cpp (generated)

// The table for a frame: every LSF frame uses the 13818-3 table; MPEG-1
// frames pick by rate family and sblimit (27, 30, 8, 12).
inline int SelectLayer2Table(int lsf, int l2_high_rate, int sblimit) {
  if (lsf) return 4;
  if (l2_high_rate) return sblimit == 27 ? 0 : 1;
  return sblimit == 12 ? 3 : 2;
}

// Tables computed in double and stored as float, built with the others
// (decoder/tables/BuiltTables.h).
struct Layer12Tables {
  float l12_scalefactor[64];  // 2 * 2^(-i/3), entry 63 = 0
  float l1_mul[15];           // 2 / (2^(a+1) - 1), entry 0 = 0
  float l1_add[15];           // -(2^(a+1) - 2) / (2^(a+1) - 1), entry 0 = 0
  // C * (s''' + D) of each sample of every grouped code; the tables span the
  // whole code field, and codes past L^3 - 1 decode to zeros.
  float grouped3[32][3];
  float grouped5[128][3];
  float grouped9[1024][3];
};

}  // namespace bramble
