// A source picture at its visible size: luma, the two colour-difference
// planes at half size in each direction (rounded up) and an optional alpha
// plane at full size. Rows are packed (pitch = width of the plane).
#pragma once

#include <cstdint>
#include <vector>

namespace vexil {

struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> y;
  std::vector<uint8_t> cb, cr;  // empty for grayscale pictures
  std::vector<uint8_t> alpha;   // empty when there is none

  uint32_t chroma_width() const { return (width + 1) / 2; }
  uint32_t chroma_height() const { return (height + 1) / 2; }
};

}  // namespace vexil
