// Pixels of the headless display's memory pictures: reading any surface or
// bitmap format as RGB and writing RGB into an RGB format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/display_device.h"

namespace vexil::platform {

// A picture in memory: rows `pitch` bytes apart; YV12 planes follow the luma
// rows as the display device lays them out.
struct PixelPicture {
  PixelFormat format;  // 8 bits: palette index with red 3 bits at 0, green 3 at 3, blue 2 at 6
  uint8_t* bits;
  int32_t pitch;
  uint32_t width;
  uint32_t height;
};

uint32_t BytesPerPixel(const PixelFormat& format);  // YV12: the luma plane's 1

// The raw pixel value of an RGB picture.
uint32_t ReadRaw(const PixelPicture& picture, uint32_t x, uint32_t y);
void WriteRaw(const PixelPicture& picture, uint32_t x, uint32_t y, uint32_t value);

// 0xRRGGBB of any pixel (studio-range YUV converted).
uint32_t ReadRgb(const PixelPicture& picture, uint32_t x, uint32_t y);
// An RGB format's raw value for 0xRRGGBB, and back.
uint32_t EncodeRgb(const PixelFormat& format, uint32_t rgb);
uint32_t DecodeRgb(const PixelFormat& format, uint32_t raw);

}  // namespace vexil::platform
