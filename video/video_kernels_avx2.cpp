// AVX2 kernels of the plane decoder. The inverse transform works on 8 lanes
// of 32 bits: the column pass does all eight columns at once (one vector per
// row), then the block is transposed so the row pass does the same. The
// arithmetic is the reference's own butterfly (idct.h) on lanes: 32-bit
// wrapping products and sums, arithmetic shifts; the reference's zero-column
// shortcut gives the same values as the full transform, so it is not needed.
// The doubled put is the SSE2 set's (wider registers do not help rows of 16
// bytes), compiled here again so that this file keeps to itself.
#include "video/video_kernels.h"

#if VEXIL_X86
#include <immintrin.h>

#include "video/doubled_put_x86.h"
#include "video/idct.h"

namespace vexil {
namespace {

// Eight 32-bit lanes with the reference's wrapping sums and products.
struct Lanes {
  __m256i v;
};
inline Lanes operator+(Lanes a, Lanes b) {
  return {_mm256_add_epi32(a.v, b.v)};
}
inline Lanes operator-(Lanes a, Lanes b) {
  return {_mm256_sub_epi32(a.v, b.v)};
}
inline Lanes Mul(Lanes x, int32_t k) {
  return {_mm256_srai_epi32(_mm256_mullo_epi32(x.v, _mm256_set1_epi32(k)), 11)};
}

inline void Transform8(Lanes v[8]) {
  InverseTransform8(v, 1, v, 1, Mul);
}

inline void Transpose8x8(Lanes v[8]) {
  const __m256i t0 = _mm256_unpacklo_epi32(v[0].v, v[1].v);
  const __m256i t1 = _mm256_unpackhi_epi32(v[0].v, v[1].v);
  const __m256i t2 = _mm256_unpacklo_epi32(v[2].v, v[3].v);
  const __m256i t3 = _mm256_unpackhi_epi32(v[2].v, v[3].v);
  const __m256i t4 = _mm256_unpacklo_epi32(v[4].v, v[5].v);
  const __m256i t5 = _mm256_unpackhi_epi32(v[4].v, v[5].v);
  const __m256i t6 = _mm256_unpacklo_epi32(v[6].v, v[7].v);
  const __m256i t7 = _mm256_unpackhi_epi32(v[6].v, v[7].v);
  const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
  const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
  const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
  const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
  v[0].v = _mm256_permute2x128_si256(u0, u4, 0x20);
  v[1].v = _mm256_permute2x128_si256(u1, u5, 0x20);
  v[2].v = _mm256_permute2x128_si256(u2, u6, 0x20);
  v[3].v = _mm256_permute2x128_si256(u3, u7, 0x20);
  v[4].v = _mm256_permute2x128_si256(u0, u4, 0x31);
  v[5].v = _mm256_permute2x128_si256(u1, u5, 0x31);
  v[6].v = _mm256_permute2x128_si256(u2, u6, 0x31);
  v[7].v = _mm256_permute2x128_si256(u3, u7, 0x31);
}

void Idct(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]) {
  Lanes v[8];
  for (int r = 0; r < 8; ++r) {
    const __m256i c =
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * r)));
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quant + 8 * r));
    v[r].v = _mm256_srai_epi32(_mm256_mullo_epi32(c, q), 11);
  }
  Transform8(v);
  Transpose8x8(v);
  Transform8(v);
  const __m256i bias = _mm256_set1_epi32(127), low = _mm256_set1_epi32(0xFF);
  for (Lanes& row : v)
    row.v = _mm256_and_si256(_mm256_srai_epi32(_mm256_add_epi32(row.v, bias), 8), low);
  Transpose8x8(v);
  // Rows to bytes: the packs interleave 128-bit halves, the permute restores order.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  for (int i = 0; i < 8; i += 4) {
    const __m256i p01 = _mm256_packus_epi32(v[i].v, v[i + 1].v);
    const __m256i p23 = _mm256_packus_epi32(v[i + 2].v, v[i + 3].v);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(p01, p23), order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * i), bytes);
  }
}

const VideoKernels kAvx2 = {"avx2", Idct, Copy8x8Reference, PutDoubled};

}  // namespace

const VideoKernels* VideoKernelsAvx2() {
  return &kAvx2;
}

}  // namespace vexil

#else

namespace vexil {
const VideoKernels* VideoKernelsAvx2() {
  return nullptr;
}
}  // namespace vexil

#endif
