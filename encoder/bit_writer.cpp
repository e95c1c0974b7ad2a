#include "encoder/bit_writer.h"

namespace vexil {

void BitWriter::Spill() {
  const uint32_t word = static_cast<uint32_t>(cache_);
  const uint8_t b[4] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                        static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
  bytes_.insert(bytes_.end(), b, b + 4);
  cache_ >>= 32;
  fill_ -= 32;
}

void BitWriter::Append(const BitWriter& other) {
  if (counting_) {
    bits_ += other.bits_;
    return;
  }
  const size_t whole = other.bytes_.size() / 4;
  for (size_t i = 0; i < whole; ++i) {
    const uint8_t* b = &other.bytes_[4 * i];
    Put(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24, 32);
  }
  Put(static_cast<uint32_t>(other.cache_), other.fill_);
}

void BitWriter::PadToWord() {
  if (bits_ % 32) Put(0, static_cast<uint32_t>(32 - bits_ % 32));
}

std::vector<uint8_t> BitWriter::bytes() const {
  std::vector<uint8_t> out = bytes_;
  for (uint32_t i = 0; i < fill_; i += 8) out.push_back(static_cast<uint8_t>(cache_ >> i));
  return out;
}

}  // namespace vexil
