#include "video/idct.h"

#include <cstring>

namespace vexil {
namespace {

// (x * k) >> 11 with a wrapping 32-bit product and an arithmetic shift.
inline uint32_t Mul(uint32_t x, int32_t k) {
  return static_cast<uint32_t>(static_cast<int32_t>(x * static_cast<uint32_t>(k)) >> 11);
}

// Columns, then rows, on unsigned values so every sum wraps; each output is
// ((x + 127) >> 8) cast to Out (the sample's low 8 bits, or all of it).
template <typename Out>
inline void Idct(const int16_t block[64], const uint32_t quant[64], Out out[64]) {
  uint32_t tmp[64];
  for (int c = 0; c < 8; ++c) {
    bool ac = false;
    for (int r = 1; r < 8; ++r) ac |= block[8 * r + c] != 0;
    if (!ac) {
      // A column with only its row-0 coefficient transforms to eight copies of it.
      const uint32_t v = Mul(static_cast<uint32_t>(block[c]), static_cast<int32_t>(quant[c]));
      for (int r = 0; r < 8; ++r) tmp[8 * r + c] = v;
      continue;
    }
    uint32_t s[8];
    for (int r = 0; r < 8; ++r)
      s[r] = Mul(static_cast<uint32_t>(block[8 * r + c]), static_cast<int32_t>(quant[8 * r + c]));
    InverseTransform8(s, 1, tmp + c, 8, Mul);
  }
  for (int r = 0; r < 8; ++r) {
    uint32_t d[8];
    InverseTransform8(tmp + 8 * r, 1, d, 1, Mul);
    for (int c = 0; c < 8; ++c)
      out[8 * r + c] = static_cast<Out>(static_cast<int32_t>(d[c] + 127) >> 8);
  }
}

}  // namespace

void IdctReference(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]) {
  Idct(block, quant, out);
}

void IdctUnwrapped(const int16_t block[64], const uint32_t quant[64], int32_t out[64]) {
  Idct(block, quant, out);
}

void PutBlock(const uint8_t in[64], uint8_t* dst, uint32_t pitch) {
  for (int r = 0; r < 8; ++r) std::memcpy(dst + r * pitch, in + 8 * r, 8);
}

void PutBlockDoubled(const uint8_t in[64], uint8_t* dst, uint32_t pitch) {
  for (int r = 0; r < 8; ++r) {
    uint8_t row[16];
    for (int c = 0; c < 8; ++c) row[2 * c] = row[2 * c + 1] = in[8 * r + c];
    std::memcpy(dst + (2 * r) * pitch, row, 16);
    std::memcpy(dst + (2 * r + 1) * pitch, row, 16);
  }
}

void AddBlock(const uint8_t in[64], const uint8_t* ref, uint8_t* dst, uint32_t pitch) {
  // Row by row: a source row is read whole before its destination row is
  // written (the one-buffer case may overlap them).
  for (int r = 0; r < 8; ++r) {
    uint8_t row[8];
    std::memcpy(row, ref + r * pitch, 8);
    for (int c = 0; c < 8; ++c) row[c] = static_cast<uint8_t>(row[c] + in[8 * r + c]);
    std::memcpy(dst + r * pitch, row, 8);
  }
}

}  // namespace vexil
