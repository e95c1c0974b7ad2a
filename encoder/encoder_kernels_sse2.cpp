// SSE2 kernels of the encoder: two 8-sample rows per register for the block
// differences, four frequencies per register for the forward DCT and the
// quantizer (the reference's products and sums in the reference's order).
#include "encoder/encoder_kernels.h"

#if VEXIL_X86
#include <emmintrin.h>

#include <cstring>

#include "encoder/forward_dct.h"

namespace vexil {
namespace {

inline __m128i LoadTwoRows(const uint8_t* p, uint32_t pitch) {
  uint64_t r0, r1;
  std::memcpy(&r0, p, 8);
  std::memcpy(&r1, p + pitch, 8);
  return _mm_set_epi64x(static_cast<int64_t>(r1), static_cast<int64_t>(r0));
}

uint32_t Sad8x8(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
  __m128i sum = _mm_setzero_si128();
  for (int r = 0; r < 8; r += 2) {
    sum = _mm_add_epi64(sum, _mm_sad_epu8(LoadTwoRows(a + r * a_pitch, a_pitch),
                                          LoadTwoRows(b + r * b_pitch, b_pitch)));
  }
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sum) + _mm_extract_epi16(sum, 4));
}

uint32_t Sse8x8(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
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

void ForwardDct(const float in[64], float out[64]) {
  const DctBasis& basis = ForwardDctBasis();
  // Horizontal pass: each row's eight outputs at once, summing over the
  // samples in the reference's order.
  __m128 rows[8][2];
  for (int y = 0; y < 8; ++y) {
    __m128 lo = _mm_setzero_ps(), hi = _mm_setzero_ps();
    for (int k = 0; k < 8; ++k) {
      const __m128 x = _mm_set1_ps(in[8 * y + k]);
      lo = _mm_add_ps(lo, _mm_mul_ps(x, _mm_load_ps(basis.by_sample[k])));
      hi = _mm_add_ps(hi, _mm_mul_ps(x, _mm_load_ps(basis.by_sample[k] + 4)));
    }
    rows[y][0] = lo;
    rows[y][1] = hi;
  }
  // Vertical pass: output row u is the rows weighted by the basis of u.
  for (int u = 0; u < 8; ++u) {
    __m128 lo = _mm_setzero_ps(), hi = _mm_setzero_ps();
    for (int k = 0; k < 8; ++k) {
      const __m128 c = _mm_set1_ps(basis.cosine[u][k]);
      lo = _mm_add_ps(lo, _mm_mul_ps(rows[k][0], c));
      hi = _mm_add_ps(hi, _mm_mul_ps(rows[k][1], c));
    }
    _mm_storeu_ps(out + 8 * u, lo);
    _mm_storeu_ps(out + 8 * u + 4, hi);
  }
}

float Quantize(const float f[64], const float scale[64], const float step[64],
               const float limit[64], float rounding, int16_t out[64], QuantizedShape* shape) {
  const __m128 offset = _mm_set1_ps(rounding), sign = _mm_set1_ps(-0.0f), zero = _mm_setzero_ps();
  const __m128i one = _mm_set1_epi32(1);
  // Position 0's error is not counted.
  const __m128 not_first = _mm_castsi128_ps(_mm_set_epi32(-1, -1, -1, 0));
  __m128 lanes = _mm_setzero_ps();
  uint64_t nonzero = 0, ones = 0;
  for (int p = 0; p < 64; p += 8) {
    __m128i c[2];
    for (int h = 0; h < 2; ++h) {
      const int i = p + 4 * h;
      const __m128 v = _mm_mul_ps(_mm_loadu_ps(f + i), _mm_loadu_ps(scale + i));
      const __m128 a =
          _mm_min_ps(_mm_add_ps(_mm_andnot_ps(sign, v), offset), _mm_loadu_ps(limit + i));
      const __m128i m = _mm_cvttps_epi32(a);
      const __m128i negative = _mm_castps_si128(_mm_cmplt_ps(v, zero));
      c[h] = _mm_sub_epi32(_mm_xor_si128(m, negative), negative);
      __m128 e = _mm_mul_ps(_mm_sub_ps(v, _mm_cvtepi32_ps(c[h])), _mm_loadu_ps(step + i));
      if (i == 0) e = _mm_and_ps(e, not_first);
      lanes = _mm_add_ps(lanes, _mm_mul_ps(e, e));
      // The four magnitudes ORed, and which are not zero and which are 1.
      __m128i either = _mm_or_si128(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
      either = _mm_or_si128(either, _mm_shuffle_epi32(either, _MM_SHUFFLE(2, 3, 0, 1)));
      shape->group[i / 4] = static_cast<uint32_t>(_mm_cvtsi128_si32(either));
      nonzero |=
          uint64_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(m, _mm_setzero_si128())))) << i;
      ones |= uint64_t(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(m, one)))) << i;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + p), _mm_packs_epi32(c[0], c[1]));
  }
  shape->nonzero = nonzero;
  shape->ones = ones;
  lanes = _mm_add_ps(lanes, _mm_movehl_ps(lanes, lanes));
  lanes = _mm_add_ss(lanes, _mm_shuffle_ps(lanes, lanes, 1));
  return _mm_cvtss_f32(lanes);
}

const EncoderKernels kSse2 = {"sse2", Sad8x8, Sse8x8, ForwardDct, Quantize};

}  // namespace

const EncoderKernels* EncoderKernelsSse2() {
  return &kSse2;
}

}  // namespace vexil

#else

namespace vexil {
const EncoderKernels* EncoderKernelsSse2() {
  return nullptr;
}
}  // namespace vexil

#endif
