#include "video/idct.h"

#include <cstring>

namespace vexil {
namespace {

// (x * k) >> 11 with a wrapping 32-bit product and an arithmetic shift.
inline uint32_t Mul(uint32_t x, int32_t k) {
  return static_cast<uint32_t>(static_cast<int32_t>(x * static_cast<uint32_t>(k)) >> 11);
}

// The 1-D transform of s[0..7] (stride `in_step`) into d[0..7] (stride
// `out_step`); unsigned so every sum wraps.
inline void Transform8(const uint32_t* s, int in_step, uint32_t* d, int out_step) {
  const uint32_t s0 = s[0], s1 = s[in_step], s2 = s[2 * in_step], s3 = s[3 * in_step];
  const uint32_t s4 = s[4 * in_step], s5 = s[5 * in_step], s6 = s[6 * in_step], s7 = s[7 * in_step];
  const uint32_t a0 = s0 + s4, a1 = s0 - s4, a2 = s2 + s6, a3 = Mul(s2 - s6, 2896);
  const uint32_t a4 = s5 + s3, a5 = s5 - s3, a6 = s1 + s7, a7 = s1 - s7;
  const uint32_t b0 = a4 + a6, b1 = Mul(a5 + a7, 3784);
  const uint32_t b2 = Mul(a5, -5352) - b0 + b1;
  const uint32_t b3 = Mul(a6 - a4, 2896) - b2;
  const uint32_t b4 = Mul(a7, 2217) + b3 - b1;
  d[0] = a0 + a2 + b0;
  d[out_step] = a1 + a3 - a2 + b2;
  d[2 * out_step] = a1 - a3 + a2 + b3;
  d[3 * out_step] = a0 - a2 - b4;
  d[4 * out_step] = a0 - a2 + b4;
  d[5 * out_step] = a1 - a3 + a2 - b3;
  d[6 * out_step] = a1 + a3 - a2 - b2;
  d[7 * out_step] = a0 + a2 - b0;
}

}  // namespace

void IdctReference(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]) {
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
    Transform8(s, 1, tmp + c, 8);
  }
  for (int r = 0; r < 8; ++r) {
    uint32_t d[8];
    Transform8(tmp + 8 * r, 1, d, 1);
    for (int c = 0; c < 8; ++c)
      out[8 * r + c] = static_cast<uint8_t>(static_cast<int32_t>(d[c] + 127) >> 8);
  }
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
