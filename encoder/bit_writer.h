// Writes bits the way the plane bit reader takes them: least significant
// first, packed into little-endian 32-bit words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexil {

class BitWriter {
 public:
  // Appends the low n bits of value (n from 0 to 32), bit 0 first.
  void Put(uint32_t value, uint32_t n);
  void PutBit(uint32_t bit) { Put(bit & 1, 1); }
  // Appends all bits of another writer.
  void Append(const BitWriter& other);
  // Zero bits up to the next 32-bit boundary (planes end on a word).
  void PadToWord();

  size_t bit_count() const { return bits_; }
  // The bytes written so far; a partial last byte is zero-filled.
  std::vector<uint8_t> bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

}  // namespace vexil
