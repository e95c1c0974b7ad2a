// AVX2 kernels of the inverse transforms: eight lanes (four for the
// sixteen-point steps), and the SSE2 kernels for lengths below 128.
#include "audio/audio_transforms_kernels.h"

#if VEXIL_X86
#include <immintrin.h>

#include "audio/audio_transforms_simd.h"
#include "audio/audio_transforms_sse2.h"

namespace vexil {
namespace {

struct Avx2 {
  using T = __m256;
  static constexpr int kLanes = 8;

  static T Load(const float* p) { return _mm256_loadu_ps(p); }
  static void Store(float* p, T v) { _mm256_storeu_ps(p, v); }
  static T Add(T a, T b) { return _mm256_add_ps(a, b); }
  static T Sub(T a, T b) { return _mm256_sub_ps(a, b); }
  static T Mul(T a, T b) { return _mm256_mul_ps(a, b); }
  static T Xor(T a, T b) { return _mm256_xor_ps(a, b); }
  static T Blend(T mask, T a, T b) { return _mm256_blendv_ps(b, a, mask); }
  static T Set1(float x) { return _mm256_set1_ps(x); }
  static T SetPairs(float even, float odd) {
    return _mm256_setr_ps(even, odd, even, odd, even, odd, even, odd);
  }
  static T LaneMask(uint32_t bits) {
    const __m256i lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256i set = _mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), lane);
    return _mm256_castsi256_ps(_mm256_cmpeq_epi32(set, lane));
  }
  static T ReverseLanes(T v) {
    return _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0));
  }
  static T ReversePairs(T v) {
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(0, 1, 2, 3)));
  }
  static T SwapPairs(T v) { return _mm256_permute_ps(v, _MM_SHUFFLE(2, 3, 0, 1)); }
  static T EvenTwice(T v) { return _mm256_moveldup_ps(v); }
  static T OddTwice(T v) { return _mm256_movehdup_ps(v); }

  // The shuffles work within halves: the even (odd) values come out as points
  // 0 1 4 5 | 2 3 6 7, and the middle pairs change places.
  static T InOrder(T v) {
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(3, 1, 2, 0)));
  }
  static void LoadComplex(const float* p, T& re, T& im) {
    const T a = Load(p), b = Load(p + 8);
    re = InOrder(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    im = InOrder(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
  }

  // r[k] = eight values of run k; out: r[l] = value l of every run.
  static void Transpose8(T* r) {
    const T t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const T t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const T t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const T t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const T s0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const T s1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const T s2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const T s3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    const T s4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
    const T s5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
    const T s6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
    const T s7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
    r[0] = _mm256_permute2f128_ps(s0, s4, 0x20);
    r[1] = _mm256_permute2f128_ps(s1, s5, 0x20);
    r[2] = _mm256_permute2f128_ps(s2, s6, 0x20);
    r[3] = _mm256_permute2f128_ps(s3, s7, 0x20);
    r[4] = _mm256_permute2f128_ps(s0, s4, 0x31);
    r[5] = _mm256_permute2f128_ps(s1, s5, 0x31);
    r[6] = _mm256_permute2f128_ps(s2, s6, 0x31);
    r[7] = _mm256_permute2f128_ps(s3, s7, 0x31);
  }

  template <class C>
  static void LoadRuns(const float* re, const float* im, const size_t* offsets, C* p) {
    T r[8], i[8];
    for (int k = 0; k < 8; ++k) {
      r[k] = Load(re + offsets[k]);
      i[k] = Load(im + offsets[k]);
    }
    Transpose8(r);
    Transpose8(i);
    for (int l = 0; l < 8; ++l) p[l] = {r[l], i[l]};
  }

  template <class C>
  static void StoreRuns(float* a, size_t m, size_t first, const C* p) {
    constexpr size_t kReversed[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int l = 0; l < 8; ++l) {
      float* out = a + 2 * (kReversed[l] * (m / 8) + first);
      const T lo = _mm256_unpacklo_ps(p[l].re, p[l].im);  // points 0 1 | 4 5
      const T hi = _mm256_unpackhi_ps(p[l].re, p[l].im);  // points 2 3 | 6 7
      Store(out, _mm256_permute2f128_ps(lo, hi, 0x20));
      Store(out + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    }
  }
};

const TransformKernels kAvx2 = {
    "avx2",
    [](const TransformPlan& plan, float* a) {
      RealFftSimd<Avx2, Sse2>(plan, a, plan.groups8, *TransformKernelsSse2());
    },
    [](const TransformPlan& plan, float* a) {
      DctSimd<Avx2, Sse2>(plan, a, plan.groups8, *TransformKernelsSse2());
    }};

}  // namespace

const TransformKernels* TransformKernelsAvx2() {
  return &kAvx2;
}

}  // namespace vexil

#else

namespace vexil {
const TransformKernels* TransformKernelsAvx2() {
  return nullptr;
}
}  // namespace vexil

#endif
