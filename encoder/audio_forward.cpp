#include "encoder/audio_forward.h"

#include <numbers>
#include <cmath>
#include <complex>
#include <utility>
#include <vector>

namespace vexil {
namespace {

using Complex = std::complex<double>;

// In-place radix-2 FFT, X[j] = sum x[k] exp(-2 pi i jk / n).
void Fft(std::vector<Complex>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  std::vector<Complex> twiddles;
  for (size_t length = 2; length <= n; length <<= 1) {
    twiddles.resize(length / 2);
    for (size_t k = 0; k < length / 2; ++k)
      twiddles[k] = std::polar(1.0, -2 * std::numbers::pi * double(k) / double(length));
    for (size_t start = 0; start < n; start += length) {
      for (size_t k = 0; k < length / 2; ++k) {
        const Complex u = a[start + k], v = a[start + k + length / 2] * twiddles[k];
        a[start + k] = u + v;
        a[start + k + length / 2] = u - v;
      }
    }
  }
}

}  // namespace

void ForwardAudioDct(uint32_t n, const float* x, double* out) {
  // X[j] = sum x[k] cos(pi j (k + 1/2) / n) through one complex FFT of the
  // reordered samples; the decoder's sum weighs a[0] fully and scales by
  // 2 / sqrt(n), hence a[0] = X[0] / (2 sqrt(n)) and a[j] = X[j] / sqrt(n).
  std::vector<Complex> v(n);
  for (uint32_t k = 0; k < n / 2; ++k) {
    v[k] = x[2 * k];
    v[n - 1 - k] = x[2 * k + 1];
  }
  Fft(v);
  const double root = std::sqrt(double(n));
  for (uint32_t j = 0; j < n; ++j) {
    const double X = (v[j] * std::polar(1.0, -std::numbers::pi * j / (2.0 * n))).real();
    out[j] = (j == 0 ? X / 2 : X) / root;
  }
}

void ForwardAudioRealFft(uint32_t n, const float* x, double* out) {
  // With C[j] + i S[j] the sums of x cos and x sin, the decoder's sum gives
  // back x when its inputs are C / sqrt(n) and S / sqrt(n).
  std::vector<Complex> v(x, x + n);
  Fft(v);
  const double root = std::sqrt(double(n));
  out[0] = v[0].real() / root;
  out[1] = v[n / 2].real() / root;
  for (uint32_t j = 1; j < n / 2; ++j) {
    out[2 * j] = v[j].real() / root;
    out[2 * j + 1] = -v[j].imag() / root;
  }
}

}  // namespace vexil
