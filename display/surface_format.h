// What the display buffer works out from a surface alone: its destination
// format code, its black, and the overlay colour key of a desktop.
#pragma once

#include <cstdint>

#include "platform/display_device.h"

namespace vexil {

// The destination format code (PIXFMT_*) of a surface's pixel format, or -1
// when the copy has no format for it.
int32_t SurfaceFormatCode(const platform::PixelFormat& format);

// Fills `height` rows of `width` pixels at `bits` (rows `pitch` bytes apart)
// with black for `format`: YUY2 words 0x8000, UYVY words 0x0080, YV12 luma 16
// and two chroma planes of height / 2 rows of width / 2 bytes at half pitch
// with 128; formats 2 and 4 to 8 are left alone; everything else is zeroed.
void FillBlack(uint8_t* bits, int32_t pitch, uint32_t width, uint32_t height, uint32_t format);

// The colour key that marks where an overlay shows: 253 on an 8-bit desktop,
// else the lowest red step plus the lowest blue step of the desktop's masks.
uint32_t OverlayColourKey(uint32_t bits_per_pixel, uint32_t red_mask, uint32_t blue_mask);

}  // namespace vexil
