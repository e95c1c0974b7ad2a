// Packed 4:2:2 output written straight from the decoded samples: the plain
// member (pairs, and a lone pixel where a run must end on an even column) and
// the width-doubling post steps.
#include <cstring>

#include "display/converter.h"

namespace vexil {
namespace {

template <bool kUyvy>
uint32_t PlainRun(StripContext* ctx, uint32_t n, uint32_t x) {
  const uint32_t count = n == 1 ? 1 : n - ((x ^ n) & 1);
  uint8_t* d = ctx->dest;
  const uint8_t* y = ctx->luma;
  const uint8_t* cb = ctx->chroma_b;
  const uint8_t* cr = ctx->chroma_r;
  uint32_t done = 0;
  if (count & 1) {
    // A lone pixel carries the chroma sample of its column's parity.
    const uint8_t c = (x & 1) ? *cr : *cb;
    d[kUyvy ? 1 : 0] = *y;
    d[kUyvy ? 0 : 1] = c;
    d += 2, ++y, ++cb, ++cr;
    done = 1;
  }
  for (; done < count; done += 2) {
    if (kUyvy) {
      d[0] = *cb, d[1] = y[0], d[2] = *cr, d[3] = y[1];
    } else {
      d[0] = y[0], d[1] = *cb, d[2] = y[1], d[3] = *cr;
    }
    d += 4, y += 2, ++cb, ++cr;
  }
  ctx->dest = d;
  ctx->luma = y;
  ctx->chroma_b = cb;
  ctx->chroma_r = cr;
  return n - count;
}

// Pairs become two pairs, each with one of the two luma samples; a trailing
// lone 2-byte unit is written twice.
template <int kLuma0, int kLuma1>
uint8_t* PackedDouble(uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  const uint8_t* s = start;
  for (; end - s >= 4; s += 4, dest += 8) {
    uint8_t first[4] = {s[0], s[1], s[2], s[3]};
    uint8_t second[4] = {s[0], s[1], s[2], s[3]};
    first[kLuma1] = s[kLuma0];
    second[kLuma0] = s[kLuma1];
    std::memcpy(dest, first, 4);
    std::memcpy(dest + 4, second, 4);
  }
  if (end - s >= 2) {
    std::memcpy(dest, s, 2);
    std::memcpy(dest + 2, s, 2);
    dest += 4;
  }
  return dest;
}

}  // namespace

uint32_t ConvertPlainYuy2(StripContext* ctx, uint32_t n, uint32_t x) {
  return PlainRun<false>(ctx, n, x);
}
uint32_t ConvertPlainUyvy(StripContext* ctx, uint32_t n, uint32_t x) {
  return PlainRun<true>(ctx, n, x);
}

uint8_t* PostYuy2Double(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return PackedDouble<0, 2>(dest, start, end);
}
uint8_t* PostUyvyDouble(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return PackedDouble<1, 3>(dest, start, end);
}

}  // namespace vexil
