#include "audio/audio_transforms.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

#include "audio/audio_transforms_kernels.h"
#include "platform/cpu.h"

namespace vexil {
namespace {

constexpr uint32_t kMinLength = 4;
constexpr uint32_t kMaxLength = 4096;

bool ValidLength(uint32_t n) {
  return n >= kMinLength && n <= kMaxLength && (n & (n - 1)) == 0;
}

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
// The twiddles of the longest step (m points) come from the sub-table for 2m
// floats at w[nw - m/2]: entry 4t holds cos, sin, cos3, sin3 of the angle
// 2 pi (2t)/m. Odd twiddle indices lie halfway between two stored ones and are
// interpolated with the half-angle factors in entries 2 and 3:
//   cos(x) = (cos(x - d) + cos(x + d)) * 0.5 / cos(d).
// Each shorter step uses every other twiddle of the step before. They are
// expanded on the stack once per transform, so the steps' loops stay simple.
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

// The twiddles of one step over m >= 16 points, unsigned (the transform's
// sign is applied in the butterfly): cos and sin of 2 pi j / m and of its
// triple, for j < m/4, laid out as four runs of m/4 floats. `w` is the
// sub-table for 2m floats.
void ExpandTwiddles(const float* w, uint32_t m, float* out) {
  const uint32_t q = m / 4;  // points per quarter
  const uint32_t e = m / 8;  // the index whose angle is pi/4
  float* c1 = out;
  float* s1 = out + q;
  float* c3 = out + 2 * q;
  float* s3 = out + 3 * q;
  c1[0] = 1;
  s1[0] = 0;
  c3[0] = 1;
  s3[0] = 0;
  for (uint32_t j = 2; j < e; j += 2) {
    c1[j] = w[2 * j];
    s1[j] = w[2 * j + 1];
    c3[j] = w[2 * j + 2];
    s3[j] = w[2 * j + 3];
  }
  c1[e] = w[1];
  s1[e] = w[1];
  c3[e] = -w[1];
  s3[e] = w[1];
  // Odd indices lie halfway between two stored ones (worked out in double, so
  // that they are as close as the stored ones).
  const double half1 = w[2], half3 = w[3];
  for (uint32_t j = 1; j < e; j += 2) {
    c1[j] = static_cast<float>((double(c1[j - 1]) + c1[j + 1]) * half1);
    s1[j] = static_cast<float>((double(s1[j - 1]) + s1[j + 1]) * half1);
    c3[j] = static_cast<float>((double(c3[j - 1]) + c3[j + 1]) * half3);
    s3[j] = static_cast<float>((double(s3[j - 1]) + s3[j + 1]) * half3);
  }
  // Beyond pi/4 the angles are the quarter turn minus earlier ones: cosine and
  // sine trade places (and the triple angle's change sign).
  for (uint32_t j = 1; j < e; ++j) {
    c1[q - j] = s1[j];
    s1[q - j] = c1[j];
    c3[q - j] = -s3[j];
    s3[q - j] = -c3[j];
  }
}

// One L-shaped step over m >= 16 points with its expanded twiddles.
template <int kSign>
void SplitStep(float* __restrict a, uint32_t m, const float* __restrict tw) {
  constexpr float s = kSign;
  const size_t q = m / 4;
  float* __restrict a1 = a + 2 * q;
  float* __restrict a2 = a + 4 * q;
  float* __restrict a3 = a + 6 * q;
  // The butterfly of SplitButterfly, written out so that the loop vectorizes.
  for (size_t j = 0; j < q; ++j) {
    const float c1 = tw[j], s1 = s * tw[q + j], c3 = tw[2 * q + j], s3 = s * tw[3 * q + j];
    const size_t re = 2 * j, im = 2 * j + 1;
    const float x0r = a[re], x0i = a[im];
    const float x1r = a1[re], x1i = a1[im];
    const float x2r = a2[re], x2i = a2[im];
    const float x3r = a3[re], x3i = a3[im];
    a[re] = x0r + x2r;
    a[im] = x0i + x2i;
    a1[re] = x1r + x3r;
    a1[im] = x1i + x3i;
    const float ur = x0r - x2r, ui = x0i - x2i;
    const float vr = x1r - x3r, vi = x1i - x3i;
    const float y1r = ur - s * vi, y1i = ui + s * vr;
    const float y3r = ur + s * vi, y3i = ui - s * vr;
    a2[re] = y1r * c1 - y1i * s1;
    a2[im] = y1r * s1 + y1i * c1;
    a3[re] = y3r * c3 - y3i * s3;
    a3[im] = y3r * s3 + y3i * c3;
  }
}

// `tw` holds the expanded twiddles of every step length from m down to 16,
// longest first (m floats for length m, m/2 for the next, ...).
template <int kSign>
void SplitRadix(float* a, uint32_t m, const float* tw) {
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
  SplitStep<kSign>(a, m, tw);
  SplitRadix<kSign>(a, m / 2, tw + m);
  SplitRadix<kSign>(a + m, m / 4, tw + m + m / 2);
  SplitRadix<kSign>(a + m + m / 2, m / 4, tw + m + m / 2);
}

// Puts m points (m = 2^b) from bit-reversed into natural order. With h =
// b/2 (rounded down) and L = 2^h, a point index is t (the top h bits), for
// odd b a middle bit, and c (the low h bits); its reversal is R[c], the same
// middle bit, R[t], where R reverses h bits. The pairs to exchange are exactly
// those with t < R[c] (t == R[c] is its own reversal), so no index is
// compared.
void BitReversePoints(float* a, uint32_t m) {
  if (m <= 2) return;
  const int b = std::countr_zero(m);
  const int h = b / 2;
  const uint32_t l = 1u << h;
  const uint32_t top_unit = m >> h;  // the value of t's lowest bit
  int32_t r[64];                     // L entries: no more than sqrt(m)
  r[0] = 0;
  for (uint32_t size = 1; size < l; size *= 2) {
    // Doubling the table: entries with the new low bit set get the new top bit.
    for (uint32_t x = 0; x < size; ++x) {
      r[x] *= 2;
      r[x + size] = r[x] + 1;
    }
  }
  const uint32_t middles = (b & 1) ? 2 : 1;
  for (uint32_t middle = 0; middle < middles; ++middle) {
    const uint32_t mid = middle << h;
    for (uint32_t c = 0; c < l; ++c) {
      const auto rc = static_cast<uint32_t>(r[c]);
      for (uint32_t t = 0; t < rc; ++t) {
        const uint32_t p = t * top_unit + mid + c;
        const uint32_t q = rc * top_unit + mid + static_cast<uint32_t>(r[t]);
        uint64_t x, y;
        std::memcpy(&x, a + 2 * p, 8);
        std::memcpy(&y, a + 2 * q, 8);
        std::memcpy(a + 2 * p, &y, 8);
        std::memcpy(a + 2 * q, &x, 8);
      }
    }
  }
}

// n floats = n/2 complex points; `steps` as in TransformPlan.
template <int kSign>
void ComplexFft(uint32_t n, float* a, const float* steps) {
  const uint32_t m = n / 2;
  SplitRadix<kSign>(a, m, steps);
  BitReversePoints(a, m);
}

// The twiddles of every step of an m-point FFT, from the tables (no
// trigonometry): the longest step's from its table, each shorter step's every
// other one of the step before (the same angles). m + m/2 + ... + 16 < 2m
// floats.
void BuildStepTwiddles(const float* w, uint32_t nw, uint32_t m, float* steps) {
  if (m < 16) return;
  ExpandTwiddles(w + nw - m / 2, m, steps);
  float* level = steps;
  for (uint32_t size = m / 2; size >= 16; size /= 2) {
    const uint32_t q = size / 4;
    float* next = level + 2 * size;
    for (uint32_t run = 0; run < 4; ++run)
      for (uint32_t j = 0; j < q; ++j) next[run * q + j] = level[run * 2 * q + 2 * j];
    level = next;
  }
}

// Makes the twiddle table cover length n (recording nw and invalidating the
// cosine table and the plan, which lie behind it).
void EnsureTwiddles(uint32_t n, int32_t* ip, float* w) {
  const uint32_t nw = static_cast<uint32_t>(ip[0]);
  if (n > 4 * nw) {
    ip[0] = static_cast<int32_t>(n / 4);
    ip[1] = 1;
    ip[2] = 0;
    if (n > 11) BuildTwiddleTable(n / 4, w);
  }
}

// The step between the half-length complex FFT and the real transform.
// m = n/2, ks = 2 nc / m; the two forms differ in the sign of the cross terms.
template <bool kBackward>
void RealSplit(uint32_t n, float* a, uint32_t nc, const float* c) {
  const uint32_t m = n / 2;
  const size_t ks = 2 * nc / m;
  // Pairs from the bottom (lo, j = 2, 4, ...) meet pairs from the top (hi, k =
  // n - j); kept apart so that the loop vectorizes.
  float* __restrict lo = a + 2;
  float* __restrict hi = a + n - 2;
  const float* __restrict c_up = c + ks;
  const float* __restrict c_down = c + nc - ks;
  for (size_t t = 0; 2 * t + 2 < m; ++t) {
    const auto down = -static_cast<ptrdiff_t>(2 * t);
    const auto c_back = -static_cast<ptrdiff_t>(ks * t);
    RealSplitPoint<kBackward>(lo + 2 * t, hi + down, 0.5f - c_down[c_back], c_up[ks * t]);
  }
}

}  // namespace

// The DCT's step before its complex FFT: for 1 <= j < n/2 and k = n - j, with
// kk = j nc/n: wkr = c[kk] - c[nc - kk], wki = c[kk] + c[nc - kk];
// a[j], a[k] = wkr a[j] + wki a[k], wki a[j] - wkr a[k].
void DctPreStepPortable(uint32_t n, float* a, uint32_t nc, const float* c) {
  const uint32_t m = n / 2;
  const uint32_t ks = nc / n;
  if (ks == 1) {
    // The usual case (the tables fit this n), with the two halves apart so
    // that the loop vectorizes: lo[t] is a[j], hi[-t] is a[k].
    float* __restrict lo = a + 1;
    float* __restrict hi = a + n - 1;
    const float* __restrict c_lo = c + 1;
    const float* __restrict c_hi = c + nc - 1;
    for (size_t t = 0; t + 1 < m; ++t) {
      const auto down = -static_cast<ptrdiff_t>(t);
      const float wkr = c_lo[t] - c_hi[down];
      const float wki = c_lo[t] + c_hi[down];
      const float xj = lo[t], xk = hi[down];
      lo[t] = wkr * xj + wki * xk;
      hi[down] = wki * xj - wkr * xk;
    }
    return;
  }
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
}

namespace {

// The DCT's last step: x = a[0] - a[1], a[0] += a[1]; for j = 2, 4, ...:
// a[j-1] = a[j] - a[j+1], a[j] += a[j+1]; a[n-1] = x.
void DctFinalButterflies(uint32_t n, float* a) {
  const float x = a[0] - a[1];
  a[0] += a[1];
  uint32_t j = 2;
  // Eight values at a time move one place down: each group is read whole
  // before it is written, and the writes end below the next group.
  for (; j + 8 <= n; j += 8) {
    float v[8], o[8];
    std::memcpy(v, a + j, sizeof(v));
    for (int i = 0; i < 8; i += 2) {
      o[i] = v[i] - v[i + 1];
      o[i + 1] = v[i] + v[i + 1];
    }
    std::memcpy(a + j - 1, o, sizeof(o));
  }
  for (; j < n; j += 2) {
    a[j - 1] = a[j] - a[j + 1];
    a[j] += a[j + 1];
  }
  a[n - 1] = x;
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

namespace {

// The leaves of the FFT after its L-shaped steps: every aligned run of eight
// points is either one eight-point problem or two four-point ones (the last
// quarters of a sixteen-point step). Marks the eight-point runs.
void MarkEightPointRuns(uint32_t offset, uint32_t m, uint8_t* eight) {
  if (m <= 16) {
    eight[offset / 8] = 1;
    return;
  }
  MarkEightPointRuns(offset, m / 2, eight);
  MarkEightPointRuns(offset + m / 2, m / 4, eight);
  MarkEightPointRuns(offset + m / 2 + m / 4, m / 4, eight);
}

uint32_t ReverseBits(uint32_t x, int bits) {
  uint32_t r = 0;
  for (int i = 0; i < bits; ++i, x >>= 1) r = r << 1 | (x & 1);
  return r;
}

// The vector kernels finish the FFT in groups of `lanes` runs of eight points,
// one run a lane: lane k takes the run that starts at point
// ReverseBits(k) m / lanes + 8 g, so that after the leaves, point l of every
// run lands next to the others in natural order, at point
// ReverseBits(l, 3) m / 8 + ReverseBits(g) lanes + k.
void DescribeGroups(uint32_t m, uint32_t lanes, const uint8_t* eight, int32_t* groups) {
  const int bits = std::countr_zero(m) - 3;  // of a run's number
  const int lane_bits = std::countr_zero(lanes);
  if (bits < lane_bits) return;
  for (uint32_t g = 0; g < (m / 8) / lanes; ++g) {
    uint32_t mask = 0;
    for (uint32_t k = 0; k < lanes; ++k) {
      const uint32_t run = ReverseBits(k, lane_bits) << (bits - lane_bits) | g;
      mask |= uint32_t{eight[run]} << k;
    }
    groups[g] = static_cast<int32_t>(mask | ReverseBits(g, bits - lane_bits) << 8);
  }
}

// Makes the tables ready for length n and returns the kernels' view of them.
// The plan behind the two tables holds what depends on n alone; it is made
// again when n changes or the tables in front of it are rebuilt.
TransformPlan Prepare(uint32_t n, bool dct, int32_t* ip, float* w) {
  EnsureTwiddles(n, ip, w);
  const uint32_t nw = static_cast<uint32_t>(ip[0]);
  uint32_t nc = static_cast<uint32_t>(ip[1]);
  const uint32_t needed = dct ? n : n / 4;
  if (needed > nc) {
    nc = needed;
    ip[1] = static_cast<int32_t>(nc);
    ip[2] = 0;
    BuildCosineTable(nc, w + nw);
  }
  const uint32_t m = n / 2;
  TransformPlan plan;
  plan.n = n;
  plan.cosines = w + nw;
  plan.cosine_count = nc;
  float* steps = w + nw + nc;
  float* split = steps + n;
  plan.steps = steps;
  plan.split = split;
  int32_t* groups4 = ip + 3;
  int32_t* groups8 = groups4 + m / 32;
  plan.groups4 = groups4;
  plan.groups8 = groups8;
  if (static_cast<uint32_t>(ip[2]) == n) return plan;

  BuildStepTwiddles(w, nw, m, steps);
  // The real split's factors as RealSplit reads them, one pair per t.
  if (m >= 4) {
    const uint32_t ks = 2 * nc / m;
    for (uint32_t t = 0; 2 * t + 2 < m; ++t) {
      split[2 * t] = 0.5f - plan.cosines[nc - ks - ks * t];
      split[2 * t + 1] = plan.cosines[ks + ks * t];
    }
  }
  if (m >= 16) {
    uint8_t eight[kMaxLength / 16] = {};
    MarkEightPointRuns(0, m, eight);
    DescribeGroups(m, 4, eight, groups4);
    DescribeGroups(m, 8, eight, groups8);
  }
  ip[2] = static_cast<int32_t>(n);
  return plan;
}

void RealFftPortable(const TransformPlan& p, float* a) {
  a[1] = 0.5f * (a[0] - a[1]);
  a[0] -= a[1];
  if (p.n > 4) RealSplit<true>(p.n, a, p.cosine_count, p.cosines);
  ComplexFft<-1>(p.n, a, p.steps);
}

void DctPortable(const TransformPlan& p, float* a) {
  const uint32_t n = p.n;
  DctPreStepPortable(n, a, p.cosine_count, p.cosines);
  a[n / 2] *= p.cosines[0];
  ComplexFft<+1>(n, a, p.steps);
  if (n > 4) RealSplit<false>(n, a, p.cosine_count, p.cosines);
  DctFinalButterflies(n, a);
}

const TransformKernels kPortable = {"portable", RealFftPortable, DctPortable};

}  // namespace

const TransformKernels& TransformKernelsPortable() {
  return kPortable;
}

std::span<const KernelSet<TransformKernels>> TransformKernelSets() {
  static const std::array<KernelSet<TransformKernels>, 3> sets = {{
      {0, &kPortable},
      {CPU_SSE2, TransformKernelsSse2()},
      {CPU_AVX2, TransformKernelsAvx2()},
  }};
  return sets;
}

const TransformKernels& SelectTransformKernels(uint32_t cpu_features) {
  return ChooseKernels(TransformKernelSets(), cpu_features);
}

void InverseRealFft(const TransformKernels& kernels, uint32_t n, float* data, int32_t* index_area,
                    float* table_area) {
  if (!ValidLength(n)) return;
  kernels.real_fft(Prepare(n, false, index_area, table_area), data);
}

void InverseDct(const TransformKernels& kernels, uint32_t n, float* data, int32_t* index_area,
                float* table_area) {
  if (!ValidLength(n)) return;
  kernels.dct(Prepare(n, true, index_area, table_area), data);
}

void InverseRealFft(uint32_t n, float* data, int32_t* index_area, float* table_area) {
  InverseRealFft(SelectTransformKernels(CpuFeatures()), n, data, index_area, table_area);
}

void InverseDct(uint32_t n, float* data, int32_t* index_area, float* table_area) {
  InverseDct(SelectTransformKernels(CpuFeatures()), n, data, index_area, table_area);
}

}  // namespace vexil
