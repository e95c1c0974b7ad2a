// Writes bits the way the plane bit reader takes them: least significant
// first, packed into little-endian 32-bit words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexil {

class BitWriter {
 public:
  // A counting writer only counts the bits (rate estimates): no bytes are kept.
  explicit BitWriter(bool counting = false) : counting_(counting) {}

  // Appends the low n bits of value (n from 0 to 32), bit 0 first.
  void Put(uint32_t value, uint32_t n) {
    if (n == 0) return;
    bits_ += n;
    if (counting_) return;
    const uint64_t v = n == 32 ? value : value & ((uint32_t{1} << n) - 1);
    cache_ |= v << fill_;
    fill_ += n;
    if (fill_ >= 32) Spill();
  }
  void PutBit(uint32_t bit) { Put(bit & 1, 1); }
  // Appends all bits of another writer.
  void Append(const BitWriter& other);
  // Zero bits up to the next 32-bit boundary (planes end on a word).
  void PadToWord();

  size_t bit_count() const { return bits_; }
  bool counting() const { return counting_; }
  // The bytes written so far; a partial last byte is zero-filled.
  std::vector<uint8_t> bytes() const;

 private:
  void Spill();  // moves the cache's whole 32-bit word to the bytes

  std::vector<uint8_t> bytes_;  // whole words only
  uint64_t cache_ = 0;          // fill_ (< 32 between calls) pending bits
  uint32_t fill_ = 0;
  size_t bits_ = 0;
  bool counting_ = false;
};

}  // namespace vexil
