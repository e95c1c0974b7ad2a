// The integer 8x8 inverse transform with dequantization folded into the
// column pass, and its output modes. All arithmetic is 32-bit and wraps; the
// samples are the low 8 bits of the row pass (no clamping).
#pragma once

#include <cstdint>

namespace vexil {

// The 1-D transform of s[0..7] (stride `in_step`) into d[0..7] (stride
// `out_step`); d may be s. `mul(x, k)` is x times k / 2048 in T's arithmetic:
// the decoder's is (x * k) >> 11 on wrapping 32-bit values, and the same
// steps in real numbers, or on vector lanes, give the transform's exact gains
// and its SIMD kernels.
template <typename T, typename Mul>
inline void InverseTransform8(const T* s, int in_step, T* d, int out_step, Mul mul) {
  const T s0 = s[0], s1 = s[in_step], s2 = s[2 * in_step], s3 = s[3 * in_step];
  const T s4 = s[4 * in_step], s5 = s[5 * in_step], s6 = s[6 * in_step], s7 = s[7 * in_step];
  const T a0 = s0 + s4, a1 = s0 - s4, a2 = s2 + s6, a3 = mul(s2 - s6, 2896);
  const T a4 = s5 + s3, a5 = s5 - s3, a6 = s1 + s7, a7 = s1 - s7;
  const T b0 = a4 + a6, b1 = mul(a5 + a7, 3784);
  const T b2 = mul(a5, -5352) - b0 + b1;
  const T b3 = mul(a6 - a4, 2896) - b2;
  const T b4 = mul(a7, 2217) + b3 - b1;
  d[0] = a0 + a2 + b0;
  d[out_step] = a1 + a3 - a2 + b2;
  d[2 * out_step] = a1 - a3 + a2 + b3;
  d[3 * out_step] = a0 - a2 - b4;
  d[4 * out_step] = a0 - a2 + b4;
  d[5 * out_step] = a1 - a3 + a2 - b3;
  d[6 * out_step] = a1 + a3 - a2 - b2;
  d[7 * out_step] = a0 + a2 - b0;
}

// The 64 samples (row-major) of `block` (block order) dequantized with the
// quantizer row `quant`. Portable reference.
void IdctReference(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]);

// The same transform with every output ((x + 127) >> 8) kept whole: its low 8
// bits are the sample, and the encoder sees where a sample leaves 0..255.
void IdctUnwrapped(const int16_t block[64], const uint32_t quant[64], int32_t out[64]);

// Output modes over an 8x8 sample block; rows are `pitch` bytes apart.
void PutBlock(const uint8_t in[64], uint8_t* dst, uint32_t pitch);
void PutBlockDoubled(const uint8_t in[64], uint8_t* dst, uint32_t pitch);  // 16x16
void AddBlock(const uint8_t in[64], const uint8_t* ref, uint8_t* dst, uint32_t pitch);

}  // namespace vexil
