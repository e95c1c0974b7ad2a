#include "encoder/bit_writer.h"

namespace vexil {

void BitWriter::Put(uint32_t value, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (bits_ % 8 == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(((value >> i) & 1) << (bits_ % 8));
    ++bits_;
  }
}

void BitWriter::Append(const BitWriter& other) {
  size_t left = other.bits_;
  for (size_t i = 0; left; ++i) {
    uint32_t n = left < 8 ? static_cast<uint32_t>(left) : 8;
    Put(other.bytes_[i], n);
    left -= n;
  }
}

void BitWriter::PadToWord() {
  while (bits_ % 32) Put(0, 1);
}

}  // namespace vexil
