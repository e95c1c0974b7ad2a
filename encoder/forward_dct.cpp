#include "encoder/forward_dct.h"

#include <cmath>
#include <numbers>

#include "video/idct.h"
#include "video/quantizer_tables.h"
#include "video/scan_tables.h"

namespace vexil {
namespace {

struct Tables {
  DctBasis basis;
  float scale[2][16][64];
  DctRowByScan by_scan[2][16];
  int32_t limit[2][16][64];

  Tables() {
    for (int u = 0; u < 8; ++u) {
      const double a = u == 0 ? std::sqrt(1.0 / 8) : std::sqrt(2.0 / 8);
      for (int k = 0; k < 8; ++k)
        basis.cosine[u][k] =
            static_cast<float>(a * std::cos((2 * k + 1) * u * std::numbers::pi / 16));
    }
    for (int u = 0; u < 8; ++u)
      for (int k = 0; k < 8; ++k) basis.by_sample[k][u] = basis.cosine[u][k];
    // The decoder's transform is the orthonormal one with a gain per
    // frequency; the table factors and the shifts (11 at dequantization, 8
    // at the end) scale it further.
    double gain[8];
    for (int r = 0; r < 8; ++r) {
      double s[8] = {}, d[8];
      s[r] = 1;
      InverseTransform8(s, 1, d, 1, [](double x, int32_t k) { return x * k / 2048; });
      double sum = 0;
      for (double v : d) sum += v * v;
      gain[r] = std::sqrt(sum);
    }
    for (int t = 0; t < 2; ++t) {
      for (int q = 0; q < 16; ++q) {
        double size[64];  // of one coefficient unit, orthonormal
        for (int p = 0; p < 64; ++p) {
          const double factor = t == DCT_INTRA ? kIntraQuant[q][p] : kInterQuant[q][p];
          const double g = factor / 2048.0 / 256.0 * gain[p / 8] * gain[p % 8];
          size[p] = g;
          scale[t][q][p] = static_cast<float>(1.0 / g);
          limit[t][q][p] =
              static_cast<int32_t>(std::fmin(32767.0, std::floor(2147483647.0 / factor)));
        }
        for (int k = 0; k < 64; ++k) {
          const int p = kCoefficientScan[k];
          DctRowByScan& row = by_scan[t][q];
          row.scale[k] = scale[t][q][p];
          row.step[k] = static_cast<float>(size[p]);
          row.ceiling[k] = static_cast<float>(limit[t][q][p]);
        }
      }
    }
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

const DctBasis& ForwardDctBasis() {
  return GetTables().basis;
}

void ForwardDctReference(const float in[64], float out[64]) {
  const auto& c = GetTables().basis.cosine;
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

const float* DctCoefficientScale(DctTable table, uint32_t q) {
  return GetTables().scale[table][q & 15];
}

const DctRowByScan& DctRowTables(DctTable table, uint32_t q) {
  return GetTables().by_scan[table][q & 15];
}

const int32_t* DctCoefficientLimits(DctTable table, uint32_t q) {
  return GetTables().limit[table][q & 15];
}

}  // namespace vexil
