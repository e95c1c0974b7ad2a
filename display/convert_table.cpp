// The table colour path: luma, chroma and channel lookup tables, and the
// RGB row converters built on them (pairs and lone pixels, no 8-pixel groups).
#include "display/convert_table.h"

#include "display/convert_simd.h"
#include "display/converter.h"

namespace vexil {
namespace {

ConversionTables g_tables;
bool g_base_built = false;
// What the channel tables were last built for: shared or byte tables, s, and
// per channel position - dropped + s (byte tables: also the dropped bits).
bool g_channel_valid = false;
uint32_t g_channel_key[8];

void BuildBase() {
  for (int y = 0; y < 256; ++y) {
    if (y < 16) {
      g_tables.luma[y] = 0;
    } else if (y <= 234) {
      g_tables.luma[y] = static_cast<uint8_t>(((y - 16) * 76392) >> 16);
    } else {
      g_tables.luma[y] = 255;
    }
    g_tables.chroma[y] = static_cast<int8_t>((26572 * (y - 128)) >> 16);
  }
  g_base_built = true;
}

void BuildChannelTables(const ChannelDescription& d) {
  const uint32_t s = std::max({d.dropped[CH_RED], d.dropped[CH_GREEN], d.dropped[CH_BLUE]});
  bool shared = false;
  uint32_t key[8] = {};
  key[1] = s;
  for (int c = CH_RED; c <= CH_BLUE; ++c) {
    shared |= d.pos[c] > d.dropped[c];
    key[1 + c] = d.pos[c] - d.dropped[c] + s;
    g_tables.shift[c] = key[1 + c];
  }
  key[0] = shared;
  if (!shared) {
    for (int c = CH_RED; c <= CH_BLUE; ++c) key[4 + c] = d.dropped[c];
  }
  g_tables.s = s;
  if (g_channel_valid && std::equal(key, key + 8, g_channel_key)) return;
  if (shared) {
    for (uint32_t i = 0; i < 256; ++i) {
      g_tables.channel[i] = 0;
      g_tables.channel[256 + i] = i >> s;
      g_tables.channel[512 + i] = 255u >> s;
    }
  } else {
    for (int c = 0; c < 3; ++c) {
      const uint32_t dropped = d.dropped[CH_RED + c], pos = d.pos[CH_RED + c];
      for (uint32_t i = 0; i < 256; ++i) {
        g_tables.index[c][i] = 0;
        g_tables.index[c][256 + i] = static_cast<uint8_t>((i >> dropped) << pos);
        g_tables.index[c][512 + i] = static_cast<uint8_t>((255u >> dropped) << pos);
      }
    }
  }
  g_channel_valid = true;
  std::copy(key, key + 8, g_channel_key);
}

// The three channel values of one pixel before the look-up.
struct TableRgb {
  int32_t r, g, b;
};

inline TableRgb TableColour(uint32_t y, uint32_t cb, uint32_t cr, int32_t dither) {
  const int32_t yy = g_tables.luma[y] + dither;
  const int32_t u = g_tables.chroma[cb];
  const int32_t v = g_tables.chroma[cr];
  return {yy + 4 * v, yy - u - 2 * v, yy + 5 * u};
}

inline uint32_t Table32(TableRgb c, uint32_t blue_pos) {
  const uint32_t* t = g_tables.channel;
  const uint32_t rb = TableLookup(t, c.r + kRedOffset) << 16 | TableLookup(t, c.b + kBlueOffset);
  const uint32_t rotated = blue_pos ? (rb << blue_pos | rb >> (32 - blue_pos)) : rb;
  return rotated | TableLookup(t, c.g + kGreenOffset) << 8;
}

inline uint32_t Table16(TableRgb c) {
  const uint32_t* t = g_tables.channel;
  return TableLookup(t, c.r + kRedOffset) << g_tables.shift[CH_RED] |
         TableLookup(t, c.g + kGreenOffset) << g_tables.shift[CH_GREEN] |
         TableLookup(t, c.b + kBlueOffset) << g_tables.shift[CH_BLUE];
}

enum TableMember { TABLE_32, TABLE_32_ALPHA, TABLE_16, TABLE_16_ALPHA };

template <TableMember M>
inline void TablePixel(const ConverterState& s, uint8_t* d, uint32_t y, uint32_t cb, uint32_t cr,
                       const uint8_t* a, uint32_t parity) {
  if constexpr (M == TABLE_32 || M == TABLE_32_ALPHA) {
    uint32_t v = Table32(TableColour(y, cb, cr, 0), s.channels.pos[CH_BLUE]);
    if constexpr (M == TABLE_32_ALPHA) v |= uint32_t{*a} << 24;
    Store32(d, v);
  } else {
    uint32_t v = Table16(TableColour(y, cb, cr, s.dither.table16[0][parity]));
    if constexpr (M == TABLE_16_ALPHA) v |= (uint32_t{*a} << s.alpha_shift) & s.alpha_mask;
    Store16(d, v);
  }
}

template <TableMember M>
uint32_t TableRun(StripContext* ctx, uint32_t n, uint32_t x) {
  constexpr bool kAlpha = M == TABLE_32_ALPHA || M == TABLE_16_ALPHA;
  constexpr uint32_t out = (M == TABLE_32 || M == TABLE_32_ALPHA) ? 4 : 2;
  const ConverterState& s = Converters();
  const uint32_t count = n == 1 ? 1 : n - ((x ^ n) & 1);
  uint8_t* d = ctx->dest;
  const uint8_t* y = ctx->luma;
  const uint8_t* cb = ctx->chroma_b;
  const uint8_t* cr = ctx->chroma_r;
  const uint8_t* a = kAlpha ? ctx->alpha : nullptr;
  uint32_t done = 0;
  if (count & 1) {
    TablePixel<M>(s, d, *y, *cb, *cr, a, x & 1);
    d += out, ++y, ++cb, ++cr;
    if (kAlpha) ++a;
    done = 1;
  }
  for (; done < count; done += 2) {
    TablePixel<M>(s, d, y[0], *cb, *cr, a, 0);
    TablePixel<M>(s, d + out, y[1], *cb, *cr, kAlpha ? a + 1 : nullptr, 1);
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

const ConversionTables& Tables() {
  return g_tables;
}

void PrepareTables() {
  if (!g_base_built) BuildBase();
  ConverterState& s = Converters();
  BuildChannelTables(s.channels);
  // Table dither rows are rewritten at every table selection.
  const int32_t h = 1 << g_tables.s;
  s.dither.table16[0][0] = 0;
  s.dither.table16[0][1] = h / 2;
  s.dither.table16[1][0] = h / 4;
  s.dither.table16[1][1] = 3 * h / 4;
  for (int c = 0; c < kDitherChannels; ++c) {
    const int32_t d = 1 << s.channels.dropped[CH_RED + c];
    s.dither.index8[c][0][0] = 0;
    s.dither.index8[c][0][1] = d / 2;
    s.dither.index8[c][1][0] = d / 4;
    s.dither.index8[c][1][1] = 3 * d / 4;
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
