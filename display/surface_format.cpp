#include "display/surface_format.h"

#include <cstddef>
#include <cstring>

#include "display/pixel_formats.h"

namespace vexil {

using platform::PixelFormat;

int32_t SurfaceFormatCode(const PixelFormat& f) {
  if (f.fourcc == platform::FOURCC_UYVY) return PIXFMT_UYVY;
  if (f.fourcc == platform::FOURCC_YV12) return PIXFMT_YV12;
  if (f.fourcc == platform::FOURCC_YUY2) return PIXFMT_YUY2;
  if (f.fourcc != 0) return -1;
  switch (f.bits_per_pixel) {
    case 8:
      return PIXFMT_8;
    case 24:
      return f.red_mask == 0xFF0000 ? PIXFMT_24 : PIXFMT_24R;
    case 32:
      if (f.alpha_mask) return f.red_mask == 0xFF0000 ? PIXFMT_32A : PIXFMT_32RA;
      return f.red_mask == 0xFF0000 ? PIXFMT_32 : PIXFMT_32R;
    case 16:
      if (f.red_mask == 0xF800 && f.green_mask == 0x07E0 && f.blue_mask == 0x001F)
        return PIXFMT_565;
      if (f.red_mask == 0x7C00 && f.green_mask == 0x03E0 && f.blue_mask == 0x001F)
        return f.alpha_mask == 0x8000 ? PIXFMT_1555 : PIXFMT_555;
      if (f.red_mask == 0xFC00 && f.green_mask == 0x03E0 && f.blue_mask == 0x001F)
        return PIXFMT_655;
      if (f.red_mask == 0xFC00 && f.green_mask == 0x03F0 && f.blue_mask == 0x000F)
        return PIXFMT_664;
      if (f.alpha_mask == 0xF000 && f.red_mask == 0x0F00 && f.green_mask == 0x00F0 &&
          f.blue_mask == 0x000F)
        return PIXFMT_4444;
      return -1;
    default:
      return -1;
  }
}

void FillBlack(uint8_t* bits, int32_t pitch, uint32_t width, uint32_t height, uint32_t format) {
  if (!bits) return;
  const auto row = [&](uint32_t y) { return bits + ptrdiff_t(pitch) * ptrdiff_t(y); };
  switch (format) {
    case PIXFMT_YUY2:
    case PIXFMT_UYVY: {
      // Little-endian words: YUY2 0x8000 is the bytes 0x00, 0x80; UYVY the reverse.
      const uint8_t first = format == PIXFMT_YUY2 ? 0x00 : 0x80;
      const uint8_t second = format == PIXFMT_YUY2 ? 0x80 : 0x00;
      for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = row(y);
        for (uint32_t x = 0; x < width; ++x) p[2 * size_t(x)] = first, p[2 * size_t(x) + 1] = second;
      }
      return;
    }
    case PIXFMT_YV12: {
      for (uint32_t y = 0; y < height; ++y) std::memset(row(y), 16, width);
      const int32_t half = pitch / 2;
      uint8_t* chroma = row(height);
      for (uint32_t plane = 0; plane < 2; ++plane)
        for (uint32_t y = 0; y < height / 2; ++y, chroma += half) std::memset(chroma, 128, width / 2);
      return;
    }
    case PIXFMT_24R:
    case PIXFMT_32R:
    case PIXFMT_32A:
    case PIXFMT_32RA:
    case PIXFMT_4444:
    case PIXFMT_1555:
      return;
    default:
      for (uint32_t y = 0; y < height; ++y)
        std::memset(row(y), 0, size_t(width) * PixelFormatBytes(format));
  }
}

uint32_t OverlayColourKey(uint32_t bits_per_pixel, uint32_t red_mask, uint32_t blue_mask) {
  if (bits_per_pixel == 8) return 253;
  return (red_mask & (0u - red_mask)) + (blue_mask & (0u - blue_mask));
}

}  // namespace vexil
