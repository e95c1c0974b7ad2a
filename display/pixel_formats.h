// Destination pixel formats, the copy flags word and the surface-type bits.
// The copy (CopyToBuffer) and the display buffer share these: the display
// buffer derives the format code of its surface and passes its surface-type
// word in the copy flags.
#pragma once

#include <cstdint>

namespace vexil {

// Destination format codes (bits 0-3 of the copy flags and of the surface-type word).
constexpr uint32_t PIXFMT_8 = 0;      // palette index: red 3 bits at 0, green 3 at 3, blue 2 at 6
constexpr uint32_t PIXFMT_24 = 1;     // bytes blue, green, red
constexpr uint32_t PIXFMT_24R = 2;    // bytes red, green, blue
constexpr uint32_t PIXFMT_32 = 3;     // red at 16, green 8, blue 0, top byte 0
constexpr uint32_t PIXFMT_32R = 4;    // red at 0, green 8, blue 16, top byte 0
constexpr uint32_t PIXFMT_32A = 5;    // as PIXFMT_32 with alpha in bits 24-31
constexpr uint32_t PIXFMT_32RA = 6;   // as PIXFMT_32R with alpha in bits 24-31
constexpr uint32_t PIXFMT_4444 = 7;   // alpha 4 at 12, red 4 at 8, green 4 at 4, blue 4 at 0
constexpr uint32_t PIXFMT_1555 = 8;   // alpha 1 at 15, red 5 at 10, green 5 at 5, blue 5 at 0
constexpr uint32_t PIXFMT_555 = 9;    // red 5 at 10, green 5 at 5, blue 5 at 0
constexpr uint32_t PIXFMT_565 = 10;   // red 5 at 11, green 6 at 5, blue 5 at 0
constexpr uint32_t PIXFMT_655 = 11;   // red 6 at 10, green 5 at 5, blue 5 at 0
constexpr uint32_t PIXFMT_664 = 12;   // red 6 at 10, green 6 at 4, blue 4 at 0
constexpr uint32_t PIXFMT_YUY2 = 13;  // packed 4:2:2, bytes Y0 U Y1 V
constexpr uint32_t PIXFMT_UYVY = 14;  // packed 4:2:2, bytes U Y0 V Y1
constexpr uint32_t PIXFMT_YV12 = 15;  // planar: luma, then V (Cr), then U (Cb) at half pitch
constexpr uint32_t PIXFMT_COUNT = 16;
constexpr uint32_t PIXFMT_MASK = 0xF;

// Bytes per pixel of a format (YV12: the luma plane's).
constexpr uint32_t PixelFormatBytes(uint32_t format) {
  constexpr uint8_t kBytes[PIXFMT_COUNT] = {1, 3, 3, 4, 4, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 1};
  return kBytes[format & PIXFMT_MASK];
}

// Copy flags. The handle's open_flags masked by COPY_OPEN_FLAGS_MASK are ORed
// into the caller's flags before anything looks at them.
constexpr uint32_t COPY_FORMAT_MASK = PIXFMT_MASK;
constexpr uint32_t COPY_SHOW_ALPHA = 0x00000800;   // alpha plane shown as luma (and luma as alpha)
constexpr uint32_t COPY_SWAP_CHROMA = 0x00010000;  // exchange the two chroma planes
constexpr uint32_t COPY_GRAYSCALE = 0x00020000;    // chroma read as 128
constexpr uint32_t COPY_NO_SKIP = 0x00080000;      // never drop the copy of a late frame
constexpr uint32_t COPY_NO_IO = 0x00200000;        // no read-ahead service during the copy
constexpr uint32_t COPY_SCALE_MASK = 0x70000000;   // scaling mode 0-7
constexpr int COPY_SCALE_SHIFT = 28;
constexpr uint32_t COPY_ALL = 0x80000000u;  // whole frame even when few blocks changed
constexpr uint32_t COPY_OPEN_FLAGS_MASK = 0x70030000;

// Scaling modes (bits 28-30).
constexpr uint32_t COPY_2X_H = 1;              // every source row written twice
constexpr uint32_t COPY_2X_H_INTERLACED = 2;   // source row k to destination row 2k
constexpr uint32_t COPY_2X_W = 3;              // every pixel written twice side by side
constexpr uint32_t COPY_2X_WH = 4;             // modes 3 and 1 together
constexpr uint32_t COPY_2X_WH_INTERLACED = 5;  // modes 3 and 2 together
constexpr uint32_t COPY_1X_INTERLACED = 6;     // source rows 2k into destination rows 2k
constexpr uint32_t COPY_NO_SCALING = 7;        // as 0 in the copy
constexpr uint32_t CopyScaleMode(uint32_t flags) {
  return (flags & COPY_SCALE_MASK) >> COPY_SCALE_SHIFT;
}
constexpr uint32_t CopyScaleFlags(uint32_t mode) {
  return (mode & 7) << COPY_SCALE_SHIFT;
}

// Surface-type word bits of the display buffer (its low four bits are the
// format code). The copy ignores DIRECT and SCALED; CHANGED is COPY_ALL.
constexpr uint32_t SURFACE_DIRECT = 0x04000000;
constexpr uint32_t SURFACE_SCALED = 0x08000000;
constexpr uint32_t SURFACE_CHANGED = COPY_ALL;

}  // namespace vexil
