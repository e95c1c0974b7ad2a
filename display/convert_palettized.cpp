// The 8-bit palette index on the table path: the table colour arithmetic with
// a per-channel ordered dither added to each channel value, and three byte
// tables that place the top bits of red, green and blue (3-3-2).
#include "display/convert_table.h"
#include "display/converter.h"

namespace vexil {
namespace {

// The current dither row of each channel by column parity, copied once per
// run so that the stores do not force it to be read again.
struct IndexDither {
  int32_t add[kDitherChannels][2];
};

inline uint8_t IndexPixel(const ChannelTables& t, const IndexDither& dither, uint32_t y,
                          uint32_t cb, uint32_t cr, uint32_t parity) {
  const int32_t yy = kBaseTables.luma[y];
  const int32_t u = kBaseTables.chroma[cb];
  const int32_t v = kBaseTables.chroma[cr];
  const int32_t red = yy + 4 * v + dither.add[0][parity];
  const int32_t green = yy - u - 2 * v + dither.add[1][parity];
  const int32_t blue = yy + 5 * u + dither.add[2][parity];
  return TableLookup(t.index[0], red + kRedOffset) | TableLookup(t.index[2], blue + kBlueOffset) |
         TableLookup(t.index[1], green + kGreenOffset);
}

}  // namespace

uint32_t ConvertTableIndex8(StripContext* ctx, uint32_t n, uint32_t x) {
  const ChannelTables& t = ctx->conversion->tables;
  IndexDither dither;
  for (int c = 0; c < kDitherChannels; ++c) {
    dither.add[c][0] = ctx->conversion->dither.index8[c][0][0];
    dither.add[c][1] = ctx->conversion->dither.index8[c][0][1];
  }
  const uint32_t count = n == 1 ? 1 : n - ((x ^ n) & 1);
  uint8_t* d = ctx->dest;
  const uint8_t* y = ctx->luma;
  const uint8_t* cb = ctx->chroma_b;
  const uint8_t* cr = ctx->chroma_r;
  uint32_t done = 0;
  if (count & 1) {
    *d++ = IndexPixel(t, dither, *y++, *cb++, *cr++, x & 1);
    done = 1;
  }
  for (; done < count; done += 2) {
    d[0] = IndexPixel(t, dither, y[0], *cb, *cr, 0);
    d[1] = IndexPixel(t, dither, y[1], *cb, *cr, 1);
    d += 2, y += 2, ++cb, ++cr;
  }
  ctx->dest = d;
  ctx->luma = y;
  ctx->chroma_b = cb;
  ctx->chroma_r = cr;
  return n - count;
}

}  // namespace vexil
