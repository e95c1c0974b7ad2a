#include "platform/headless/display_pixels.h"

#include <bit>
#include <cstring>

namespace vexil::platform {
namespace {

struct Masks {
  uint32_t channel[3];  // red, green, blue
};

Masks MasksOf(const PixelFormat& f) {
  if (f.bits_per_pixel == 8) return {{0x07, 0x38, 0xC0}};
  return {{f.red_mask, f.green_mask, f.blue_mask}};
}

uint8_t Clamp8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Studio-range BT.601, in fixed point.
uint32_t YuvToRgb(int32_t y, int32_t cb, int32_t cr) {
  const int32_t l = 76309 * (y - 16);
  const int32_t r = (l + 104597 * (cr - 128) + 32768) >> 16;
  const int32_t g = (l - 25675 * (cb - 128) - 53279 * (cr - 128) + 32768) >> 16;
  const int32_t b = (l + 132201 * (cb - 128) + 32768) >> 16;
  return uint32_t(Clamp8(r)) << 16 | uint32_t(Clamp8(g)) << 8 | Clamp8(b);
}

}  // namespace

uint32_t BytesPerPixel(const PixelFormat& f) {
  if (f.fourcc == FOURCC_YV12) return 1;
  if (f.fourcc) return 2;
  return (f.bits_per_pixel + 7) / 8;
}

uint32_t ReadRaw(const PixelPicture& p, uint32_t x, uint32_t y) {
  const uint32_t bytes = BytesPerPixel(p.format);
  const uint8_t* px = p.bits + ptrdiff_t(p.pitch) * y + size_t(x) * bytes;
  uint32_t v = 0;
  for (uint32_t i = 0; i < bytes; ++i) v |= uint32_t(px[i]) << (8 * i);
  return v;
}

void WriteRaw(const PixelPicture& p, uint32_t x, uint32_t y, uint32_t value) {
  const uint32_t bytes = BytesPerPixel(p.format);
  uint8_t* px = p.bits + ptrdiff_t(p.pitch) * y + size_t(x) * bytes;
  for (uint32_t i = 0; i < bytes; ++i) px[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t ReadRgb(const PixelPicture& p, uint32_t x, uint32_t y) {
  const uint8_t* row = p.bits + ptrdiff_t(p.pitch) * y;
  switch (p.format.fourcc) {
    case FOURCC_YUY2:
    case FOURCC_UYVY: {
      const uint8_t* unit = row + size_t(x & ~1u) * 2;
      if (p.format.fourcc == FOURCC_YUY2) return YuvToRgb(unit[(x & 1) * 2], unit[1], unit[3]);
      return YuvToRgb(unit[1 + (x & 1) * 2], unit[0], unit[2]);
    }
    case FOURCC_YV12: {
      const size_t half = size_t(p.pitch / 2);
      const uint8_t* v = p.bits + size_t(p.pitch) * p.height;
      const uint8_t* u = v + half * (p.height / 2);
      const size_t c = size_t(y / 2) * half + x / 2;
      return YuvToRgb(row[x], u[c], v[c]);
    }
    default:
      return DecodeRgb(p.format, ReadRaw(p, x, y));
  }
}

uint32_t EncodeRgb(const PixelFormat& f, uint32_t rgb) {
  const Masks m = MasksOf(f);
  uint32_t raw = 0;
  for (int c = 0; c < 3; ++c) {
    const uint32_t mask = m.channel[c];
    if (!mask) continue;
    const uint32_t value = (rgb >> (16 - 8 * c)) & 0xFF;
    const int bits = std::popcount(mask);
    const uint32_t scaled = bits >= 8 ? value << (bits - 8) : value >> (8 - bits);
    raw |= (scaled << std::countr_zero(mask)) & mask;
  }
  return raw;
}

uint32_t DecodeRgb(const PixelFormat& f, uint32_t raw) {
  const Masks m = MasksOf(f);
  uint32_t rgb = 0;
  for (int c = 0; c < 3; ++c) {
    const uint32_t mask = m.channel[c];
    if (!mask) continue;
    const int bits = std::popcount(mask);
    const uint32_t value = (raw & mask) >> std::countr_zero(mask);
    const uint32_t max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    const uint32_t v8 = bits >= 8 ? value >> (bits - 8) : value * 255 / max;
    rgb |= (v8 & 0xFF) << (16 - 8 * c);
  }
  return rgb;
}

}  // namespace vexil::platform
