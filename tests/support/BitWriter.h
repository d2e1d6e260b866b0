// Most-significant-bit-first bit writer for building test bitstreams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bramble {
namespace test {

class BitWriter {
 public:
  // Appends the low `n` bits of `value` (n 0..32), most significant first.
  void Put(uint32_t value, int n);
  // Appends `count` copies of an n-bit value.
  void Repeat(uint32_t value, int n, int count);
  // Zero bits up to the next byte boundary.
  void AlignToByte();
  // Zero bytes until the stream is `bytes` long (no-op when longer).
  void PadToBytes(size_t bytes);

  size_t bit_count() const { return bits_; }
  // Bytes written so far; a partial last byte is zero-filled.
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

}  // namespace test
}  // namespace bramble
