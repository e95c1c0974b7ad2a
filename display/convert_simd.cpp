// The SIMD-path row converters: the run structure (an aligning head of a lone
// pixel and pairs, then groups of 8 pixels) around the group kernels, and the
// portable group kernels that define the results bit for bit.
#include "display/convert_simd.h"

#include <array>
#include <utility>

#include "display/converter.h"

namespace vexil {
namespace {

constexpr bool HasAlpha(SimdMember m) {
  return m == SIMD_32_ALPHA || m == SIMD_16_ALPHA;
}

// Two pixels of one chroma pair; `lane` is the dither lane of the first.
template <SimdMember M>
inline void SimdPair(const SimdParams& p, uint8_t* d, const uint8_t* y, uint32_t cb, uint32_t cr,
                     const uint8_t* a, uint32_t lane) {
  if constexpr (M == SIMD_YUY2) {
    d[0] = y[0], d[1] = static_cast<uint8_t>(cb), d[2] = y[1], d[3] = static_cast<uint8_t>(cr);
  } else if constexpr (M == SIMD_UYVY) {
    d[0] = static_cast<uint8_t>(cb), d[1] = y[0], d[2] = static_cast<uint8_t>(cr), d[3] = y[1];
  } else {
    for (uint32_t i = 0; i < 2; ++i) {
      const SimdRgb c = SimdColourLane(p, y[i], cb, cr, lane + i);
      if constexpr (M == SIMD_32) Store32(d + 4 * i, SimdPack32(p, c, 0));
      if constexpr (M == SIMD_24) Store24(d + 3 * i, SimdPack32(p, c, 0));
      if constexpr (M == SIMD_32_ALPHA) Store32(d + 4 * i, SimdPack32(p, c, a[i]));
      if constexpr (M == SIMD_16) Store16(d + 2 * i, SimdPackFields(p, c));
      if constexpr (M == SIMD_16_ALPHA)
        Store16(d + 2 * i, SimdPackFields(p, c) | SimdPackAlpha16(p, a[i]));
      if constexpr (M == SIMD_INDEX8) d[i] = static_cast<uint8_t>(SimdPackFields(p, c));
    }
  }
}

// A lone pixel; `parity` is its column's (dither lane, and which chroma
// sample a packed-YUV unit carries).
template <SimdMember M>
inline void SimdSingle(const SimdParams& p, uint8_t* d, uint32_t y, uint32_t cb, uint32_t cr,
                       const uint8_t* a, uint32_t parity) {
  if constexpr (M == SIMD_YUY2) {
    d[0] = static_cast<uint8_t>(y), d[1] = static_cast<uint8_t>(parity ? cr : cb);
  } else if constexpr (M == SIMD_UYVY) {
    d[0] = static_cast<uint8_t>(parity ? cr : cb), d[1] = static_cast<uint8_t>(y);
  } else {
    const SimdRgb c = SimdColourLane(p, y, cb, cr, parity);
    if constexpr (M == SIMD_32) Store32(d, SimdPack32(p, c, 0));
    if constexpr (M == SIMD_24) Store24(d, SimdPack32(p, c, 0));
    if constexpr (M == SIMD_32_ALPHA) Store32(d, SimdPack32(p, c, *a));
    if constexpr (M == SIMD_16) Store16(d, SimdPackFields(p, c));
    if constexpr (M == SIMD_16_ALPHA) Store16(d, SimdPackFields(p, c) | SimdPackAlpha16(p, *a));
    if constexpr (M == SIMD_INDEX8) *d = static_cast<uint8_t>(SimdPackFields(p, c));
  }
}

template <SimdMember M>
void GroupPortable(const SimdParams& p, uint8_t* d, const uint8_t* y, const uint8_t* cb,
                   const uint8_t* cr, const uint8_t* a, size_t groups) {
  constexpr uint32_t out = kSimdOutBytes[M];
  // Local copies, so the stores to d do not force the lanes to be read again.
  int16_t lanes[3][4];
  for (int c = 0; c < 3; ++c) std::memcpy(lanes[c], p.dither[c], sizeof lanes[c]);
  SimdParams local = p;
  for (int c = 0; c < 3; ++c) local.dither[c] = lanes[c];
  for (size_t g = 0; g < groups; ++g) {
    for (uint32_t i = 0; i < 4; ++i)
      SimdPair<M>(local, d + 2 * i * out, y + 2 * i, cb[i], cr[i],
                  HasAlpha(M) ? a + 2 * i : nullptr, (2 * i) & 3);
    d += 8 * out, y += 8, cb += 4, cr += 4;
    if (HasAlpha(M)) a += 8;
  }
}

// The parameters for dither row `row`: 0 the current one, 1 the other.
SimdParams RowParams(const ConversionContext& s, int row) {
  SimdParams p;
  for (int c = 0; c < kDitherChannels; ++c) p.dither[c] = s.dither.simd[c][row];
  p.red_pos = s.channels.pos[CH_RED];
  for (int c = 0; c < CH_COUNT; ++c) {
    p.pos[c] = s.channels.pos[c];
    p.shift[c] = s.channels.dropped[c] + (c == CH_ALPHA ? 0 : 4);
  }
  return p;
}

struct SimdCursors {
  uint8_t* d;
  const uint8_t* y;
  const uint8_t* cb;
  const uint8_t* cr;
  const uint8_t* a;  // null unless the member has alpha
};

// Up to n pixels from column x: an aligning head of a lone pixel and pairs,
// then groups of 8; returns the number left (fewer than 8, at most one lone
// pixel when n was below 8).
template <SimdMember M>
uint32_t SimdSpan(const SimdParams& p, SimdGroupKernel group, SimdCursors& c, uint32_t n,
                  uint32_t x) {
  constexpr uint32_t out = kSimdOutBytes[M];
  uint32_t head;
  if (n >= 8) {
    head = (8 - x) & 7;
  } else {
    head = n == 1 ? 1 : n - ((x ^ n) & 1);
  }
  uint32_t done = 0;
  if (head & 1) {
    SimdSingle<M>(p, c.d, *c.y, *c.cb, *c.cr, c.a, x & 1);
    c.d += out, ++c.y, ++c.cb, ++c.cr;
    if (HasAlpha(M)) ++c.a;
    done = 1;
  }
  for (; done < head; done += 2) {
    SimdPair<M>(p, c.d, c.y, *c.cb, *c.cr, c.a, 0);
    c.d += 2 * out, c.y += 2, ++c.cb, ++c.cr;
    if (HasAlpha(M)) c.a += 2;
  }
  if (n >= 8) {
    const size_t groups = (n - head) / 8;
    if (groups) {
      group(p, c.d, c.y, c.cb, c.cr, c.a, groups);
      c.d += groups * 8 * out, c.y += groups * 8, c.cb += groups * 4, c.cr += groups * 4;
      if (HasAlpha(M)) c.a += groups * 8;
      done += static_cast<uint32_t>(groups * 8);
    }
  }
  return n - done;
}

template <SimdMember M>
uint32_t SimdRun(StripContext* ctx, uint32_t n, uint32_t x) {
  const ConversionContext& conversion = *ctx->conversion;
  SimdCursors c = {ctx->dest, ctx->luma, ctx->chroma_b, ctx->chroma_r,
                   HasAlpha(M) ? ctx->alpha : nullptr};
  const uint32_t left =
      SimdSpan<M>(RowParams(conversion, 0), conversion.kernels->group[M], c, n, x);
  ctx->dest = c.d;
  ctx->luma = c.y;
  ctx->chroma_b = c.cb;
  ctx->chroma_r = c.cr;
  if (HasAlpha(M)) ctx->alpha = c.a;
  return left;
}

// Every row of a whole copy without the row loop between rows: the
// parameters of both dither rows are made once and alternate by row.
template <SimdMember M>
void SimdFrame(StripContext* ctx, uint32_t width) {
  const ConversionContext& conversion = *ctx->conversion;
  const SimdParams params[2] = {RowParams(conversion, 0), RowParams(conversion, 1)};
  const SimdGroupKernel group = conversion.kernels->group[M];
  const ptrdiff_t rows = ctx->row_end - ctx->row;
  for (ptrdiff_t r = 0; r < rows; ++r) {
    const ptrdiff_t chroma_row = r / 2;  // each chroma row serves two rows
    SimdCursors c = {ctx->dest + r * ctx->dest_step, ctx->luma + r * ctx->luma_pitch,
                     ctx->chroma_b + chroma_row * ctx->chroma_b_pitch,
                     ctx->chroma_r + chroma_row * ctx->chroma_r_pitch,
                     HasAlpha(M) ? ctx->alpha + r * ctx->alpha_pitch : nullptr};
    for (uint32_t n = width, x = 0; n;) {
      const uint32_t left = SimdSpan<M>(params[r & 1], group, c, n, x);
      x += n - left;
      n = left;
    }
  }
}

const SimdKernels kPortable = {
    "portable",
    {GroupPortable<SIMD_32>, GroupPortable<SIMD_32_ALPHA>, GroupPortable<SIMD_16>,
     GroupPortable<SIMD_16_ALPHA>, GroupPortable<SIMD_INDEX8>, GroupPortable<SIMD_YUY2>,
     GroupPortable<SIMD_UYVY>, GroupPortable<SIMD_24>}};

}  // namespace

const SimdKernels& SimdKernelsPortable() {
  return kPortable;
}

std::span<const KernelSet<SimdKernels>> SimdKernelSets() {
  static const std::array<KernelSet<SimdKernels>, 3> sets = {{
      {0, &kPortable},
      {CPU_SSE2, SimdKernelsSse2()},
      {CPU_AVX2, SimdKernelsAvx2()},
  }};
  return sets;
}

const SimdKernels& SelectSimdKernels(uint32_t cpu) {
  return ChooseKernels(SimdKernelSets(), cpu);
}

FrameConverter SimdFrameConverter(RowConverter row) {
  static constexpr std::pair<RowConverter, FrameConverter> kFrames[] = {
      {ConvertSimd32, SimdFrame<SIMD_32>},
      {ConvertSimd24, SimdFrame<SIMD_24>},
      {ConvertSimd32Alpha, SimdFrame<SIMD_32_ALPHA>},
      {ConvertSimd16, SimdFrame<SIMD_16>},
      {ConvertSimd16Alpha, SimdFrame<SIMD_16_ALPHA>},
      {ConvertSimdIndex8, SimdFrame<SIMD_INDEX8>},
      {ConvertSimdYuy2, SimdFrame<SIMD_YUY2>},
      {ConvertSimdUyvy, SimdFrame<SIMD_UYVY>},
  };
  for (const auto& [converter, frame] : kFrames)
    if (converter == row) return frame;
  return nullptr;
}

uint32_t ConvertSimd32(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_32>(ctx, n, x);
}
uint32_t ConvertSimd24(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_24>(ctx, n, x);
}
uint32_t ConvertSimd32Alpha(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_32_ALPHA>(ctx, n, x);
}
uint32_t ConvertSimd16(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_16>(ctx, n, x);
}
uint32_t ConvertSimd16Alpha(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_16_ALPHA>(ctx, n, x);
}
uint32_t ConvertSimdIndex8(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_INDEX8>(ctx, n, x);
}
uint32_t ConvertSimdYuy2(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_YUY2>(ctx, n, x);
}
uint32_t ConvertSimdUyvy(StripContext* ctx, uint32_t n, uint32_t x) {
  return SimdRun<SIMD_UYVY>(ctx, n, x);
}

}  // namespace vexil
