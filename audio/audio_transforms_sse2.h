// The four-lane vector type of the transforms' SSE2 kernels (see
// audio_transforms_simd.h for what a vector type provides). The AVX2 kernels
// use it too, for steps too short for eight lanes. Internal linkage: each file
// that includes it compiles it for its own instruction set.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace vexil {
namespace {

struct Sse2 {
  using T = __m128;
  static constexpr int kLanes = 4;

  static T Load(const float* p) { return _mm_loadu_ps(p); }
  static void Store(float* p, T v) { _mm_storeu_ps(p, v); }
  static T Add(T a, T b) { return _mm_add_ps(a, b); }
  static T Sub(T a, T b) { return _mm_sub_ps(a, b); }
  static T Mul(T a, T b) { return _mm_mul_ps(a, b); }
  static T Xor(T a, T b) { return _mm_xor_ps(a, b); }
  static T Blend(T mask, T a, T b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
  }
  static T Set1(float x) { return _mm_set1_ps(x); }
  static T SetPairs(float even, float odd) { return _mm_setr_ps(even, odd, even, odd); }
  static T LaneMask(uint32_t bits) {
    const __m128i lane = _mm_setr_epi32(1, 2, 4, 8);
    const __m128i set = _mm_and_si128(_mm_set1_epi32(static_cast<int>(bits)), lane);
    return _mm_castsi128_ps(_mm_cmpeq_epi32(set, lane));
  }
  static T ReverseLanes(T v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }
  static T ReversePairs(T v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)); }
  static T SwapPairs(T v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)); }
  static T EvenTwice(T v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 0, 0)); }
  static T OddTwice(T v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 1, 1)); }

  static void LoadComplex(const float* p, T& re, T& im) {
    const T a = Load(p), b = Load(p + 4);
    re = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    im = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
  }

  // Four runs of eight points: each half of the runs is a 4 x 4 transpose.
  template <class C>
  static void LoadRuns(const float* re, const float* im, const size_t* offsets, C* p) {
    for (int half = 0; half < 8; half += 4) {
      T r0 = Load(re + offsets[0] + half), r1 = Load(re + offsets[1] + half);
      T r2 = Load(re + offsets[2] + half), r3 = Load(re + offsets[3] + half);
      T i0 = Load(im + offsets[0] + half), i1 = Load(im + offsets[1] + half);
      T i2 = Load(im + offsets[2] + half), i3 = Load(im + offsets[3] + half);
      _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
      _MM_TRANSPOSE4_PS(i0, i1, i2, i3);
      p[half] = {r0, i0};
      p[half + 1] = {r1, i1};
      p[half + 2] = {r2, i2};
      p[half + 3] = {r3, i3};
    }
  }

  template <class C>
  static void StoreRuns(float* a, size_t m, size_t first, const C* p) {
    constexpr size_t kReversed[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int l = 0; l < 8; ++l) {
      float* out = a + 2 * (kReversed[l] * (m / 8) + first);
      Store(out, _mm_unpacklo_ps(p[l].re, p[l].im));
      Store(out + 4, _mm_unpackhi_ps(p[l].re, p[l].im));
    }
  }
};

}  // namespace
}  // namespace vexil
