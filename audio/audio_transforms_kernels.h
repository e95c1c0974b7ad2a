// The inverse transforms' kernel sets: the portable one, which is the
// reference, and the SSE2 and AVX2 ones, which give the reference's float bits
// for every input. audio_transforms.h is the interface the decoder uses; this
// one is for the kernels and their tests.
//
// Exactness: a kernel performs the reference's single-precision operations on
// the same operands for every value, only several independent ones at a time
// (no reassociation, no fused multiply-add). The reference's scalar arithmetic
// is single precision on every x86 build (32-bit too computes in SSE2
// registers), so the vector kernels reproduce it there.
#pragma once

#include <cstdint>
#include <span>

#include "platform/cpu.h"

namespace vexil {

// What a kernel needs, read from the caller's areas once the tables are ready
// for length n (see audio_transforms.h for the areas).
struct TransformPlan {
  uint32_t n;
  const float* cosines;  // the cosine table
  uint32_t cosine_count;
  // The twiddles of every L-shaped step of the n/2-point complex FFT, longest
  // step first: for a step over s points, four runs of s/4 floats (cos and sin
  // of 2 pi j / s, cos and sin of its triple, j < s/4).
  const float* steps;
  // The real split's factors (wkr, wki) for t = 0 .. n/4 - 2, as pairs.
  const float* split;
  // The leaf groups' descriptions for 4 and for 8 lanes (see the SIMD kernels):
  // bits 0-7 say which lanes hold an eight-point problem, bits 8 and up give
  // the first output point's index divided by the lane count.
  const int32_t* groups4;
  const int32_t* groups8;
};

// The two transforms of one instruction set, given ready tables.
struct TransformKernels {
  const char* name;
  void (*real_fft)(const TransformPlan& plan, float* data);
  void (*dct)(const TransformPlan& plan, float* data);
};

// The portable set, the reference.
const TransformKernels& TransformKernelsPortable();
// The SSE2 and AVX2 sets (audio_transforms_sse2.cpp, audio_transforms_avx2.cpp);
// null where they are not built.
const TransformKernels* TransformKernelsSse2();
const TransformKernels* TransformKernelsAvx2();
// Every set, the portable one first.
std::span<const KernelSet<TransformKernels>> TransformKernelSets();
// The fastest set a CpuFeatures() word allows (CPU_* bits; 0 gives the reference).
const TransformKernels& SelectTransformKernels(uint32_t cpu_features);

// The transforms of audio_transforms.h with a given kernel set (for the tests
// and the benchmark, which compare the sets).
void InverseRealFft(const TransformKernels& kernels, uint32_t n, float* data, int32_t* index_area,
                    float* table_area);
void InverseDct(const TransformKernels& kernels, uint32_t n, float* data, int32_t* index_area,
                float* table_area);

namespace {

// The real split's arithmetic on one pair of points: lo = point t + 1 and
// hi = point m - t - 1 of the m = n/2 complex points (t < m/2 - 1), with the
// factors (wkr, wki) of t. The inverse FFT takes the backward form, the DCT the
// forward one. Internal linkage: each instruction set's file compiles its own.
template <bool kBackward>
inline void RealSplitPoint(float* __restrict lo, float* __restrict hi, float wkr, float wki) {
  const float xr = lo[0] - hi[0];
  const float xi = lo[1] + hi[1];
  float yr, yi;
  if constexpr (kBackward) {
    yr = wkr * xr + wki * xi;
    yi = wkr * xi - wki * xr;
  } else {
    yr = wkr * xr - wki * xi;
    yi = wkr * xi + wki * xr;
  }
  lo[0] -= yr;
  lo[1] -= yi;
  hi[0] += yr;
  hi[1] -= yi;
}

}  // namespace

// The DCT's step before its complex FFT, portable, for any cosine table that
// covers n (the vector kernels handle only the table built for n itself).
void DctPreStepPortable(uint32_t n, float* data, uint32_t cosine_count, const float* cosines);

}  // namespace vexil
