// Layer III Huffman encoder codes derived from the decoder's trees, a small
// MSB-first bit sink, and the coding of one granule and channel, for the
// Layer III test writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bramble {
namespace test {

struct HuffCode {
  uint32_t bits = 0;  // right-aligned, most significant bit first on the wire
  int length = 0;     // 0: no such code
};

// Code of the magnitude pair (x, y) in pair table 1..31 (escaped magnitudes
// are coded as 15). Length 0 for the empty tables or values outside the
// table's alphabet.
HuffCode PairCode(int table, int x, int y);

// Code of the quad v, w, x, y (each 0 or 1) in count1 table 32 or 33.
HuffCode QuadCode(int table, int v, int w, int x, int y);

// MSB-first bit writer over a growing byte vector.
class Layer3BitSink {
 public:
  void Put(uint32_t value, int n);  // low n bits of value, n 0..32
  int64_t bit_count() const { return bits_; }
  // Bytes written so far, the last one padded with zeros.
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t bits_ = 0;
};

// Appends one big-values pair of signed values that the table can code:
// code, escape bits when a magnitude reaches 15 in a table with linbits,
// then signs.
void PutPair(Layer3BitSink& sink, int table, int x, int y);

// Appends one count1 quad of values -1, 0 or 1: code, then signs.
void PutQuad(Layer3BitSink& sink, int table, int v, int w, int x, int y);

struct Layer3Header;
struct Layer3Channel;

// Appends part 2 (scalefactors) and part 3 (Huffman-coded values) of channel
// `ch` of granule `gr` to `sink`, computing the fields the channel's auto_
// flags ask for and big_values. `scfsi` is the channel's scfsi (MPEG-1).
// False with `error` set when the values cannot be coded as asked.
bool CodeChannel(const Layer3Header& h, int gr, int ch, const int32_t* scfsi, Layer3Channel& c,
                 Layer3BitSink& sink, std::string* error);

}  // namespace test
}  // namespace bramble
