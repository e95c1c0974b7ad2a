// The inverse transform on 8 lanes of 32 bits: the column pass works on all
// eight columns at once (one vector per row), then the block is transposed so
// the row pass does the same. The arithmetic is that of the reference: 32-bit
// wrapping products and sums, arithmetic shifts; the reference's zero-column
// shortcut gives the same values as the full transform, so it is not needed.
#include <immintrin.h>

#include "video/video_kernels.h"

namespace vexil {
namespace {

inline __m256i Mul(__m256i x, int32_t k) {
  return _mm256_srai_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(k)), 11);
}

inline void Transform8(__m256i s[8]) {
  const __m256i a0 = _mm256_add_epi32(s[0], s[4]), a1 = _mm256_sub_epi32(s[0], s[4]);
  const __m256i a2 = _mm256_add_epi32(s[2], s[6]), a3 = Mul(_mm256_sub_epi32(s[2], s[6]), 2896);
  const __m256i a4 = _mm256_add_epi32(s[5], s[3]), a5 = _mm256_sub_epi32(s[5], s[3]);
  const __m256i a6 = _mm256_add_epi32(s[1], s[7]), a7 = _mm256_sub_epi32(s[1], s[7]);
  const __m256i b0 = _mm256_add_epi32(a4, a6);
  const __m256i b1 = Mul(_mm256_add_epi32(a5, a7), 3784);
  const __m256i b2 = _mm256_add_epi32(_mm256_sub_epi32(Mul(a5, -5352), b0), b1);
  const __m256i b3 = _mm256_sub_epi32(Mul(_mm256_sub_epi32(a6, a4), 2896), b2);
  const __m256i b4 = _mm256_sub_epi32(_mm256_add_epi32(Mul(a7, 2217), b3), b1);
  const __m256i p02 = _mm256_add_epi32(a0, a2), m02 = _mm256_sub_epi32(a0, a2);
  const __m256i p13 = _mm256_sub_epi32(_mm256_add_epi32(a1, a3), a2);  // a1 + a3 - a2
  const __m256i m13 = _mm256_add_epi32(_mm256_sub_epi32(a1, a3), a2);  // a1 - a3 + a2
  s[0] = _mm256_add_epi32(p02, b0);
  s[1] = _mm256_add_epi32(p13, b2);
  s[2] = _mm256_add_epi32(m13, b3);
  s[3] = _mm256_sub_epi32(m02, b4);
  s[4] = _mm256_add_epi32(m02, b4);
  s[5] = _mm256_sub_epi32(m13, b3);
  s[6] = _mm256_sub_epi32(p13, b2);
  s[7] = _mm256_sub_epi32(p02, b0);
}

inline void Transpose8x8(__m256i v[8]) {
  const __m256i t0 = _mm256_unpacklo_epi32(v[0], v[1]), t1 = _mm256_unpackhi_epi32(v[0], v[1]);
  const __m256i t2 = _mm256_unpacklo_epi32(v[2], v[3]), t3 = _mm256_unpackhi_epi32(v[2], v[3]);
  const __m256i t4 = _mm256_unpacklo_epi32(v[4], v[5]), t5 = _mm256_unpackhi_epi32(v[4], v[5]);
  const __m256i t6 = _mm256_unpacklo_epi32(v[6], v[7]), t7 = _mm256_unpackhi_epi32(v[6], v[7]);
  const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
  const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
  const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
  const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
  v[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
  v[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
  v[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
  v[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
  v[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
  v[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
  v[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
  v[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

}  // namespace

__attribute__((target("avx2"))) void IdctAvx2(const int16_t block[64], const uint32_t quant[64],
                                              uint8_t out[64]) {
  __m256i v[8];
  for (int r = 0; r < 8; ++r) {
    const __m256i c =
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r)));
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quant + 8 * r));
    v[r] = _mm256_srai_epi32(_mm256_mullo_epi32(c, q), 11);
  }
  Transform8(v);
  Transpose8x8(v);
  Transform8(v);
  const __m256i bias = _mm256_set1_epi32(127), low = _mm256_set1_epi32(0xFF);
  for (int i = 0; i < 8; ++i)
    v[i] = _mm256_and_si256(_mm256_srai_epi32(_mm256_add_epi32(v[i], bias), 8), low);
  Transpose8x8(v);
  // Rows to bytes: the packs interleave 128-bit halves, the permute restores order.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  for (int i = 0; i < 8; i += 4) {
    const __m256i p01 = _mm256_packus_epi32(v[i], v[i + 1]);
    const __m256i p23 = _mm256_packus_epi32(v[i + 2], v[i + 3]);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(p01, p23), order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * i), bytes);
  }
}

}  // namespace vexil
