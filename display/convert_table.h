// Lookup tables of the table colour path, shared by the RGB and the
// palettized table converters: the luma and chroma tables (constant) and the
// channel look-up (the channel tables are the conversion context's).
#pragma once

#include <algorithm>
#include <cstdint>

namespace vexil {

// Channel-table offsets: red reads entry v - 2, green v + 1, blue v - 1.
constexpr int32_t kRedOffset = -2;
constexpr int32_t kGreenOffset = 1;
constexpr int32_t kBlueOffset = -1;

struct BaseTables {
  uint8_t luma[256];   // studio-range luma stretched to 0..255
  int8_t chroma[256];  // floor(0.40546 * (c - 128))
};

constexpr BaseTables MakeBaseTables() {
  BaseTables t{};
  for (int y = 0; y < 256; ++y) {
    if (y < 16) {
      t.luma[y] = 0;
    } else if (y <= 234) {
      t.luma[y] = static_cast<uint8_t>(((y - 16) * 76392) >> 16);
    } else {
      t.luma[y] = 255;
    }
    t.chroma[y] = static_cast<int8_t>((26572 * (y - 128)) >> 16);
  }
  return t;
}

inline constexpr BaseTables kBaseTables = MakeBaseTables();

// Looks up channel value v (already offset): indices below the middle entries
// give the first of them, indices above give the last.
template <typename T>
inline T TableLookup(const T* table, int32_t v) {
  return table[256 + std::max(std::min(v, 255), 0)];
}

}  // namespace vexil
