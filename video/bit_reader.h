// The plane bit reader: bits least significant first out of little-endian
// 32-bit words, starting at any byte address.
//
// `word` is the address of the next word not yet loaded: it moves on only when
// a bit of that word is consumed, so a look-ahead that ends inside the cached
// bits loads nothing, and consuming exactly the cached bits leaves the next
// word unloaded. The plane decoder returns `word` as the plane's end.
//
// Representation: `bits` holds the `count` cached bits in its low part and,
// just above them, the 32 bits of the word at `word` (peeked, not loaded in the
// above sense). Any look-ahead of up to 32 bits is therefore a mask.
//
// Untrusted data: nothing at or past `readable_end` is ever read; such bytes
// read as zero while `word` keeps advancing, so "word pointer at or past the
// data end" tests behave as they would with real bytes there.
//
// Hot loops copy the reader into a local, work on it and store it back before
// calling another reading routine, so the fields stay in registers.
#pragma once

#include <cstdint>
#include <cstring>

namespace vexil {

// The 32-bit little-endian word at `addr`, with bytes at or past `readable_end`
// taken as zero.
inline uint32_t LoadPlaneWord(uintptr_t addr, uintptr_t readable_end) {
  if (addr < readable_end && readable_end - addr >= 4) {
    uint8_t b[4];
    std::memcpy(b, reinterpret_cast<const void*>(addr), 4);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
  }
  uint32_t v = 0;
  for (uint32_t i = 0; i < 4 && addr + i < readable_end && addr + i >= addr; ++i)
    v |= uint32_t{*reinterpret_cast<const uint8_t*>(addr + i)} << (8 * i);
  return v;
}

struct BitReader {
  uint64_t bits;   // cached bits, then the peeked next word; zero above
  uint32_t count;  // cached bits (0..32)
  uintptr_t word;  // next word not yet loaded
  uintptr_t readable_end;

  void Start(const uint8_t* start, const uint8_t* readable) {
    word = reinterpret_cast<uintptr_t>(start);
    readable_end = reinterpret_cast<uintptr_t>(readable);
    count = 0;
    bits = LoadPlaneWord(word, readable_end);
  }

  // The next n bits (n <= 32) without consuming them.
  uint32_t Peek(uint32_t n) const { return static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1)); }

  // Consumes n bits (n <= 32). Crossing into the peeked word loads it.
  void Skip(uint32_t n) {
    bits >>= n;
    if (n > count) {
      count += 32;
      word += 4;
      bits |= uint64_t{LoadPlaneWord(word, readable_end)} << (count - n);
    }
    count -= n;
  }

  uint32_t Read(uint32_t n) {
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  uint32_t ReadBit() { return Read(1); }

  // True when a look-ahead of n bits reaches beyond the cached bits.
  bool NeedsWord(uint32_t n) const { return count < n; }
};

}  // namespace vexil
