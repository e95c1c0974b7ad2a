// The converter machinery shared by the copy, the selectors and the row
// converters: the strip context, the process-wide selection state, the
// channel description and the dither rows.
//
// Everything here is process-wide and used on the player thread only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil {

// One per call of the row loop. Cursors move as the converters consume
// samples and write pixels; the advances bring them to the next row.
struct StripContext {
  uint8_t* dest;  // destination cursor (staging cursor while staging)
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
  uint32_t max_run;  // most pixels per converter call (all ones = unlimited)
  ptrdiff_t dest_advance;
  ptrdiff_t luma_advance;
  ptrdiff_t alpha_advance;
  ptrdiff_t chroma_r_advance[2];  // after an even / odd row
  ptrdiff_t chroma_b_advance[2];
  ptrdiff_t yv12_advance[2];
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

// Converts up to n pixels of the current row starting at source column x
// (at least one while n > 0), advancing the cursors past what it converted;
// returns the number left unconverted.
using RowConverter = uint32_t (*)(StripContext* ctx, uint32_t n, uint32_t x);

// Moves the staged bytes [start, end) into the destination at `dest`; returns
// the destination position after them.
using PostStep = uint8_t* (*)(StripContext* ctx, uint8_t* dest, const uint8_t* start,
                              const uint8_t* end);

enum ConverterFamily : uint32_t { FAMILY_8 = 0, FAMILY_16 = 1, FAMILY_32 = 2 };

struct ConverterSelection {
  RowConverter row_converter;
  RowConverter strip;  // the row converter, or the height-doubling wrapper
  PostStep post;
  PostStep width_doubling_post;
  PostStep saved_post;  // inner post step of the height-doubling post step
  uint32_t bytes_per_pixel;
  uint32_t family;
  bool staging;
  uint32_t dest_bytes_per_pixel;  // bytes per pixel, doubled in modes 3, 4, 5
};

enum Channel { CH_ALPHA, CH_RED, CH_GREEN, CH_BLUE, CH_COUNT };

// Bit position of each channel's least significant bit and the bits dropped
// from its 8-bit value.
struct ChannelDescription {
  uint8_t pos[CH_COUNT];
  uint8_t dropped[CH_COUNT];
};

// Channels of the dither rows: red, green, blue.
constexpr int kDitherChannels = 3;

struct DitherRows {
  // SIMD path: bias plus dither, lanes 0 and 2 for even columns, 1 and 3 for
  // odd; [channel][0] is the current row, [channel][1] the other.
  int16_t simd[kDitherChannels][2][4];
  // Table path, 16-bit formats: added to the luma term; [row][column parity].
  int32_t table16[2][2];
  // Table path, 8-bit index: added to each channel value; [channel][row][parity].
  int32_t index8[kDitherChannels][2][2];
};

// The process-wide converter state.
struct ConverterState {
  ConverterSelection selection;
  ChannelDescription channels;
  bool channels_valid;
  uint32_t alpha_mask;  // one 32-bit store: 0xFF000000, 0xF000F000 or 0x80008000
  int32_t alpha_shift;  // alpha position minus its dropped bits
  DitherRows dither;
};

ConverterState& Converters();

// Swaps the current and the other dither row of every channel (after every
// row copied, so the pattern follows the source rows).
void SwapDitherRows();

// Runs the selectors in order for the copy flags; false when none accepts
// (the strip function is then cleared). `cpu` is the processor feature word.
bool SelectConverters(uint32_t copy_flags, bool has_alpha, uint32_t cpu);

// The feature word the copy selects with: CpuFeatures(), unless a test set
// another (0 restores CpuFeatures()).
uint32_t CopyCpuFeatures();
void SetCopyCpuFeaturesForTesting(uint32_t features);
// Forgets the channel description, so the next selection starts every dither
// row afresh (tests that compare two copies).
void ResetDitherForTesting();

// --- used by the selectors ---

// Stores the channel description; true when it differed from the previous one
// (the derived values and the SIMD dither rows were then recomputed).
bool SetChannelDescription(const ChannelDescription& description);
const ChannelDescription& ChannelDescriptionOf(uint32_t format);

// Writes plain biases into every SIMD dither lane (24/32-bit formats).
void SetPlainSimdBiases();

// Row converters and post steps, by member.
uint32_t ConvertSimd32(StripContext* ctx, uint32_t n, uint32_t x);
uint32_t ConvertSimd32Alpha(StripContext* ctx, uint32_t n, uint32_t x);
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

// Table path: builds the luma and chroma tables once, the channel tables when
// their key changes, and writes the table dither rows.
void PrepareTables();

uint8_t* PostCopy(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostDouble8(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostDouble16(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostDouble32(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostPack24(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostPack24Double(StripContext* ctx, uint8_t* dest, const uint8_t* start,
                          const uint8_t* end);
uint8_t* PostYuy2Double(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);
uint8_t* PostUyvyDouble(StripContext* ctx, uint8_t* dest, const uint8_t* start, const uint8_t* end);

}  // namespace vexil
