// The table colour path: luma, chroma and channel lookup tables, and the
// RGB row converters built on them (pairs and lone pixels, no 8-pixel groups).
#include "display/convert_table.h"

#include "display/convert_simd.h"
#include "display/converter.h"

namespace vexil {
namespace {

void BuildChannelTables(ChannelTables& t, const ChannelDescription& d) {
  const uint32_t s = std::max({d.dropped[CH_RED], d.dropped[CH_GREEN], d.dropped[CH_BLUE]});
  bool shared = false;
  uint32_t key[8] = {};
  key[1] = s;
  for (int c = CH_RED; c <= CH_BLUE; ++c) {
    shared |= d.pos[c] > d.dropped[c];
    key[1 + c] = d.pos[c] - d.dropped[c] + s;
    t.shift[c] = key[1 + c];
  }
  key[0] = shared;
  if (!shared) {
    for (int c = CH_RED; c <= CH_BLUE; ++c) key[4 + c] = d.dropped[c];
  }
  t.s = s;
  if (t.built && std::equal(key, key + 8, t.key)) return;
  if (shared) {
    for (uint32_t i = 0; i < 256; ++i) {
      t.channel[i] = 0;
      t.channel[256 + i] = i >> s;
      t.channel[512 + i] = 255u >> s;
    }
  } else {
    for (int c = 0; c < 3; ++c) {
      const uint32_t dropped = d.dropped[CH_RED + c], pos = d.pos[CH_RED + c];
      for (uint32_t i = 0; i < 256; ++i) {
        t.index[c][i] = 0;
        t.index[c][256 + i] = static_cast<uint8_t>((i >> dropped) << pos);
        t.index[c][512 + i] = static_cast<uint8_t>((255u >> dropped) << pos);
      }
    }
  }
  t.built = true;
  std::copy(key, key + 8, t.key);
}

// The three channel values of one pixel before the look-up.
struct TableRgb {
  int32_t r, g, b;
};

inline TableRgb TableColour(uint32_t y, uint32_t cb, uint32_t cr, int32_t dither) {
  const int32_t yy = kBaseTables.luma[y] + dither;
  const int32_t u = kBaseTables.chroma[cb];
  const int32_t v = kBaseTables.chroma[cr];
  return {yy + 4 * v, yy - u - 2 * v, yy + 5 * u};
}

// What a run needs of its context, copied once per run: the pixel stores
// could otherwise alias it and force it to be read again.
struct TableParams {
  const uint32_t* channel;
  uint32_t shift[CH_COUNT];
  uint32_t blue_pos;
  int32_t dither16[2];  // current row, by column parity
  int32_t alpha_shift;
  uint32_t alpha_mask;

  explicit TableParams(const ConversionContext& c)
      : channel(c.tables.channel),
        shift{c.tables.shift[0], c.tables.shift[1], c.tables.shift[2], c.tables.shift[3]},
        blue_pos(c.channels.pos[CH_BLUE]),
        dither16{c.dither.table16[0][0], c.dither.table16[0][1]},
        alpha_shift(c.alpha_shift),
        alpha_mask(c.alpha_mask) {}
};

inline uint32_t Table32(const TableParams& p, TableRgb c) {
  const uint32_t* t = p.channel;
  const uint32_t rb = TableLookup(t, c.r + kRedOffset) << 16 | TableLookup(t, c.b + kBlueOffset);
  const uint32_t rotated = p.blue_pos ? (rb << p.blue_pos | rb >> (32 - p.blue_pos)) : rb;
  return rotated | TableLookup(t, c.g + kGreenOffset) << 8;
}

inline uint32_t Table16(const TableParams& p, TableRgb c) {
  const uint32_t* t = p.channel;
  return TableLookup(t, c.r + kRedOffset) << p.shift[CH_RED] |
         TableLookup(t, c.g + kGreenOffset) << p.shift[CH_GREEN] |
         TableLookup(t, c.b + kBlueOffset) << p.shift[CH_BLUE];
}

enum TableMember { TABLE_32, TABLE_32_ALPHA, TABLE_16, TABLE_16_ALPHA };

template <TableMember M>
inline void TablePixel(const TableParams& p, uint8_t* d, uint32_t y, uint32_t cb, uint32_t cr,
                       const uint8_t* a, uint32_t parity) {
  if constexpr (M == TABLE_32 || M == TABLE_32_ALPHA) {
    uint32_t v = Table32(p, TableColour(y, cb, cr, 0));
    if constexpr (M == TABLE_32_ALPHA) v |= uint32_t{*a} << 24;
    Store32(d, v);
  } else {
    uint32_t v = Table16(p, TableColour(y, cb, cr, p.dither16[parity]));
    if constexpr (M == TABLE_16_ALPHA) v |= (uint32_t{*a} << p.alpha_shift) & p.alpha_mask;
    Store16(d, v);
  }
}

template <TableMember M>
uint32_t TableRun(StripContext* ctx, uint32_t n, uint32_t x) {
  constexpr bool kAlpha = M == TABLE_32_ALPHA || M == TABLE_16_ALPHA;
  constexpr uint32_t out = (M == TABLE_32 || M == TABLE_32_ALPHA) ? 4 : 2;
  const TableParams p(*ctx->conversion);
  const uint32_t count = n == 1 ? 1 : n - ((x ^ n) & 1);
  uint8_t* d = ctx->dest;
  const uint8_t* y = ctx->luma;
  const uint8_t* cb = ctx->chroma_b;
  const uint8_t* cr = ctx->chroma_r;
  const uint8_t* a = kAlpha ? ctx->alpha : nullptr;
  uint32_t done = 0;
  if (count & 1) {
    TablePixel<M>(p, d, *y, *cb, *cr, a, x & 1);
    d += out, ++y, ++cb, ++cr;
    if (kAlpha) ++a;
    done = 1;
  }
  for (; done < count; done += 2) {
    TablePixel<M>(p, d, y[0], *cb, *cr, a, 0);
    TablePixel<M>(p, d + out, y[1], *cb, *cr, kAlpha ? a + 1 : nullptr, 1);
    d += 2 * out, y += 2, ++cb, ++cr;
    if (kAlpha) a += 2;
  }
  ctx->dest = d;
  ctx->luma = y;
  ctx->chroma_b = cb;
  ctx->chroma_r = cr;
  if (kAlpha) ctx->alpha = a;
  return n - count;
}

}  // namespace

void PrepareTables(ConversionContext& context) {
  BuildChannelTables(context.tables, context.channels);
  // Table dither rows are rewritten at every table selection.
  DitherRows& dither = context.dither;
  const int32_t h = 1 << context.tables.s;
  dither.table16[0][0] = 0;
  dither.table16[0][1] = h / 2;
  dither.table16[1][0] = h / 4;
  dither.table16[1][1] = 3 * h / 4;
  for (int c = 0; c < kDitherChannels; ++c) {
    const int32_t d = 1 << context.channels.dropped[CH_RED + c];
    dither.index8[c][0][0] = 0;
    dither.index8[c][0][1] = d / 2;
    dither.index8[c][1][0] = d / 4;
    dither.index8[c][1][1] = 3 * d / 4;
  }
}

uint32_t ConvertTable32(StripContext* ctx, uint32_t n, uint32_t x) {
  return TableRun<TABLE_32>(ctx, n, x);
}
uint32_t ConvertTable32Alpha(StripContext* ctx, uint32_t n, uint32_t x) {
  return TableRun<TABLE_32_ALPHA>(ctx, n, x);
}
uint32_t ConvertTable16(StripContext* ctx, uint32_t n, uint32_t x) {
  return TableRun<TABLE_16>(ctx, n, x);
}
uint32_t ConvertTable16Alpha(StripContext* ctx, uint32_t n, uint32_t x) {
  return TableRun<TABLE_16_ALPHA>(ctx, n, x);
}

}  // namespace vexil
