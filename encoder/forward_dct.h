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
// reference; the SIMD versions (encoder_kernels.h) do the same operations in
// the same order on the same basis, so all give the same floats.
void ForwardDctReference(const float in[64], float out[64]);

// The basis in float: cosine[frequency][sample], and by_sample the same
// transposed, its rows aligned for vector loads.
struct DctBasis {
  float cosine[8][8];
  alignas(16) float by_sample[8][8];
};
const DctBasis& ForwardDctBasis();

// For table t and quantizer q: 64 factors (block order) that take an
// orthonormal coefficient to the decoder's coefficient unit. The decoder's
// basis function of position p is the orthonormal one times 1 / factor[p].
const float* DctCoefficientScale(DctTable table, uint32_t q);

// One row's tables in scan order, for the quantizing kernel: the scale, its
// inverse (the orthonormal size of one coefficient unit) and the limits
// below as floats.
struct DctRowByScan {
  float scale[64];
  float step[64];
  float ceiling[64];
};
const DctRowByScan& DctRowTables(DctTable table, uint32_t q);

// Per block position, the largest coefficient magnitude whose dequantizing
// product (coefficient x factor) stays inside 32 signed bits (64 entries).
const int32_t* DctCoefficientLimits(DctTable table, uint32_t q);

}  // namespace vexil
