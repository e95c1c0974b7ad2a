// The encoder's side of the 8x8 transform: an orthonormal forward DCT in
// float, the factors that turn its coefficients into the integer coefficients
// the decoder's tables expect, and the decoder's integer inverse without the
// final wrap to 8 bits (so the encoder can see a sample leave 0..255).
#pragma once

#include <cstdint>

namespace vexil {

enum DctTable : uint32_t { DCT_INTRA = 0, DCT_INTER = 1 };

// Orthonormal 2-D DCT-II of 64 samples in block order (row-major); out[8r + c]
// has vertical frequency r and horizontal frequency c. The portable
// reference; the SSE2 version does the same operations in the same order, so
// both give the same floats (EncoderKernels picks one).
void ForwardDctReference(const float in[64], float out[64]);
#if defined(__SSE2__)
void ForwardDctSse2(const float in[64], float out[64]);
#endif

// For table t and quantizer q: 64 factors (block order) that take an
// orthonormal coefficient to the decoder's coefficient unit. The decoder's
// basis function of position p is the orthonormal one times 1 / factor[p].
const float* DctCoefficientScale(DctTable table, uint32_t q);

// Per block position, the largest coefficient magnitude whose dequantizing
// product (coefficient x factor) stays inside 32 signed bits (64 entries).
const int32_t* DctCoefficientLimits(DctTable table, uint32_t q);

// The decoder's inverse transform of `block` (block order) with quantizer row
// `quant`, every output ((x + 127) >> 8) kept whole: its low 8 bits are what
// the decoder writes.
void IdctUnwrapped(const int16_t block[64], const uint32_t quant[64], int32_t out[64]);

}  // namespace vexil
