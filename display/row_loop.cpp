// The row loop: sets up the strip context from the source planes, the
// destination and the scaling mode, then converts row after row, either whole
// rows or only the runs of changed 16x16 blocks.
#include <algorithm>
#include <cstring>

#include "display/converter.h"
#include "display/copy.h"
#include "display/pixel_formats.h"

namespace vexil {
namespace {

constexpr uint32_t kStagingBytes = 512;
constexpr uint32_t kGrayBytes = 256;
constexpr uint32_t kUnlimited = 0xFFFFFFFFu;

// The destination as the row loop walks it.
struct CopyDestination {
  uint8_t* dest;    // the first destination row (the last row in memory when bottom-up)
  uint8_t* memory;  // the lowest destination address (the caller's pointer)
  ptrdiff_t pitch;
  uint32_t rows;
};

// Where the current row's cursors started. The next row's cursors are
// computed from these and stored both here and in the strip context, so a row
// never loads what the converters last stored to the strip context's cursors.
struct RowStart {
  uint8_t* dest;
  const uint8_t* luma;
  const uint8_t* alpha;
  const uint8_t* chroma_r;
  const uint8_t* chroma_b;
  uint8_t* yv12_v;
  uint8_t* yv12_u;
};

struct RowLoop {
  StripContext ctx;
  RowStart start;
  ptrdiff_t dest_row_step;  // destination bytes from one source row to the next
  const ConverterSelection* sel;
  uint32_t mode;
  uint32_t x0;
  uint32_t width;
  uint32_t rows;
  bool gray;
  bool yv12;
  alignas(16) uint8_t staging[kStagingBytes];
  alignas(16) uint8_t gray_chroma[kGrayBytes];
};

// Chroma samples a converter consumes for `n` pixels from column x.
uint32_t ChromaSamples(bool yv12, uint32_t x, uint32_t n) {
  if (yv12) return (n + 1) / 2;
  return ((n + (x & 1)) >> 1) + ((x & 1) ^ (n & 1));
}

// False when there is nothing to copy.
bool SetUp(ConversionContext& conversion, const CopySource& r, const CopyDestination& to,
           RowLoop* loop) {
  const ConverterSelection& sel = conversion.selection;
  if (!sel.strip || r.width == 0 || r.height == 0 || to.rows == 0) return false;
  loop->sel = &sel;
  StripContext& ctx = loop->ctx;
  ctx = StripContext{};
  ctx.conversion = &conversion;
  const uint32_t flags = r.flags;
  const uint32_t mode = CopyScaleMode(flags);
  loop->mode = mode;
  loop->gray = flags & COPY_GRAYSCALE;
  loop->yv12 = (flags & COPY_FORMAT_MASK) == PIXFMT_YV12;
  loop->x0 = 0;
  loop->width = r.width;
  const bool swap = flags & COPY_SWAP_CHROMA;
  const uint8_t* cr_plane = swap ? r.chroma_b : r.chroma_a;
  const uint8_t* cb_plane = swap ? r.chroma_a : r.chroma_b;

  uint32_t y0 = 0;
  uint32_t rows = r.height;
  ptrdiff_t luma_pitch = r.luma_pitch;
  ptrdiff_t cr_pitch = loop->gray ? 0 : ptrdiff_t(swap ? r.chroma_b_pitch : r.chroma_a_pitch);
  ptrdiff_t cb_pitch = loop->gray ? 0 : ptrdiff_t(swap ? r.chroma_a_pitch : r.chroma_b_pitch);
  ptrdiff_t dest_step = to.pitch;
  uint32_t row_factor = 1;  // destination rows per source row step
  if (mode == COPY_1X_INTERLACED) {
    y0 /= 2;
    luma_pitch *= 2;
    cr_pitch *= 2;
    cb_pitch *= 2;
    rows /= 2;
    row_factor = 2;
  } else if (mode == COPY_2X_H_INTERLACED || mode == COPY_2X_WH_INTERLACED) {
    row_factor = 2;
  }
  dest_step *= row_factor;
  const bool row_doubled = mode == COPY_2X_H || mode == COPY_2X_WH;
  // Never write below or past the destination's rows.
  uint32_t max_rows = to.rows;
  if (row_doubled) max_rows = to.rows / 2;
  if (row_factor == 2) max_rows = (to.rows + 1) / 2;
  rows = std::min(rows, max_rows);
  if (rows == 0) return false;
  loop->rows = rows;

  const uint8_t* luma = r.luma + loop->x0 + y0 * luma_pitch;
  const uint8_t* alpha = r.alpha ? r.alpha + loop->x0 + y0 * luma_pitch : nullptr;
  if ((flags & COPY_SHOW_ALPHA) && alpha) std::swap(luma, alpha);
  ctx.luma = luma;
  ctx.alpha = alpha;
  ctx.luma_pitch = ctx.alpha_pitch = luma_pitch;
  ctx.chroma_r_pitch = cr_pitch;
  ctx.chroma_b_pitch = cb_pitch;
  if (!loop->gray) {
    ctx.chroma_r = cr_plane + loop->x0 / 2 + (y0 / 2) * cr_pitch;
    ctx.chroma_b = cb_plane + loop->x0 / 2 + (y0 / 2) * cb_pitch;
  }

  ctx.dest = ctx.dest_start = to.dest;
  ctx.pitch = to.pitch;
  ctx.dest_step = dest_step;
  ctx.row = y0;
  ctx.row_end = y0 + rows;
  loop->dest_row_step = dest_step + (row_doubled ? dest_step : 0);

  if (loop->yv12) {
    // The V and then the U plane follow the luma plane in memory, each of
    // destination-height / 2 rows at half pitch, bottom-up like the luma
    // plane when the pitch is negative.
    const ptrdiff_t half = (to.pitch < 0 ? -to.pitch : to.pitch) / 2;
    const ptrdiff_t chroma_step = to.pitch < 0 ? -half : half;
    const ptrdiff_t chroma_rows = to.rows / 2;
    const ptrdiff_t luma_bytes =
        (to.pitch < 0 ? -to.pitch : to.pitch) * static_cast<ptrdiff_t>(to.rows);
    uint8_t* v_base = to.memory + luma_bytes;
    uint8_t* u_base = v_base + chroma_rows * half;
    const ptrdiff_t first_row = to.pitch < 0 && chroma_rows > 0 ? (chroma_rows - 1) * half : 0;
    ctx.yv12_v = v_base + first_row;
    ctx.yv12_u = u_base + first_row;
    ctx.yv12_v_lo = v_base;
    ctx.yv12_v_hi = u_base;
    ctx.yv12_u_lo = u_base;
    ctx.yv12_u_hi = u_base + chroma_rows * half;
    ctx.yv12_row_bytes = half;
    ctx.yv12_advance[0] = row_factor * chroma_step + (row_doubled ? chroma_step : 0);
    ctx.yv12_advance[1] = 0;
  }

  ctx.yv12_v_row = ctx.yv12_v;
  ctx.yv12_u_row = ctx.yv12_u;
  loop->start = {ctx.dest, ctx.luma, ctx.alpha, ctx.chroma_r, ctx.chroma_b, ctx.yv12_v, ctx.yv12_u};
  if (y0 & 1) SwapDitherRows(conversion.dither);

  uint32_t max_run = kUnlimited;
  if (sel.staging) {
    max_run = kStagingBytes >> sel.family;
  } else if (loop->gray) {
    max_run = kGrayBytes;
  }
  if (loop->gray) {
    max_run = std::min(max_run, r.width);
    std::memset(loop->gray_chroma, 128, std::min(max_run, kGrayBytes));
  }
  ctx.max_run = max_run;
  return true;
}

// Converts n pixels of the current row from column x through the strip
// function and, when staging, the post step.
void ConvertSpan(RowLoop* loop, uint32_t x, uint32_t n) {
  const ConverterSelection& sel = *loop->sel;
  StripContext& ctx = loop->ctx;
  uint8_t* real = ctx.dest;
  while (n) {
    if (loop->gray) ctx.chroma_r = ctx.chroma_b = loop->gray_chroma;
    if (sel.staging) ctx.dest = loop->staging;
    const uint32_t run = std::min(n, ctx.max_run);
    const uint32_t done = run - sel.strip(&ctx, run, x);
    n -= done;
    x += done;
    if (sel.staging) real = sel.post(&ctx, real, loop->staging, ctx.dest);
  }
  if (sel.staging) ctx.dest = real;
}

// Passes over n pixels from column x without writing (an unchanged block).
void SkipSpan(RowLoop* loop, uint32_t x, uint32_t n, bool last_block) {
  const ConverterSelection& sel = *loop->sel;
  StripContext& ctx = loop->ctx;
  const uint32_t c = ChromaSamples(loop->yv12, x, n);
  ctx.dest += static_cast<ptrdiff_t>(n) * sel.dest_bytes_per_pixel;
  ctx.luma += n;
  if (ctx.alpha) ctx.alpha += n;
  if (!loop->gray) {
    ctx.chroma_r += c;
    ctx.chroma_b += c;
  }
  if (loop->yv12 && !last_block) {
    ctx.yv12_v += static_cast<ptrdiff_t>(c) * sel.dest_bytes_per_pixel;
    ctx.yv12_u += static_cast<ptrdiff_t>(c) * sel.dest_bytes_per_pixel;
  }
}

// Moves the cursors to the start of the next row.
void FinishRow(RowLoop* loop) {
  StripContext& ctx = loop->ctx;
  const uint32_t parity = ctx.row & 1;
  RowStart next = loop->start;
  if (next.alpha) next.alpha += ctx.alpha_pitch;
  next.luma += ctx.luma_pitch;
  // Chroma rows serve two source rows: the same row again after an even one.
  if (!loop->gray && parity) {
    next.chroma_r += ctx.chroma_r_pitch;
    next.chroma_b += ctx.chroma_b_pitch;
  }
  if (loop->yv12) {
    next.yv12_v += ctx.yv12_advance[parity];
    next.yv12_u += ctx.yv12_advance[parity];
  }
  ++ctx.row;
  SwapDitherRows(ctx.conversion->dither);
  // The last row's advance would point past the destination: stop before it.
  if (ctx.row < ctx.row_end) next.dest += loop->dest_row_step;
  loop->start = next;
  ctx.dest = next.dest;
  ctx.luma = next.luma;
  ctx.alpha = next.alpha;
  if (!loop->gray) {
    ctx.chroma_r = next.chroma_r;
    ctx.chroma_b = next.chroma_b;
  }
  ctx.yv12_v = ctx.yv12_v_row = next.yv12_v;
  ctx.yv12_u = ctx.yv12_u_row = next.yv12_u;
}

void CopyWholeFrame(ConversionContext& conversion, const CopySource& source,
                    const CopyDestination& to) {
  RowLoop loop;
  if (!SetUp(conversion, source, to, &loop)) return;
  if (loop.sel->frame && !loop.gray) {
    loop.sel->frame(&loop.ctx, loop.width);
    if (loop.rows & 1) SwapDitherRows(conversion.dither);
    return;
  }
  while (loop.ctx.row < loop.ctx.row_end) {
    ConvertSpan(&loop, loop.x0, loop.width);
    FinishRow(&loop);
  }
}

// False (nothing written) when the map does not cover the region.
bool CopyChangedBlocks(ConversionContext& conversion, const CopySource& source,
                       const CopyDestination& to) {
  RowLoop loop;
  if (!SetUp(conversion, source, to, &loop)) return true;
  // Map rows follow the plane rows actually read (every other row in mode 6).
  const uint32_t plane_row_step = loop.mode == COPY_1X_INTERLACED ? 2 : 1;
  const uint32_t last_plane_row = (loop.ctx.row_end - 1) * plane_row_step;
  const uint32_t columns = (loop.x0 + loop.width + 15) / 16;
  if (!source.map || columns > source.map_stride ||
      uint64_t{last_plane_row / 16} * source.map_stride + columns > source.map_size)
    return false;
  const uint32_t first = std::min((0u - loop.x0) & 15, loop.width);
  while (loop.ctx.row < loop.ctx.row_end) {
    const uint8_t* m =
        source.map + (loop.ctx.row * plane_row_step / 16) * source.map_stride + loop.x0 / 16;
    uint32_t x = loop.x0;
    const uint32_t end = loop.x0 + loop.width;
    uint32_t run_start = x, run = 0;
    while (x < end) {
      const uint32_t block = x == loop.x0 && first ? first : std::min(16u, end - x);
      if (*m++) {
        if (!run) run_start = x;
        run += block;
      } else {
        if (run) ConvertSpan(&loop, run_start, run);
        run = 0;
        SkipSpan(&loop, x, block, x + block == end);
      }
      x += block;
    }
    if (run) ConvertSpan(&loop, run_start, run);
    FinishRow(&loop);
  }
  return true;
}

}  // namespace

void CopyPlanes(ConversionContext& context, const CopySource& source, void* destination,
                int32_t pitch, int32_t destination_height) {
  CopyDestination to;
  to.rows = destination_height > 0 ? static_cast<uint32_t>(destination_height) : 0;
  to.memory = static_cast<uint8_t*>(destination);
  to.pitch = pitch;
  to.dest = to.memory;
  if (pitch < 0 && to.rows > 0) to.dest -= static_cast<ptrdiff_t>(to.rows - 1) * pitch;
  if (!source.map || !CopyChangedBlocks(context, source, to)) CopyWholeFrame(context, source, to);
}

}  // namespace vexil
