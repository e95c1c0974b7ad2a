// The converter machinery shared by the copy, the selectors and the row
// converters: the strip context through which every converter reaches its
// conversion context, and the members of the selectors' table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "display/conversion_context.h"

namespace vexil {

// One per call of the row loop. Cursors move as the converters consume
// samples and write pixels; the row loop brings them to the next row.
struct StripContext {
  ConversionContext* conversion;  // the selection, dither rows and tables of this copy
  uint8_t* dest;                  // destination cursor (staging cursor while staging)
  const uint8_t* luma;
  const uint8_t* chroma_r;  // Cr
  const uint8_t* chroma_b;  // Cb
  const uint8_t* alpha;
  uint8_t* yv12_v;  // YV12 chroma destination cursors
  uint8_t* yv12_u;
  uint8_t* yv12_v_row;  // their values at the start of the row
  uint8_t* yv12_u_row;
  ptrdiff_t dest_step;
  uint32_t row;  // current source row
  uint32_t row_end;
  uint32_t max_run;           // most pixels per converter call (all ones = unlimited)
  ptrdiff_t yv12_advance[2];  // after an even / odd row
  ptrdiff_t pitch;
  ptrdiff_t luma_pitch;
  ptrdiff_t alpha_pitch;
  ptrdiff_t chroma_r_pitch;
  ptrdiff_t chroma_b_pitch;
  uint8_t* dest_start;
  // YV12: each chroma plane's extent and the bytes of one of its rows. A
  // chroma row outside the plane (odd heights, doubled rows) is not written,
  // nor the part of a row beyond its pitch.
  uint8_t* yv12_v_lo;
  uint8_t* yv12_v_hi;
  uint8_t* yv12_u_lo;
  uint8_t* yv12_u_hi;
  ptrdiff_t yv12_row_bytes;
};

// Swaps the current and the other dither row of every channel (after every
// row copied, so the pattern follows the source rows).
inline void SwapDitherRows(DitherRows& d) {
  for (int c = 0; c < kDitherChannels; ++c) {
    std::swap(d.simd[c][0], d.simd[c][1]);
    std::swap(d.index8[c][0], d.index8[c][1]);
  }
  std::swap(d.table16[0], d.table16[1]);
}

// --- used by the selectors ---

// Stores the channel description in the context; true when it differed from
// the previous one (the derived values and the SIMD dither rows were then
// recomputed).
bool SetChannelDescription(ConversionContext& context, const ChannelDescription& description);
const ChannelDescription& ChannelDescriptionOf(uint32_t format);

// Writes plain biases into every SIMD dither lane (24/32-bit formats).
void SetPlainSimdBiases(DitherRows& dither);

// Row converters and post steps, by member.
uint32_t ConvertSimd32(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimd32Alpha(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimd24(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimd16(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimd16Alpha(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimdIndex8(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimdYuy2(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimdUyvy(StripContext* ctx, uint32_t n, uint32_t x);

uint32_t ConvertTable32(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertTable32Alpha(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertTable16(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertTable16Alpha(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertTableIndex8(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertPlainYuy2(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertPlainUyvy(StripContext* ctx, uint32_t n, uint32_t x);

uint32_t ConvertYv12(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertYv12Doubled(StripContext* ctx, uint32_t n, uint32_t x);
void ConvertYv12Frame(StripContext* ctx, uint32_t width);
// The whole-copy form of a SIMD-path row converter; null for the others.
FrameConverter SimdFrameConverter(RowConverter row);

// Table path: builds the context's channel tables when their key changes and
// writes the table dither rows.
void PrepareTables(ConversionContext& context);

uint8_t* PostCopy(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostDouble8(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostDouble16(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostDouble24(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostDouble32(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostPack24(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostPack24Double(StripContext* ctx, uint8_t* dest, const uint8_t* start,
                          const uint8_t* end);
uint8_t* PostYuy2Double(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostUyvyDouble(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);

}  // namespace vexil
