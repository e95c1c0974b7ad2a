// Planar YV12 output: plane copies of luma on every row and of both chroma
// planes on even source rows, the V plane receiving Cr; a width-doubled
// variant writes every byte twice, and whole copies go plane by plane.
#include <algorithm>
#include <cstring>

#include "display/converter.h"

namespace vexil {
namespace {

inline uintptr_t Address(const uint8_t* p) {
  return reinterpret_cast<uintptr_t>(p);
}

// Writes c chroma samples (each twice when doubling) at `dest`, but only
// within the plane [lo, hi) and within the destination row.
template <bool kDoubled>
void WriteChroma(const StripContext* ctx, uint8_t* dest, const uint8_t* row_start,
                 const uint8_t* lo, const uint8_t* hi, const uint8_t* src, uint32_t c) {
  if (Address(dest) < Address(lo) || Address(dest) >= Address(hi)) return;
  const ptrdiff_t room = ctx->yv12_row_bytes - (dest - row_start);
  if (room <= 0) return;
  if constexpr (kDoubled) {
    const uint32_t pairs = static_cast<uint32_t>(std::min<ptrdiff_t>(c, room / 2));
    for (uint32_t i = 0; i < pairs; ++i) dest[2 * i] = dest[2 * i + 1] = src[i];
    if (pairs < c && room & 1) dest[2 * pairs] = src[pairs];
  } else {
    std::memcpy(dest, src, static_cast<size_t>(std::min<ptrdiff_t>(c, room)));
  }
}

template <bool kDoubled>
uint32_t Yv12Run(StripContext* ctx, uint32_t n, uint32_t) {
  if constexpr (kDoubled) {
    for (uint32_t i = 0; i < n; ++i) ctx->dest[2 * i] = ctx->dest[2 * i + 1] = ctx->luma[i];
  } else {
    std::memcpy(ctx->dest, ctx->luma, n);
  }
  const uint32_t c = (n + 1) / 2;
  if ((ctx->row & 1) == 0) {
    WriteChroma<kDoubled>(ctx, ctx->yv12_v, ctx->yv12_v_row, ctx->yv12_v_lo, ctx->yv12_v_hi,
                          ctx->chroma_r, c);
    WriteChroma<kDoubled>(ctx, ctx->yv12_u, ctx->yv12_u_row, ctx->yv12_u_lo, ctx->yv12_u_hi,
                          ctx->chroma_b, c);
  }
  constexpr uint32_t kTimes = kDoubled ? 2 : 1;
  ctx->dest += kTimes * n;
  ctx->luma += n;
  ctx->chroma_r += c;
  ctx->chroma_b += c;
  ctx->yv12_v += kTimes * c;
  ctx->yv12_u += kTimes * c;
  return 0;
}

}  // namespace

// Plane by plane, with none of the row loop's work between rows: the luma
// rows, then the chroma rows of the even source rows. Rows that follow each
// other in the source and in the destination go in one copy.
void ConvertYv12Frame(StripContext* ctx, uint32_t width) {
  const ptrdiff_t rows = ctx->row_end - ctx->row;
  const ptrdiff_t w = width;
  if (ctx->luma_pitch == w && ctx->dest_step == w) {
    std::memcpy(ctx->dest, ctx->luma, static_cast<size_t>(w * rows));
  } else {
    for (ptrdiff_t r = 0; r < rows; ++r)
      std::memcpy(ctx->dest + r * ctx->dest_step, ctx->luma + r * ctx->luma_pitch, width);
  }
  const ptrdiff_t c = (w + 1) / 2;
  const ptrdiff_t chroma_rows = (rows + 1) / 2;
  const ptrdiff_t step = ctx->yv12_advance[0];
  auto plane = [&](uint8_t* dest, const uint8_t* lo, const uint8_t* hi, const uint8_t* src,
                   ptrdiff_t pitch) {
    // Whole rows of the plane, back to back, every one within it.
    if (step == c && pitch == c && c <= ctx->yv12_row_bytes && Address(dest) >= Address(lo) &&
        Address(dest) + static_cast<uintptr_t>(chroma_rows * c) <= Address(hi)) {
      std::memcpy(dest, src, static_cast<size_t>(chroma_rows * c));
      return;
    }
    for (ptrdiff_t k = 0; k < chroma_rows; ++k) {
      uint8_t* row = dest + k * step;
      WriteChroma<false>(ctx, row, row, lo, hi, src + k * pitch, static_cast<uint32_t>(c));
    }
  };
  plane(ctx->yv12_v, ctx->yv12_v_lo, ctx->yv12_v_hi, ctx->chroma_r, ctx->chroma_r_pitch);
  plane(ctx->yv12_u, ctx->yv12_u_lo, ctx->yv12_u_hi, ctx->chroma_b, ctx->chroma_b_pitch);
}

uint32_t ConvertYv12(StripContext* ctx, uint32_t n, uint32_t x) {
  return Yv12Run<false>(ctx, n, x);
}
uint32_t ConvertYv12Doubled(StripContext* ctx, uint32_t n, uint32_t x) {
  return Yv12Run<true>(ctx, n, x);
}

}  // namespace vexil
