// Converter selection: fourteen selectors tried in order (SIMD members first,
// then the table and plain members that serve any processor), the channel
// description they set, and the scaling mode applied on top of the member.
#include <algorithm>

#include "display/convert_simd.h"
#include "display/converter.h"
#include "display/copy.h"
#include "display/pixel_formats.h"
#include "platform/cpu.h"

namespace vexil {
namespace {

// {alpha, red, green, blue} positions and dropped bits (8 minus the bits kept).
constexpr ChannelDescription kIndex8 = {{0, 0, 3, 6}, {0, 5, 5, 6}};
constexpr ChannelDescription kRgb32 = {{24, 16, 8, 0}, {0, 0, 0, 0}};
constexpr ChannelDescription kRgb32R = {{24, 0, 8, 16}, {0, 0, 0, 0}};
constexpr ChannelDescription k4444 = {{12, 8, 4, 0}, {4, 4, 4, 4}};
constexpr ChannelDescription k1555 = {{15, 10, 5, 0}, {7, 3, 3, 3}};
constexpr ChannelDescription k565 = {{0, 11, 5, 0}, {0, 3, 2, 3}};
constexpr ChannelDescription k655 = {{0, 10, 5, 0}, {0, 2, 3, 3}};
constexpr ChannelDescription k664 = {{0, 10, 4, 0}, {0, 2, 2, 4}};

constexpr const ChannelDescription* kDescriptions[PIXFMT_COUNT] = {
    &kIndex8, &kRgb32, &kRgb32R, &kRgb32, &kRgb32R, &kRgb32, &kRgb32R, &k4444,
    &k1555,   &k1555,  &k565,    &k655,   &k664,    &kRgb32, &kRgb32,  &kRgb32};

constexpr int16_t kBias[kDitherChannels] = {kSimdRedBias, kSimdGreenBias, kSimdBlueBias};

void InitSimdDither(ConversionContext& context) {
  for (int c = 0; c < kDitherChannels; ++c) {
    const int32_t bias = kBias[c];
    const int32_t d = 1 << (context.channels.dropped[CH_RED + c] + 4);
    const int32_t current[2] = {bias, bias + d / 2};
    const int32_t other[2] = {bias + d / 4, bias + 3 * d / 4};
    for (int lane = 0; lane < 4; ++lane) {
      context.dither.simd[c][0][lane] = static_cast<int16_t>(current[lane & 1]);
      context.dither.simd[c][1][lane] = static_cast<int16_t>(other[lane & 1]);
    }
  }
}

// --- the height-doubling wrappers of mode 1 (and 4) ---

// Without staging: the run is converted twice, the second time from the same
// source cursors into the next destination row; the cursors stay as the first
// pass left them.
uint32_t HeightDoublingStrip(StripContext* ctx, uint32_t n, uint32_t x) {
  const StripContext before = *ctx;
  const RowConverter convert = ctx->conversion->selection.row_converter;
  const uint32_t left = convert(ctx, n, x);
  const StripContext after = *ctx;
  ctx->dest = before.dest + before.dest_step;
  ctx->luma = before.luma;
  ctx->chroma_r = before.chroma_r;
  ctx->chroma_b = before.chroma_b;
  ctx->alpha = before.alpha;
  if (before.yv12_v) {
    const ptrdiff_t next_row = before.yv12_advance[0] / 2;
    ctx->yv12_v = before.yv12_v + next_row;
    ctx->yv12_u = before.yv12_u + next_row;
    ctx->yv12_v_row = before.yv12_v_row + next_row;
    ctx->yv12_u_row = before.yv12_u_row + next_row;
  }
  convert(ctx, n, x);
  *ctx = after;
  return left;
}

// With staging: the inner post step writes the staged run twice.
uint8_t* HeightDoublingPost(StripContext* ctx, uint8_t* dest, const uint8_t* start,
                            const uint8_t* end) {
  const PostStep post = ctx->conversion->selection.saved_post;
  uint8_t* next = post(ctx, dest, start, end);
  post(ctx, dest + ctx->dest_step, start, end);
  return next;
}

uint8_t* WidthHeightDoublingPost(StripContext* ctx, uint8_t* dest, const uint8_t* start,
                                 const uint8_t* end) {
  const PostStep post = ctx->conversion->selection.width_doubling_post;
  uint8_t* next = post(ctx, dest, start, end);
  post(ctx, dest + ctx->dest_step, start, end);
  return next;
}

// The member's pixel layout: bytes, family, staging and post steps.
void SetLayout(ConverterSelection& s, uint32_t format, RowConverter converter) {
  s.row_converter = converter;
  s.bytes_per_pixel = PixelFormatBytes(format);
  s.staging = false;
  s.post = PostCopy;
  s.saved_post = nullptr;
  switch (format) {
    case PIXFMT_8:
      s.family = FAMILY_8;
      s.width_doubling_post = PostDouble8;
      break;
    case PIXFMT_24:
    case PIXFMT_24R:
      s.family = FAMILY_32;
      if (converter == ConvertSimd24) {
        // Written as 3-byte pixels; staged only to double the width.
        s.width_doubling_post = PostDouble24;
        break;
      }
      // The table converters write 4-byte pixels; the post step packs them.
      s.staging = true;
      s.post = PostPack24;
      s.width_doubling_post = PostPack24Double;
      break;
    case PIXFMT_32:
    case PIXFMT_32R:
    case PIXFMT_32A:
    case PIXFMT_32RA:
      s.family = FAMILY_32;
      s.width_doubling_post = PostDouble32;
      break;
    case PIXFMT_YUY2:
      s.family = FAMILY_16;
      s.width_doubling_post = PostYuy2Double;
      break;
    case PIXFMT_UYVY:
      s.family = FAMILY_16;
      s.width_doubling_post = PostUyvyDouble;
      break;
    default:  // 16-bit RGB
      s.family = FAMILY_16;
      s.width_doubling_post = PostDouble16;
      break;
  }
}

void ApplyScaling(ConverterSelection& s, uint32_t mode) {
  s.strip = s.row_converter;
  s.dest_bytes_per_pixel = s.bytes_per_pixel;
  if (mode == COPY_2X_W || mode == COPY_2X_WH || mode == COPY_2X_WH_INTERLACED) {
    s.dest_bytes_per_pixel = 2 * s.bytes_per_pixel;
    s.post = s.width_doubling_post;
    s.staging = true;
    if (mode == COPY_2X_WH) s.post = WidthHeightDoublingPost;
  } else if (mode == COPY_2X_H) {
    if (s.staging) {
      s.saved_post = s.post;
      s.post = HeightDoublingPost;
    } else {
      s.strip = HeightDoublingStrip;
    }
  }
  // Rows written once, straight into the destination: whole copies may skip the row loop.
  s.frame =
      s.strip == s.row_converter && !s.staging ? SimdFrameConverter(s.row_converter) : nullptr;
}

struct Selector {
  uint32_t formats;  // bit per accepted format code
  bool needs_mmx;
  bool needs_alpha;
  RowConverter converter;
  enum Kind { SIMD_RGB, TABLE_RGB, PACKED, YV12 } kind;
};

constexpr uint32_t Formats(uint32_t first, uint32_t last) {
  return ((2u << last) - 1) & ~((1u << first) - 1);
}

const Selector kSelectors[] = {
    {Formats(5, 6), true, true, ConvertSimd32Alpha, Selector::SIMD_RGB},
    {Formats(1, 2), true, false, ConvertSimd24, Selector::SIMD_RGB},
    {Formats(3, 6), true, false, ConvertSimd32, Selector::SIMD_RGB},
    {Formats(7, 8), true, true, ConvertSimd16Alpha, Selector::SIMD_RGB},
    {Formats(7, 12), true, false, ConvertSimd16, Selector::SIMD_RGB},
    {Formats(13, 14), true, false, nullptr, Selector::PACKED},
    {Formats(0, 0), true, false, ConvertSimdIndex8, Selector::SIMD_RGB},
    {Formats(5, 6), false, true, ConvertTable32Alpha, Selector::TABLE_RGB},
    {Formats(1, 6), false, false, ConvertTable32, Selector::TABLE_RGB},
    {Formats(7, 8), false, true, ConvertTable16Alpha, Selector::TABLE_RGB},
    {Formats(7, 12), false, false, ConvertTable16, Selector::TABLE_RGB},
    {Formats(13, 14), false, false, nullptr, Selector::PACKED},
    {Formats(15, 15), false, false, nullptr, Selector::YV12},
    {Formats(0, 0), false, false, ConvertTableIndex8, Selector::TABLE_RGB},
};

}  // namespace

const ChannelDescription& ChannelDescriptionOf(uint32_t format) {
  return *kDescriptions[format & PIXFMT_MASK];
}

bool SetChannelDescription(ConversionContext& context, const ChannelDescription& d) {
  ChannelDescription& cur = context.channels;
  if (context.channels_valid && std::equal(d.pos, d.pos + CH_COUNT, cur.pos) &&
      std::equal(d.dropped, d.dropped + CH_COUNT, cur.dropped))
    return false;
  cur = d;
  context.channels_valid = true;
  switch (d.pos[CH_ALPHA]) {
    case 24:
      context.alpha_mask = 0xFF000000u;
      break;
    case 12:
      context.alpha_mask = 0xF000F000u;
      break;
    case 15:
      context.alpha_mask = 0x80008000u;
      break;
    default:
      context.alpha_mask = 0;
  }
  context.alpha_shift = int32_t{d.pos[CH_ALPHA]} - d.dropped[CH_ALPHA];
  InitSimdDither(context);
  return true;
}

void SetPlainSimdBiases(DitherRows& dither) {
  for (int c = 0; c < kDitherChannels; ++c)
    for (auto& row : dither.simd[c])
      for (auto& lane : row) lane = kBias[c];
}

bool SelectConverters(ConversionContext& context, uint32_t flags, bool has_alpha) {
  const uint32_t format = flags & COPY_FORMAT_MASK;
  const uint32_t mode = CopyScaleMode(flags);
  ConverterSelection& s = context.selection;
  for (const Selector& sel : kSelectors) {
    if (!(sel.formats & (1u << format))) continue;
    if (sel.needs_mmx && !(context.cpu & CPU_MMX)) continue;
    if (sel.needs_alpha && !has_alpha) continue;
    switch (sel.kind) {
      case Selector::SIMD_RGB:
        SetChannelDescription(context, ChannelDescriptionOf(format));
        if (format >= PIXFMT_24 && format <= PIXFMT_32RA) SetPlainSimdBiases(context.dither);
        SetLayout(s, format, sel.converter);
        break;
      case Selector::TABLE_RGB:
        SetChannelDescription(context, ChannelDescriptionOf(format));
        PrepareTables(context);
        SetLayout(s, format, sel.converter);
        break;
      case Selector::PACKED:
        SetLayout(s, format,
                  format == PIXFMT_YUY2 ? (sel.needs_mmx ? ConvertSimdYuy2 : ConvertPlainYuy2)
                                        : (sel.needs_mmx ? ConvertSimdUyvy : ConvertPlainUyvy));
        break;
      case Selector::YV12: {
        const bool doubled =
            mode == COPY_2X_W || mode == COPY_2X_WH || mode == COPY_2X_WH_INTERLACED;
        s.row_converter = doubled ? ConvertYv12Doubled : ConvertYv12;
        s.bytes_per_pixel = 1;
        s.family = FAMILY_8;
        s.staging = false;
        s.post = s.width_doubling_post = s.saved_post = nullptr;
        s.dest_bytes_per_pixel = doubled ? 2 : 1;
        s.strip = (mode == COPY_2X_H || mode == COPY_2X_WH) ? HeightDoublingStrip : s.row_converter;
        s.frame = s.strip == ConvertYv12 ? ConvertYv12Frame : nullptr;
        return true;
      }
    }
    ApplyScaling(s, mode);
    return true;
  }
  s.strip = nullptr;
  return false;
}

}  // namespace vexil
