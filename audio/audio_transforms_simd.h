// The vector kernels of the inverse transforms, written once for any vector
// width: audio_transforms_sse2.cpp and audio_transforms_avx2.cpp include this
// with their vector type `V`, which provides
//   T, kLanes; Load, Store (unaligned), Add, Sub, Mul, Xor, Blend(mask, a, b)
//   (mask lanes from a, the rest from b), Set1, SetPairs(even, odd),
//   LaneMask(bits) (lane k set where bit k is);
//   ReverseLanes, ReversePairs (the order of (even, odd) pairs), SwapPairs (each
//   pair's two values), EvenTwice, OddTwice ([v0 v0 v2 v2 ...], [v1 v1 v3 v3 ...]);
//   LoadComplex(p) (kLanes (re, im) pairs to two vectors),
//   LoadRuns(re, im, offsets, P) (kLanes runs of eight points, run k from
//   re/im + offsets[k], to P[l] = point l of every run, lane k from run k),
//   StoreRuns(a, m, first, P) (P[l]'s lanes to points
//   ReverseBits(l, 3) m / 8 + first + k of the interleaved output).
//
// Every function computes the portable kernels' operations on the same operands
// for every value, several independent values at a time. Where a sign is
// folded into an operation (x - (-y) written x + y, -(x y) + z written
// z - x y), the two are the same IEEE operation, so the bits are too.
//
// Everything here has internal linkage: each instruction set's file gets its
// own copy, compiled for that set only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/audio_transforms_kernels.h"

namespace vexil {
namespace {

// Complex values, real and imaginary parts in separate vectors.
template <class V>
struct Cx {
  typename V::T re, im;
};

// cos(pi/4) as the portable kernels use it.
constexpr float kSimdCos45 = 0.70710678118654752440f;

// The L-shaped step's butterfly on x0..x3 (points j, j + q, j + 2q, j + 3q)
// with the unsigned twiddles c1, t1 (angle 2 pi j / s) and c3, t3 (its triple).
// kSign is the transform's: the sines enter as kSign * t.
template <int kSign, class V, class T = typename V::T>
inline void Butterfly(Cx<V>& x0, Cx<V>& x1, Cx<V>& x2, Cx<V>& x3, T c1, T t1, T c3, T t3) {
  const T ur = V::Sub(x0.re, x2.re), ui = V::Sub(x0.im, x2.im);
  const T vr = V::Sub(x1.re, x3.re), vi = V::Sub(x1.im, x3.im);
  x0 = {V::Add(x0.re, x2.re), V::Add(x0.im, x2.im)};
  x1 = {V::Add(x1.re, x3.re), V::Add(x1.im, x3.im)};
  if constexpr (kSign > 0) {
    const T y1r = V::Sub(ur, vi), y1i = V::Add(ui, vr);
    const T y3r = V::Add(ur, vi), y3i = V::Sub(ui, vr);
    x2 = {V::Sub(V::Mul(y1r, c1), V::Mul(y1i, t1)), V::Add(V::Mul(y1r, t1), V::Mul(y1i, c1))};
    x3 = {V::Sub(V::Mul(y3r, c3), V::Mul(y3i, t3)), V::Add(V::Mul(y3r, t3), V::Mul(y3i, c3))};
  } else {
    const T y1r = V::Add(ur, vi), y1i = V::Sub(ui, vr);
    const T y3r = V::Sub(ur, vi), y3i = V::Add(ui, vr);
    x2 = {V::Add(V::Mul(y1r, c1), V::Mul(y1i, t1)), V::Sub(V::Mul(y1i, c1), V::Mul(y1r, t1))};
    x3 = {V::Add(V::Mul(y3r, c3), V::Mul(y3i, t3)), V::Sub(V::Mul(y3i, c3), V::Mul(y3r, t3))};
  }
}

// The same without twiddles (index 0, and the leaves' steps).
template <int kSign, class V, class T = typename V::T>
inline void Butterfly0(Cx<V>& x0, Cx<V>& x1, Cx<V>& x2, Cx<V>& x3) {
  const T ur = V::Sub(x0.re, x2.re), ui = V::Sub(x0.im, x2.im);
  const T vr = V::Sub(x1.re, x3.re), vi = V::Sub(x1.im, x3.im);
  x0 = {V::Add(x0.re, x2.re), V::Add(x0.im, x2.im)};
  x1 = {V::Add(x1.re, x3.re), V::Add(x1.im, x3.im)};
  if constexpr (kSign > 0) {
    x2 = {V::Sub(ur, vi), V::Add(ui, vr)};
    x3 = {V::Add(ur, vi), V::Sub(ui, vr)};
  } else {
    x2 = {V::Add(ur, vi), V::Sub(ui, vr)};
    x3 = {V::Sub(ur, vi), V::Add(ui, vr)};
  }
}

template <class V>
inline void Pair(Cx<V>& x0, Cx<V>& x1) {
  const Cx<V> sum = {V::Add(x0.re, x1.re), V::Add(x0.im, x1.im)};
  x1 = {V::Sub(x0.re, x1.re), V::Sub(x0.im, x1.im)};
  x0 = sum;
}

template <class V>
inline Cx<V> LoadSplit(const float* re, const float* im, size_t i) {
  return {V::Load(re + i), V::Load(im + i)};
}
template <class V>
inline void StoreSplit(float* re, float* im, size_t i, Cx<V> x) {
  V::Store(re + i, x.re);
  V::Store(im + i, x.im);
}

// One L-shaped step over s = 4q points left as separate real and imaginary
// runs (q a multiple of the lane count); `tw` as in TransformPlan. The points
// come from the same runs, or for the first step (kFirst) from the interleaved
// points of `a`.
template <int kSign, class V, bool kFirst>
void Step(const float* a, float* re, float* im, size_t q, const float* tw) {
  for (size_t j = 0; j < q; j += V::kLanes) {
    Cx<V> x[4];
    for (size_t k = 0; k < 4; ++k) {
      if constexpr (kFirst)
        V::LoadComplex(a + 2 * (k * q + j), x[k].re, x[k].im);
      else
        x[k] = LoadSplit<V>(re, im, k * q + j);
    }
    Butterfly<kSign, V>(x[0], x[1], x[2], x[3], V::Load(tw + j), V::Load(tw + q + j),
                        V::Load(tw + 2 * q + j), V::Load(tw + 3 * q + j));
    for (size_t k = 0; k < 4; ++k) StoreSplit<V>(re, im, k * q + j, x[k]);
  }
}

// The steps of an s-point problem (s >= 16) and of its sub-problems down to 16
// points, depth first as the portable kernels take them; N is the vector type
// for steps shorter than V's lanes. The whole problem's first step (kFirst)
// reads the interleaved points of `a`.
template <int kSign, class V, class N, bool kFirst = false>
void Steps(const float* a, float* re, float* im, size_t s, const float* tw) {
  if (s / 4 >= V::kLanes)
    Step<kSign, V, kFirst>(a, re, im, s / 4, tw);
  else
    Step<kSign, N, kFirst>(a, re, im, s / 4, tw);
  if (s >= 32) Steps<kSign, V, N>(nullptr, re, im, s / 2, tw + s);
  if (s >= 64) {
    const float* quarter = tw + s + s / 2;
    Steps<kSign, V, N>(nullptr, re + s / 2, im + s / 2, s / 4, quarter);
    Steps<kSign, V, N>(nullptr, re + s / 2 + s / 4, im + s / 2 + s / 4, s / 4, quarter);
  }
}

// The leaves of eight points: one eight-point problem (`eight` lanes) or two
// four-point ones (the others), on P[l] = point l of each lane's run.
template <int kSign, class V>
inline void EightPointStep(Cx<V>* p) {
  using T = typename V::T;
  const T c = V::Set1(kSimdCos45), minus_c = V::Set1(-kSimdCos45);
  Butterfly0<kSign, V>(p[0], p[2], p[4], p[6]);
  Butterfly<kSign, V>(p[1], p[3], p[5], p[7], c, c, minus_c, c);
}

template <int kSign, class V>
inline void Leaves(Cx<V>* p, uint32_t eight) {
  using T = typename V::T;
  constexpr uint32_t kAll = (1u << V::kLanes) - 1;
  // Lanes of a mixed group take the operations of their own kind only.
  const auto blend = [](T mask, Cx<V>* dst, const Cx<V>* src, int from, int to) {
    for (int l = from; l < to; ++l)
      dst[l] = {V::Blend(mask, src[l].re, dst[l].re), V::Blend(mask, src[l].im, dst[l].im)};
  };
  if (eight == kAll) {
    EightPointStep<kSign, V>(p);
  } else if (eight != 0) {
    Cx<V> t[8] = {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]};
    EightPointStep<kSign, V>(t);
    blend(V::LaneMask(eight), p, t, 0, 8);
  }
  Butterfly0<kSign, V>(p[0], p[1], p[2], p[3]);
  Pair<V>(p[0], p[1]);
  if (eight == 0) {
    Butterfly0<kSign, V>(p[4], p[5], p[6], p[7]);
  } else if (eight != kAll) {
    Cx<V> t[8];
    t[4] = p[4], t[5] = p[5], t[6] = p[6], t[7] = p[7];
    Butterfly0<kSign, V>(t[4], t[5], t[6], t[7]);
    blend(V::LaneMask(~eight & kAll), p, t, 4, 8);
  }
  Pair<V>(p[4], p[5]);
  if (eight == kAll) {
    Pair<V>(p[6], p[7]);
  } else if (eight != 0) {
    Cx<V> t[8];
    t[6] = p[6], t[7] = p[7];
    Pair<V>(t[6], t[7]);
    blend(V::LaneMask(eight), p, t, 6, 8);
  }
}

// The complex FFT of m = n/2 points (m >= 8 V::kLanes), natural order in and
// out, through split runs on the stack.
template <int kSign, class V, class N>
void ComplexFftSimd(const TransformPlan& plan, float* a, const int32_t* groups) {
  constexpr size_t kMaxPoints = 2048;
  constexpr size_t kGap = 16;  // keeps re[j] and im[j] off the same cache set
  alignas(64) float work[2 * kMaxPoints + kGap];
  const size_t m = plan.n / 2;
  float* re = work;
  float* im = work + m + kGap;
  Steps<kSign, V, N, true>(a, re, im, m, plan.steps);
  // The leaves, a group of runs at a time, and the bit-reversed order undone
  // on the way out (see DescribeGroups).
  constexpr int kLanes = V::kLanes;
  size_t offsets[kLanes];
  for (int k = 0; k < kLanes; ++k) {
    uint32_t reversed = 0;
    for (int bit = 1; bit < kLanes; bit *= 2) reversed = reversed << 1 | ((k & bit) != 0);
    offsets[k] = reversed * (m / kLanes);
  }
  for (size_t g = 0; g < m / 8 / kLanes; ++g) {
    Cx<V> p[8];
    V::LoadRuns(re + 8 * g, im + 8 * g, offsets, p);
    const auto description = static_cast<uint32_t>(groups[g]);
    Leaves<kSign, V>(p, description & 0xFF);
    V::StoreRuns(a, m, (description >> 8) * kLanes, p);
  }
}

template <bool kBackward, class V>
void RealSplitSimd(uint32_t n, float* a, const float* split) {
  using T = typename V::T;
  constexpr size_t kPoints = V::kLanes / 2;
  const T negate_re = V::SetPairs(-0.0f, 0.0f), negate_im = V::SetPairs(0.0f, -0.0f);
  const size_t count = n / 4 - 1;
  size_t t = 0;
  for (; t + kPoints <= count; t += kPoints) {
    float* lo = a + 2 + 2 * t;
    float* hi = a + n - 2 * (t + kPoints);  // the group's lowest point
    const T l = V::Load(lo);
    const T h = V::ReversePairs(V::Load(hi));
    const T w = V::Load(split + 2 * t);
    // x = (lo.re - hi.re, lo.im + hi.im)
    const T x = V::Add(l, V::Xor(h, negate_re));
    const T wr_x = V::Mul(V::EvenTwice(w), x);               // (wkr xr, wkr xi)
    const T wi_x = V::Mul(V::OddTwice(w), V::SwapPairs(x));  // (wki xi, wki xr)
    const T y = V::Add(wr_x, V::Xor(wi_x, kBackward ? negate_im : negate_re));
    V::Store(lo, V::Sub(l, y));
    V::Store(hi, V::ReversePairs(V::Add(h, V::Xor(y, negate_im))));
  }
  for (; t < count; ++t)
    RealSplitPoint<kBackward>(a + 2 + 2 * t, a + n - 2 - 2 * t, split[2 * t], split[2 * t + 1]);
}

// The DCT's step before its complex FFT with the cosine table built for n
// (DctPreStepPortable's usual case): a[j] with a[n - j] for 1 <= j < n/2.
template <class V>
void DctPreStepSimd(uint32_t n, float* a, const float* c) {
  using T = typename V::T;
  constexpr size_t kLanes = V::kLanes;
  const size_t count = n / 2 - 1;
  size_t t = 0;
  for (; t + kLanes <= count; t += kLanes) {
    float* lo = a + 1 + t;
    float* hi = a + n - t - kLanes;
    const T c_lo = V::Load(c + 1 + t);
    const T c_hi = V::ReverseLanes(V::Load(c + n - t - kLanes));
    const T wkr = V::Sub(c_lo, c_hi), wki = V::Add(c_lo, c_hi);
    const T xj = V::Load(lo), xk = V::ReverseLanes(V::Load(hi));
    V::Store(lo, V::Add(V::Mul(wkr, xj), V::Mul(wki, xk)));
    V::Store(hi, V::ReverseLanes(V::Sub(V::Mul(wki, xj), V::Mul(wkr, xk))));
  }
  for (; t < count; ++t) {
    const float wkr = c[1 + t] - c[n - 1 - t], wki = c[1 + t] + c[n - 1 - t];
    const float xj = a[1 + t], xk = a[n - 1 - t];
    a[1 + t] = wkr * xj + wki * xk;
    a[n - 1 - t] = wki * xj - wkr * xk;
  }
}

// The DCT's last step: x = a[0] - a[1], a[0] += a[1]; for j = 2, 4, ...:
// a[j-1] = a[j] - a[j+1], a[j] += a[j+1]; a[n-1] = x. A vector is read whole
// before it is written one place lower, below the next one.
template <class V>
void DctFinalButterfliesSimd(uint32_t n, float* a) {
  using T = typename V::T;
  const T negate_even = V::SetPairs(-0.0f, 0.0f);
  const float x = a[0] - a[1];
  a[0] += a[1];
  uint32_t j = 2;
  for (; j + V::kLanes <= n; j += V::kLanes) {
    const T v = V::Load(a + j);
    V::Store(a + j - 1, V::Add(V::EvenTwice(v), V::Xor(V::OddTwice(v), negate_even)));
  }
  for (; j < n; j += 2) {
    a[j - 1] = a[j] - a[j + 1];
    a[j] += a[j + 1];
  }
  a[n - 1] = x;
}

// The whole transforms. `Smaller` takes lengths below 16 V::kLanes.
template <class V, class N>
void RealFftSimd(const TransformPlan& plan, float* a, const int32_t* groups,
                 const TransformKernels& smaller) {
  if (plan.n < 16 * V::kLanes) return smaller.real_fft(plan, a);
  a[1] = 0.5f * (a[0] - a[1]);
  a[0] -= a[1];
  RealSplitSimd<true, V>(plan.n, a, plan.split);
  ComplexFftSimd<-1, V, N>(plan, a, groups);
}

template <class V, class N>
void DctSimd(const TransformPlan& plan, float* a, const int32_t* groups,
             const TransformKernels& smaller) {
  const uint32_t n = plan.n;
  if (n < 16 * V::kLanes) return smaller.dct(plan, a);
  if (plan.cosine_count == n)
    DctPreStepSimd<V>(n, a, plan.cosines);
  else
    DctPreStepPortable(n, a, plan.cosine_count, plan.cosines);
  a[n / 2] *= plan.cosines[0];
  ComplexFftSimd<+1, V, N>(plan, a, groups);
  RealSplitSimd<false, V>(n, a, plan.split);
  DctFinalButterfliesSimd<V>(n, a);
}

}  // namespace
}  // namespace vexil
