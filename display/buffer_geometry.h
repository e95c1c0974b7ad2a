// The display buffer's arithmetic, kept apart from any device: scale kinds,
// capability words, display-mode candidates, window alignment, the DIB
// section's row layout, blit rectangles and the overlay's edge clipping.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace vexil {

// The scale kind (one SCALE_* bit, or 0 for none) that shows `size` pixels in
// `requested` pixels: X bits for widths, Y bits for heights. A size of 0 only
// fits a request of 0.
uint32_t ScaleKindX(uint32_t requested, uint32_t size);
uint32_t ScaleKindY(uint32_t requested, uint32_t size);

// The scale bits a device capability word (FX_*) grants: any factor grants
// the whole-factor bit of its kind too.
uint32_t ScaleBitsFromCaps(uint32_t fx);

// The depths a display-mode change tries for a depth code: 1 → 16, 32, 24;
// 2 → 32, 24, 16; 3 → 32, 24; anything else that depth alone.
struct DepthCandidates {
  int32_t depth[3];
  int32_t count;
};
DepthCandidates DepthOrder(int32_t code);

// A window's client x rounded up to a multiple of 2 pixels on a 4-byte
// desktop, 8 on a 3-byte desktop, 4 otherwise.
int32_t AlignClientX(int32_t x, uint32_t bytes_per_pixel);

// Clamps a position so that `size` pixels fit on a screen of `screen` pixels,
// never below 0.
int32_t ClampToScreen(int32_t position, uint32_t size, int32_t screen);

// The DIB section's header width (a row of it is the buffer row rounded up to
// 32 bytes, divided back into pixels) and its row pitch (rounded up to 4
// bytes). 0 when the row does not fit in 31 bits.
int32_t DibHeaderWidth(uint32_t width, uint32_t bytes_per_pixel);
int32_t DibPitch(int32_t header_width, uint32_t bytes_per_pixel);

// A source rectangle of the buffer (x, y, w, h) scaled to the screen size:
// each figure times stretch / size, as unsigned 64-bit products.
platform::Rect ScaleBlitRect(const int32_t* rect, uint32_t width, uint32_t height,
                             int32_t stretch_width, int32_t stretch_height, int32_t origin_x,
                             int32_t origin_y);

// The overlay's source and destination after clipping the destination
// (dest_x, dest_y, stretch size) to the screen; the source loses the part
// that was cut, in source pixels. `visible` is false when nothing is left.
struct OverlayPlacement {
  platform::Rect source;
  platform::Rect dest;
  bool visible;
};
OverlayPlacement PlaceOverlay(uint32_t width, uint32_t height, int32_t dest_x, int32_t dest_y,
                              int32_t stretch_width, int32_t stretch_height, int32_t screen_width,
                              int32_t screen_height);

}  // namespace vexil
