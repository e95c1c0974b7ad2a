// The integer 8x8 inverse transform with dequantization folded into the
// column pass, and its output modes. All arithmetic is 32-bit and wraps; the
// samples are the low 8 bits of the row pass (no clamping).
#pragma once

#include <cstdint>

namespace vexil {

// The 64 samples (row-major) of `block` (block order) dequantized with the
// quantizer row `quant`. Portable reference.
void IdctReference(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]);

// Output modes over an 8x8 sample block; rows are `pitch` bytes apart.
void PutBlock(const uint8_t in[64], uint8_t* dst, uint32_t pitch);
void PutBlockDoubled(const uint8_t in[64], uint8_t* dst, uint32_t pitch);  // 16x16
void AddBlock(const uint8_t in[64], const uint8_t* ref, uint8_t* dst, uint32_t pitch);

}  // namespace vexil
