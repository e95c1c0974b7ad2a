#include "encoder/encoder_kernels.h"

#include <cstdlib>
#include <cstring>

#include "encoder/forward_dct.h"
#include "platform/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vexil {

uint32_t Sad8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
  uint32_t sum = 0;
  for (int r = 0; r < 8; ++r, a += a_pitch, b += b_pitch)
    for (int c = 0; c < 8; ++c) sum += static_cast<uint32_t>(std::abs(a[c] - b[c]));
  return sum;
}

uint32_t Sse8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
  uint32_t sum = 0;
  for (int r = 0; r < 8; ++r, a += a_pitch, b += b_pitch) {
    for (int c = 0; c < 8; ++c) {
      const int32_t d = a[c] - b[c];
      sum += static_cast<uint32_t>(d * d);
    }
  }
  return sum;
}

#if defined(__SSE2__)
namespace {

inline __m128i LoadTwoRows(const uint8_t* p, uint32_t pitch) {
  uint64_t r0, r1;
  std::memcpy(&r0, p, 8);
  std::memcpy(&r1, p + pitch, 8);
  return _mm_set_epi64x(static_cast<int64_t>(r1), static_cast<int64_t>(r0));
}

}  // namespace

uint32_t Sad8x8Sse2(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < 8; r += 2) {
    sum = _mm_add_epi64(sum, _mm_sad_epu8(LoadTwoRows(a + r * a_pitch, a_pitch),
                                          LoadTwoRows(b + r * b_pitch, b_pitch)));
  }
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sum) + _mm_extract_epi16(sum, 4));
}

uint32_t Sse8x8Sse2(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
  const __m128i zero = _mm_setzero_si128();
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < 8; r += 2) {
    const __m128i x = LoadTwoRows(a + r * a_pitch, a_pitch);
    const __m128i y = LoadTwoRows(b + r * b_pitch, b_pitch);
    // |x - y| per byte, widened to 16 bits and squared-and-paired into 32 bits.
    const __m128i d = _mm_or_si128(_mm_subs_epu8(x, y), _mm_subs_epu8(y, x));
    const __m128i lo = _mm_unpacklo_epi8(d, zero), hi = _mm_unpackhi_epi8(d, zero);
    sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
  }
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sum));
}
#endif

const EncoderKernels& SelectEncoderKernels(uint32_t cpu_features) {
  static const EncoderKernels reference = {Sad8x8Reference, Sse8x8Reference, ForwardDctReference};
#if defined(__SSE2__)
  static const EncoderKernels sse2 = {Sad8x8Sse2, Sse8x8Sse2, ForwardDctSse2};
  if (cpu_features & CPU_SSE2) return sse2;
#endif
  return reference;
}

}  // namespace vexil
