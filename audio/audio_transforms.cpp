#include "audio/audio_transforms.h"

#include <array>
#include <bit>
#include <cstring>
#include <numbers>

namespace vexil {
namespace {

constexpr uint32_t kMinLength = 4;
constexpr uint32_t kMaxLength = 65536;

bool ValidLength(uint32_t n) { return n >= kMinLength && n <= kMaxLength && (n & (n - 1)) == 0; }

// cos(pi/4) as the tables store it.
constexpr float kCos45 = 0.70710678118654752440f;

// ---------------------------------------------------------------------------
// Complex FFT of m points stored as (re, im) float pairs, natural order in and
// out, no scaling. kSign = +1 computes X[k] = sum x[j] exp(+2 pi i jk/m), kSign
// = -1 the same with exp(-...).
//
// Split-radix decimation in frequency, depth first: one L-shaped step turns the
// m-point problem into an m/2-point problem on the first half (the even
// outputs) and two m/4-point problems on the last quarters (outputs 4k+1 and
// 4k+3). Every sub-problem leaves its outputs in bit-reversed order, so one
// permutation at the end restores natural order.
//
// The twiddle table for a step over m points is the sub-table for 2m floats at
// w[nw - m/2]: entry 4t holds cos, sin, cos3, sin3 of the angle 2 pi (2t)/m.
// Odd twiddle indices lie halfway between two stored ones and are interpolated
// with the half-angle factors in entries 2 and 3:
//   cos(x) = (cos(x - d) + cos(x + d)) * 0.5 / cos(d).
// ---------------------------------------------------------------------------

// The point pair (x0 + x2, x1 + x3) stays in the first half; (x0 - x2) +- i(x1 - x3)
// go to the last quarters, turned by the twiddles (c1 + i s1) and (c3 + i s3)
// (sines already carrying the transform's sign).
inline void SplitButterfly(float* a0, float* a1, float* a2, float* a3, float sign, float c1,
                           float s1, float c3, float s3) {
  const float x0r = a0[0], x0i = a0[1];
  const float x1r = a1[0], x1i = a1[1];
  const float x2r = a2[0], x2i = a2[1];
  const float x3r = a3[0], x3i = a3[1];
  a0[0] = x0r + x2r;
  a0[1] = x0i + x2i;
  a1[0] = x1r + x3r;
  a1[1] = x1i + x3i;
  const float ur = x0r - x2r, ui = x0i - x2i;
  const float vr = x1r - x3r, vi = x1i - x3i;
  const float y1r = ur - sign * vi, y1i = ui + sign * vr;
  const float y3r = ur + sign * vi, y3i = ui - sign * vr;
  a2[0] = y1r * c1 - y1i * s1;
  a2[1] = y1r * s1 + y1i * c1;
  a3[0] = y3r * c3 - y3i * s3;
  a3[1] = y3r * s3 + y3i * c3;
}

// The same without twiddles (index 0).
inline void SplitButterfly0(float* a0, float* a1, float* a2, float* a3, float sign) {
  const float x0r = a0[0], x0i = a0[1];
  const float x1r = a1[0], x1i = a1[1];
  const float x2r = a2[0], x2i = a2[1];
  const float x3r = a3[0], x3i = a3[1];
  a0[0] = x0r + x2r;
  a0[1] = x0i + x2i;
  a1[0] = x1r + x3r;
  a1[1] = x1i + x3i;
  const float ur = x0r - x2r, ui = x0i - x2i;
  const float vr = x1r - x3r, vi = x1i - x3i;
  a2[0] = ur - sign * vi;
  a2[1] = ui + sign * vr;
  a3[0] = ur + sign * vi;
  a3[1] = ui - sign * vr;
}

// Two points: sum and difference.
inline void Leaf2(float* a) {
  const float x0r = a[0], x0i = a[1], x1r = a[2], x1i = a[3];
  a[0] = x0r + x1r;
  a[1] = x0i + x1i;
  a[2] = x0r - x1r;
  a[3] = x0i - x1i;
}

template <int kSign>
inline void Leaf4(float* a) {
  SplitButterfly0(a, a + 2, a + 4, a + 6, kSign);
  Leaf2(a);
}

template <int kSign>
inline void Leaf8(float* a) {
  constexpr float s = kSign;
  SplitButterfly0(a, a + 4, a + 8, a + 12, s);
  // Index 1: the angle pi/4 and its triple.
  SplitButterfly(a + 2, a + 6, a + 10, a + 14, s, kCos45, s * kCos45, -kCos45, s * kCos45);
  Leaf4<kSign>(a);
  Leaf2(a + 8);
  Leaf2(a + 12);
}

// One L-shaped step over m >= 16 points with the sub-table `w` for 2m floats.
template <int kSign>
void SplitStep(float* a, uint32_t m, const float* w) {
  constexpr float s = kSign;
  const uint32_t q = m / 4;  // points per quarter
  const uint32_t e = m / 8;  // the index whose angle is pi/4
  float* a1 = a + 2 * q;
  float* a2 = a + 4 * q;
  float* a3 = a + 6 * q;
  const float half1 = w[2], half3 = w[3];
  const float w1 = w[1];
  // Each round handles the indices j (even) and j + 1 and their partners q - j
  // and q - j - 1, whose angles are the quarter turn minus j's: their cosine
  // and sine trade places (and the triple angle's change sign).
  float c1 = 1, s1 = 0, c3 = 1, s3 = 0;  // angle of index j, unsigned
  for (uint32_t j = 0; j < e; j += 2) {
    float n1c, n1s, n3c, n3s;  // index j + 2
    if (j + 2 < e) {
      const float* t = w + 2 * (j + 2);
      n1c = t[0];
      n1s = t[1];
      n3c = t[2];
      n3s = t[3];
    } else {
      n1c = w1;
      n1s = w1;
      n3c = -w1;
      n3s = w1;
    }
    const float h1c = float((double(c1) + n1c) * half1), h1s = float((double(s1) + n1s) * half1);  // index j + 1
    const float h3c = float((double(c3) + n3c) * half3), h3s = float((double(s3) + n3s) * half3);
    const uint32_t j1 = j + 1;
    if (j == 0) {
      SplitButterfly0(a, a1, a2, a3, s);
    } else {
      const uint32_t p = 2 * j;
      SplitButterfly(a + p, a1 + p, a2 + p, a3 + p, s, c1, s * s1, c3, s * s3);
      const uint32_t r = 2 * (q - j);
      SplitButterfly(a + r, a1 + r, a2 + r, a3 + r, s, s1, s * c1, -s3, -s * c3);
    }
    const uint32_t p1 = 2 * j1;
    SplitButterfly(a + p1, a1 + p1, a2 + p1, a3 + p1, s, h1c, s * h1s, h3c, s * h3s);
    const uint32_t r1 = 2 * (q - j1);
    SplitButterfly(a + r1, a1 + r1, a2 + r1, a3 + r1, s, h1s, s * h1c, -h3s, -s * h3c);
    c1 = n1c;
    s1 = n1s;
    c3 = n3c;
    s3 = n3s;
  }
  const uint32_t p = 2 * e;
  SplitButterfly(a + p, a1 + p, a2 + p, a3 + p, s, w1, s * w1, -w1, s * w1);
}

template <int kSign>
void SplitRadix(float* a, uint32_t m, const float* w, uint32_t nw) {
  switch (m) {
    case 1:
      return;
    case 2:
      Leaf2(a);
      return;
    case 4:
      Leaf4<kSign>(a);
      return;
    case 8:
      Leaf8<kSign>(a);
      return;
    default:
      break;
  }
  SplitStep<kSign>(a, m, w + nw - m / 2);
  SplitRadix<kSign>(a, m / 2, w, nw);
  SplitRadix<kSign>(a + m, m / 4, w, nw);
  SplitRadix<kSign>(a + m + m / 2, m / 4, w, nw);
}

constexpr std::array<uint8_t, 256> MakeByteReversal() {
  std::array<uint8_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t r = 0;
    for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
    t[i] = static_cast<uint8_t>(r);
  }
  return t;
}
constexpr std::array<uint8_t, 256> kByteReversal = MakeByteReversal();

// Puts the m points (m a power of two) from bit-reversed into natural order.
void BitReversePoints(float* a, uint32_t m) {
  if (m <= 2) return;
  const int shift = 32 - std::countr_zero(m);
  for (uint32_t p = 1; p + 1 < m; ++p) {
    const uint32_t r = (uint32_t{kByteReversal[p & 255]} << 24 |
                        uint32_t{kByteReversal[(p >> 8) & 255]} << 16 |
                        uint32_t{kByteReversal[(p >> 16) & 255]} << 8) >>
                       shift;
    if (p < r) {
      float t[2];
      std::memcpy(t, a + 2 * p, sizeof(t));
      std::memcpy(a + 2 * p, a + 2 * r, sizeof(t));
      std::memcpy(a + 2 * r, t, sizeof(t));
    }
  }
}

// n floats = n/2 complex points; the twiddle table has nw >= n/4 entries.
template <int kSign>
void ComplexFft(uint32_t n, float* a, const float* w, uint32_t nw) {
  const uint32_t m = n / 2;
  SplitRadix<kSign>(a, m, w, nw);
  BitReversePoints(a, m);
}

// Makes the twiddle table cover length n (recording nw and invalidating the
// cosine table, which lies behind it).
void EnsureTwiddles(uint32_t n, int32_t* ip, float* w) {
  const uint32_t nw = static_cast<uint32_t>(ip[0]);
  if (n > 4 * nw) {
    ip[0] = static_cast<int32_t>(n / 4);
    ip[1] = 1;
    if (n > 11) BuildTwiddleTable(n / 4, w);
  }
}

// The step between the half-length complex FFT and the real transform.
// m = n/2, ks = 2 nc / m; the two forms differ in the sign of the cross terms.
template <bool kBackward>
void RealSplit(uint32_t n, float* a, uint32_t nc, const float* c) {
  const uint32_t m = n / 2;
  const uint32_t ks = 2 * nc / m;
  uint32_t kk = 0;
  for (uint32_t j = 2; j < m; j += 2) {
    const uint32_t k = n - j;
    kk += ks;
    const float wkr = 0.5f - c[nc - kk];
    const float wki = c[kk];
    const float xr = a[j] - a[k];
    const float xi = a[j + 1] + a[k + 1];
    float yr, yi;
    if constexpr (kBackward) {
      yr = wkr * xr + wki * xi;
      yi = wkr * xi - wki * xr;
    } else {
      yr = wkr * xr - wki * xi;
      yi = wkr * xi + wki * xr;
    }
    a[j] -= yr;
    a[j + 1] -= yi;
    a[k] += yr;
    a[k + 1] -= yi;
  }
}

}  // namespace

void BuildTwiddleTable(uint32_t nw, float* w) {
  if (nw <= 2) return;
  uint32_t nwh = nw / 2;
  const double delta = (std::numbers::pi / 4) / nwh;
  w[0] = 1;
  w[1] = static_cast<float>(std::cos(delta * nwh));
  if (nwh >= 4) {
    w[2] = static_cast<float>(0.5 / std::cos(delta * 2));
    w[3] = static_cast<float>(0.5 / std::cos(delta * 6));
  }
  for (uint32_t j = 4; j < nwh; j += 4) {
    w[j] = static_cast<float>(std::cos(delta * j));
    w[j + 1] = static_cast<float>(std::sin(delta * j));
    w[j + 2] = static_cast<float>(std::cos(3 * delta * j));
    w[j + 3] = static_cast<float>(std::sin(3 * delta * j));
  }
  // Each sub-table serves the half-length transform: every other entry group
  // of the one before it.
  uint32_t nw0 = 0;
  while (nwh > 2) {
    const uint32_t nw1 = nw0 + nwh;
    nwh /= 2;
    w[nw1] = 1;
    w[nw1 + 1] = w[1];
    if (nwh >= 4) {
      w[nw1 + 2] = static_cast<float>(0.5 / w[nw0 + 4]);
      w[nw1 + 3] = static_cast<float>(0.5 / w[nw0 + 6]);
    }
    for (uint32_t j = 4; j < nwh; j += 4) {
      w[nw1 + j] = w[nw0 + 2 * j];
      w[nw1 + j + 1] = w[nw0 + 2 * j + 1];
      w[nw1 + j + 2] = w[nw0 + 2 * j + 2];
      w[nw1 + j + 3] = w[nw0 + 2 * j + 3];
    }
    nw0 = nw1;
  }
}

void BuildCosineTable(uint32_t nc, float* c) {
  if (nc <= 1) return;
  const uint32_t nch = nc / 2;
  const double delta = (std::numbers::pi / 4) / nch;
  c[0] = static_cast<float>(std::cos(delta * nch));
  c[nch] = 0.5f * c[0];
  for (uint32_t j = 1; j < nch; ++j) {
    c[j] = static_cast<float>(0.5 * std::cos(delta * j));
    c[nc - j] = static_cast<float>(0.5 * std::sin(delta * j));
  }
}

void InverseRealFft(uint32_t n, float* a, int32_t* ip, float* w) {
  if (!ValidLength(n)) return;
  EnsureTwiddles(n, ip, w);
  const uint32_t nw = static_cast<uint32_t>(ip[0]);
  uint32_t nc = static_cast<uint32_t>(ip[1]);
  if (n > 4 * nc) {
    nc = n / 4;
    ip[1] = static_cast<int32_t>(nc);
    if (n > 7) BuildCosineTable(nc, w + nw);
  }
  a[1] = 0.5f * (a[0] - a[1]);
  a[0] -= a[1];
  if (n > 4) RealSplit<true>(n, a, nc, w + nw);
  ComplexFft<-1>(n, a, w, nw);
}

void InverseDct(uint32_t n, float* a, int32_t* ip, float* w) {
  if (!ValidLength(n)) return;
  EnsureTwiddles(n, ip, w);
  const uint32_t nw = static_cast<uint32_t>(ip[0]);
  uint32_t nc = static_cast<uint32_t>(ip[1]);
  if (n > nc) {
    nc = n;
    ip[1] = static_cast<int32_t>(nc);
    BuildCosineTable(nc, w + nw);
  }
  const float* c = w + nw;
  const uint32_t m = n / 2;
  const uint32_t ks = nc / n;
  uint32_t kk = 0;
  for (uint32_t j = 1; j < m; ++j) {
    const uint32_t k = n - j;
    kk += ks;
    const float wkr = c[kk] - c[nc - kk];
    const float wki = c[kk] + c[nc - kk];
    const float xr = wki * a[j] - wkr * a[k];
    a[j] = wkr * a[j] + wki * a[k];
    a[k] = xr;
  }
  a[m] *= c[0];
  ComplexFft<+1>(n, a, w, nw);
  if (n > 4) RealSplit<false>(n, a, nc, c);
  const float x = a[0] - a[1];
  a[0] += a[1];
  for (uint32_t j = 2; j < n; j += 2) {
    a[j - 1] = a[j] - a[j + 1];
    a[j] += a[j + 1];
  }
  a[n - 1] = x;
}

}  // namespace vexil
