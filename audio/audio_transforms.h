// The audio decoder's two inverse transforms: an inverse real FFT and an
// inverse DCT, both in place on n floats (n a power of two, 4 to 4096) and both
// built on one split-radix complex FFT in single precision.
//
// Tables are built on the first call inside two areas the caller owns (each
// audio decoder has its own) and kept there: a call with a larger n than the
// areas were built for rebuilds them, a call with the same n does not.
//
//   index area (int32): [0] = twiddle-table length built so far (0 = none yet),
//                       [1] = cosine-table length built so far, [2] = the
//                       length the plan was made for, then the plan's leaf
//                       groups; at least TransformIndexInts(n) elements.
//   table area (float): the twiddle table w[0 .. nw-1], directly followed by the
//                       cosine table c[0 .. nc-1] and the plan (what depends
//                       on n alone: every step's twiddles and the real split's
//                       factors); RealFftTableFloats(n) or DctTableFloats(n)
//                       floats.
//
// Results (up to float rounding; no scaling beyond what is written here):
//   InverseRealFft: in data[0] = R[0], data[1] = R[n/2], data[2j] = R[j],
//     data[2j+1] = I[j] (0 < j < n/2); out data[k] = (R[0] + R[n/2] cos(pi k)) / 2
//     + sum_{j=1}^{n/2-1} (R[j] cos(2 pi j k / n) + I[j] sin(2 pi j k / n)).
//   InverseDct: out data[k] = sum_{j=0}^{n-1} a[j] cos(pi j (k + 1/2) / n).
// Both use the fastest kernels the processor allows (VEXIL_CPU_MASK limits the
// choice); every kernel set gives the same float bits.
// Threads: none of their own; one decoder's areas are used by one thread at a time.
#pragma once

#include <cstdint>

namespace vexil {

void InverseRealFft(uint32_t n, float* data, int32_t* index_area, float* table_area);
void InverseDct(uint32_t n, float* data, int32_t* index_area, float* table_area);

// Area sizes for transforms of length n.
constexpr uint32_t TransformIndexInts(uint32_t n) {
  return 3 + n / 64 + n / 128;
}
constexpr uint32_t TransformPlanFloats(uint32_t n) {
  return n + n / 2;
}
constexpr uint32_t RealFftTableFloats(uint32_t n) {
  return n / 4 + n / 4 + TransformPlanFloats(n);
}
constexpr uint32_t DctTableFloats(uint32_t n) {
  return n / 4 + n + TransformPlanFloats(n);
}

// The table builders the transforms use (exposed for their tests): the twiddle
// table of length nw (nothing for nw <= 2) and the cosine table of length nc
// (nothing for nc <= 1).
void BuildTwiddleTable(uint32_t nw, float* w);
void BuildCosineTable(uint32_t nc, float* c);

}  // namespace vexil
