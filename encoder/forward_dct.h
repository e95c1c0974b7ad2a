// The encoder's side of the 8x8 transform: an orthonormal forward DCT in
// float and the factors that turn its coefficients into the integer
// coefficients the decoder's tables expect. The inverse is the decoder's own
// (video/idct.h).
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

}  // namespace vexil
