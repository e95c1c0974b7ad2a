#include "encoder/forward_dct.h"

#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "video/quantizer_tables.h"

namespace vexil {
namespace {

// The decoder's 1-D transform in real arithmetic (MUL(x, k) = x k / 2048).
void Transform8Real(const double s[8], double d[8]) {
  const double a0 = s[0] + s[4], a1 = s[0] - s[4], a2 = s[2] + s[6];
  const double a3 = (s[2] - s[6]) * 2896 / 2048;
  const double a4 = s[5] + s[3], a5 = s[5] - s[3], a6 = s[1] + s[7], a7 = s[1] - s[7];
  const double b0 = a4 + a6, b1 = (a5 + a7) * 3784 / 2048;
  const double b2 = a5 * -5352 / 2048 - b0 + b1;
  const double b3 = (a6 - a4) * 2896 / 2048 - b2;
  const double b4 = a7 * 2217 / 2048 + b3 - b1;
  d[0] = a0 + a2 + b0;
  d[1] = a1 + a3 - a2 + b2;
  d[2] = a1 - a3 + a2 + b3;
  d[3] = a0 - a2 - b4;
  d[4] = a0 - a2 + b4;
  d[5] = a1 - a3 + a2 - b3;
  d[6] = a1 + a3 - a2 - b2;
  d[7] = a0 + a2 - b0;
}

struct Tables {
  float cosine[8][8];                 // orthonormal DCT-II basis: [frequency][sample]
  alignas(16) float by_sample[8][8];  // the same transposed: [sample][frequency]
  float scale[2][16][64];
  int32_t limit[2][16][64];

  Tables() {
    for (int u = 0; u < 8; ++u) {
      const double a = u == 0 ? std::sqrt(1.0 / 8) : std::sqrt(2.0 / 8);
      for (int k = 0; k < 8; ++k)
        cosine[u][k] = static_cast<float>(a * std::cos((2 * k + 1) * u * M_PI / 16));
    }
    for (int u = 0; u < 8; ++u)
      for (int k = 0; k < 8; ++k) by_sample[k][u] = cosine[u][k];
    // The decoder's transform is the orthonormal one with a gain per
    // frequency; the table factors and the shifts (11 at dequantization, 8
    // at the end) scale it further.
    double gain[8];
    for (int r = 0; r < 8; ++r) {
      double s[8] = {}, d[8];
      s[r] = 1;
      Transform8Real(s, d);
      double sum = 0;
      for (double v : d) sum += v * v;
      gain[r] = std::sqrt(sum);
    }
    for (int t = 0; t < 2; ++t) {
      for (int q = 0; q < 16; ++q) {
        for (int p = 0; p < 64; ++p) {
          const double factor = t == DCT_INTRA ? kIntraQuant[q][p] : kInterQuant[q][p];
          const double g = factor / 2048.0 / 256.0 * gain[p / 8] * gain[p % 8];
          scale[t][q][p] = static_cast<float>(1.0 / g);
          limit[t][q][p] =
              static_cast<int32_t>(std::fmin(32767.0, std::floor(2147483647.0 / factor)));
        }
      }
    }
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

// (x * k) >> 11 with a wrapping 32-bit product, as the decoder computes it.
inline uint32_t Mul(uint32_t x, int32_t k) {
  return static_cast<uint32_t>(static_cast<int32_t>(x * static_cast<uint32_t>(k)) >> 11);
}

inline void Transform8(const uint32_t* s, int in_step, uint32_t* d, int out_step) {
  const uint32_t s0 = s[0], s1 = s[in_step], s2 = s[2 * in_step], s3 = s[3 * in_step];
  const uint32_t s4 = s[4 * in_step], s5 = s[5 * in_step], s6 = s[6 * in_step], s7 = s[7 * in_step];
  const uint32_t a0 = s0 + s4, a1 = s0 - s4, a2 = s2 + s6, a3 = Mul(s2 - s6, 2896);
  const uint32_t a4 = s5 + s3, a5 = s5 - s3, a6 = s1 + s7, a7 = s1 - s7;
  const uint32_t b0 = a4 + a6, b1 = Mul(a5 + a7, 3784);
  const uint32_t b2 = Mul(a5, -5352) - b0 + b1;
  const uint32_t b3 = Mul(a6 - a4, 2896) - b2;
  const uint32_t b4 = Mul(a7, 2217) + b3 - b1;
  d[0] = a0 + a2 + b0;
  d[out_step] = a1 + a3 - a2 + b2;
  d[2 * out_step] = a1 - a3 + a2 + b3;
  d[3 * out_step] = a0 - a2 - b4;
  d[4 * out_step] = a0 - a2 + b4;
  d[5 * out_step] = a1 - a3 + a2 - b3;
  d[6 * out_step] = a1 + a3 - a2 - b2;
  d[7 * out_step] = a0 + a2 - b0;
}

}  // namespace

void ForwardDctReference(const float in[64], float out[64]) {
  const auto& c = GetTables().cosine;
  float rows[64];  // horizontal pass: rows[8y + v]
  for (int y = 0; y < 8; ++y) {
    const float* x = in + 8 * y;
    for (int v = 0; v < 8; ++v) {
      float sum = 0;
      for (int k = 0; k < 8; ++k) sum += x[k] * c[v][k];
      rows[8 * y + v] = sum;
    }
  }
  for (int u = 0; u < 8; ++u) {
    for (int v = 0; v < 8; ++v) {
      float sum = 0;
      for (int k = 0; k < 8; ++k) sum += rows[8 * k + v] * c[u][k];
      out[8 * u + v] = sum;
    }
  }
}

#if defined(__SSE2__)
void ForwardDctSse2(const float in[64], float out[64]) {
  const Tables& t = GetTables();
  // Horizontal pass: each row's eight outputs at once, summing over the
  // samples in the reference's order.
  __m128 rows[8][2];
  for (int y = 0; y < 8; ++y) {
    __m128 lo = _mm_setzero_ps(), hi = _mm_setzero_ps();
    for (int k = 0; k < 8; ++k) {
      const __m128 x = _mm_set1_ps(in[8 * y + k]);
      lo = _mm_add_ps(lo, _mm_mul_ps(x, _mm_load_ps(t.by_sample[k])));
      hi = _mm_add_ps(hi, _mm_mul_ps(x, _mm_load_ps(t.by_sample[k] + 4)));
    }
    rows[y][0] = lo;
    rows[y][1] = hi;
  }
  // Vertical pass: output row u is the rows weighted by the basis of u.
  for (int u = 0; u < 8; ++u) {
    __m128 lo = _mm_setzero_ps(), hi = _mm_setzero_ps();
    for (int k = 0; k < 8; ++k) {
      const __m128 c = _mm_set1_ps(t.cosine[u][k]);
      lo = _mm_add_ps(lo, _mm_mul_ps(rows[k][0], c));
      hi = _mm_add_ps(hi, _mm_mul_ps(rows[k][1], c));
    }
    _mm_storeu_ps(out + 8 * u, lo);
    _mm_storeu_ps(out + 8 * u + 4, hi);
  }
}
#endif

const float* DctCoefficientScale(DctTable table, uint32_t q) {
  return GetTables().scale[table][q & 15];
}

const int32_t* DctCoefficientLimits(DctTable table, uint32_t q) {
  return GetTables().limit[table][q & 15];
}

void IdctUnwrapped(const int16_t block[64], const uint32_t quant[64], int32_t out[64]) {
  uint32_t tmp[64];
  for (int c = 0; c < 8; ++c) {
    uint32_t s[8];
    for (int r = 0; r < 8; ++r)
      s[r] = Mul(static_cast<uint32_t>(block[8 * r + c]), static_cast<int32_t>(quant[8 * r + c]));
    // A column of only its row-0 value gives eight copies of it, exactly as
    // the full transform does; no shortcut needed here.
    Transform8(s, 1, tmp + c, 8);
  }
  for (int r = 0; r < 8; ++r) {
    uint32_t d[8];
    Transform8(tmp + 8 * r, 1, d, 1);
    for (int c = 0; c < 8; ++c) out[8 * r + c] = static_cast<int32_t>(d[c] + 127) >> 8;
  }
}

}  // namespace vexil
