// A small MSB-first bit sink, and the coding of one granule and channel, for
// the Layer III test writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bramble {
namespace test {

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

struct Layer3Header;
struct Layer3Channel;

// Appends the Huffman-coded values of a channel (part 3) to `sink`, with
// codes derived from the decoder's trees, computing big_values and the
// tables unless the channel fixes them. False with `error` set when the
// values cannot be coded as asked.
bool CodeHuffman(const Layer3Header& h, Layer3Channel& c, Layer3BitSink& sink, std::string* error);

// Appends part 2 (scalefactors) and part 3 of channel `ch` of granule `gr`
// to `sink`, computing the fields the channel's auto_ flags ask for and
// big_values. `scfsi` is the channel's scfsi (MPEG-1).
bool CodeChannel(const Layer3Header& h, int gr, int ch, const int32_t* scfsi, Layer3Channel& c,
                 Layer3BitSink& sink, std::string* error);

}  // namespace test
}  // namespace bramble
