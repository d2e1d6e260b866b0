#include "tests/support/BitWriter.h"

namespace bramble {
namespace test {

void BitWriter::Put(uint32_t value, int n) {
  for (int i = n - 1; i >= 0; --i) {
    if ((bits_ & 7) == 0) bytes_.push_back(0);
    if ((value >> i) & 1) bytes_.back() |= uint8_t(0x80 >> (bits_ & 7));
    ++bits_;
  }
}

void BitWriter::Repeat(uint32_t value, int n, int count) {
  for (int i = 0; i < count; ++i) Put(value, n);
}

void BitWriter::AlignToByte() { bits_ = bytes_.size() * 8; }

void BitWriter::PadToBytes(size_t bytes) {
  AlignToByte();
  if (bytes_.size() < bytes) bytes_.resize(bytes, 0);
  bits_ = bytes_.size() * 8;
}

}  // namespace test
}  // namespace bramble
