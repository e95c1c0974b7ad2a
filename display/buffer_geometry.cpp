#include "display/buffer_geometry.h"

#include <algorithm>

#include "display/display_buffer.h"

namespace vexil {
namespace {

// Shared by both axes: `bits` holds the axis's stretch-int, stretch,
// shrink-int and shrink bits.
uint32_t ScaleKind(uint32_t requested, uint32_t size, const uint32_t bits[4]) {
  if (requested == size) return 0;
  if (size != 0 && requested % size == 0) return bits[0];
  if (requested != 0 && size % requested == 0) return bits[2];
  return requested > size ? bits[1] : bits[3];
}

}  // namespace

uint32_t ScaleKindX(uint32_t requested, uint32_t size) {
  static constexpr uint32_t kBits[4] = {SCALE_STRETCH_X_INT, SCALE_STRETCH_X, SCALE_SHRINK_X_INT,
                                        SCALE_SHRINK_X};
  return ScaleKind(requested, size, kBits);
}

uint32_t ScaleKindY(uint32_t requested, uint32_t size) {
  static constexpr uint32_t kBits[4] = {SCALE_STRETCH_Y_INT, SCALE_STRETCH_Y, SCALE_SHRINK_Y_INT,
                                        SCALE_SHRINK_Y};
  return ScaleKind(requested, size, kBits);
}

uint32_t ScaleBitsFromCaps(uint32_t fx) {
  using namespace platform;
  struct Map {
    uint32_t any, whole, any_bits, whole_bit;
  };
  static constexpr Map kMap[4] = {
      {FX_STRETCH_X, FX_STRETCH_X_INT, SCALE_STRETCH_X | SCALE_STRETCH_X_INT, SCALE_STRETCH_X_INT},
      {FX_SHRINK_X, FX_SHRINK_X_INT, SCALE_SHRINK_X | SCALE_SHRINK_X_INT, SCALE_SHRINK_X_INT},
      {FX_STRETCH_Y, FX_STRETCH_Y_INT, SCALE_STRETCH_Y | SCALE_STRETCH_Y_INT, SCALE_STRETCH_Y_INT},
      {FX_SHRINK_Y, FX_SHRINK_Y_INT, SCALE_SHRINK_Y | SCALE_SHRINK_Y_INT, SCALE_SHRINK_Y_INT}};
  uint32_t bits = 0;
  for (const Map& m : kMap) {
    if (fx & m.any) bits |= m.any_bits;
    if (fx & m.whole) bits |= m.whole_bit;
  }
  return bits;
}

DepthCandidates DepthOrder(int32_t code) {
  switch (code) {
    case 1:
      return {{16, 32, 24}, 3};
    case 2:
      return {{32, 24, 16}, 3};
    case 3:
      return {{32, 24, 0}, 2};
    default:
      return {{code, 0, 0}, 1};
  }
}

int32_t AlignClientX(int32_t x, uint32_t bytes_per_pixel) {
  const int64_t step = bytes_per_pixel == 4 ? 2 : bytes_per_pixel == 3 ? 8 : 4;
  // Upwards for negative positions too (towards the screen).
  const int64_t rest = ((int64_t{x} % step) + step) % step;
  const int64_t aligned = rest ? int64_t{x} + (step - rest) : int64_t{x};
  return static_cast<int32_t>(std::min<int64_t>(aligned, INT32_MAX - (INT32_MAX % step)));
}

int32_t ClampToScreen(int32_t position, uint32_t size, int32_t screen) {
  const int64_t limit = int64_t{screen} - int64_t{size};
  return static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(position, limit)));
}

int32_t DibHeaderWidth(uint32_t width, uint32_t bytes_per_pixel) {
  if (bytes_per_pixel == 0) return 0;
  const uint64_t row = (uint64_t{width} * bytes_per_pixel + 31) & ~uint64_t{31};
  const uint64_t header_width = row / bytes_per_pixel;
  return header_width * bytes_per_pixel + 3 > INT32_MAX ? 0 : static_cast<int32_t>(header_width);
}

int32_t DibPitch(int32_t header_width, uint32_t bytes_per_pixel) {
  const uint64_t pitch = (uint64_t(uint32_t(header_width)) * bytes_per_pixel + 3) & ~uint64_t{3};
  return pitch > INT32_MAX ? 0 : static_cast<int32_t>(pitch);
}

platform::Rect ScaleBlitRect(const int32_t* rect, uint32_t width, uint32_t height,
                             int32_t stretch_width, int32_t stretch_height, int32_t origin_x,
                             int32_t origin_y) {
  const auto scale = [](int32_t v, int32_t stretch, uint32_t size) {
    return size ? static_cast<int32_t>(uint64_t(uint32_t(v)) * uint32_t(stretch) / size) : 0;
  };
  const int32_t x = origin_x + scale(rect[0], stretch_width, width);
  const int32_t y = origin_y + scale(rect[1], stretch_height, height);
  return {x, y, x + scale(rect[2], stretch_width, width), y + scale(rect[3], stretch_height, height)};
}

OverlayPlacement PlaceOverlay(uint32_t width, uint32_t height, int32_t dest_x, int32_t dest_y,
                              int32_t stretch_width, int32_t stretch_height, int32_t screen_width,
                              int32_t screen_height) {
  int64_t s[4] = {0, 0, width, height};
  int64_t d[4] = {dest_x, dest_y, int64_t{dest_x} + stretch_width,
                  int64_t{dest_y} + stretch_height};
  const int64_t stretch[2] = {stretch_width, stretch_height};
  const int64_t size[2] = {width, height};
  const int64_t screen[2] = {screen_width, screen_height};
  bool visible = stretch_width > 0 && stretch_height > 0;
  for (int axis = 0; axis < 2 && visible; ++axis) {
    // What is cut from the destination is cut from the source in source
    // pixels, so the part left keeps the overlay's scale.
    const auto source_pixels = [&](int64_t cut) { return cut * size[axis] / stretch[axis]; };
    if (d[axis] < 0) {
      s[axis] += source_pixels(-d[axis]);
      d[axis] = 0;
    }
    if (d[axis + 2] > screen[axis]) {
      s[axis + 2] -= source_pixels(d[axis + 2] - screen[axis]);
      d[axis + 2] = screen[axis];
    }
    visible = d[axis + 2] > d[axis] && s[axis + 2] > s[axis];
  }
  OverlayPlacement p{};
  p.visible = visible;
  if (visible) {
    p.source = {int32_t(s[0]), int32_t(s[1]), int32_t(s[2]), int32_t(s[3])};
    p.dest = {int32_t(d[0]), int32_t(d[1]), int32_t(d[2]), int32_t(d[3])};
  }
  return p;
}

}  // namespace vexil
