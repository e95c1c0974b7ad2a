// Lookup tables of the table colour path, shared by the RGB and the
// palettized table converters.
#pragma once

#include <algorithm>
#include <cstdint>

namespace vexil {

// Channel-table offsets: red reads entry v - 2, green v + 1, blue v - 1.
constexpr int32_t kRedOffset = -2;
constexpr int32_t kGreenOffset = 1;
constexpr int32_t kBlueOffset = -1;

struct ConversionTables {
  uint8_t luma[256];   // studio-range luma stretched to 0..255
  int8_t chroma[256];  // floor(0.40546 * (c - 128))
  // Shared channel table (16/24/32-bit formats): 256 zeros, i >> s, 256 of 255 >> s.
  uint32_t channel[768];
  // Per-channel byte tables (8-bit index): red, green, blue.
  uint8_t index[3][768];
  uint32_t s;         // the largest dropped-bit count of red, green, blue
  uint32_t shift[4];  // 16-bit: the shared word's left shift per channel (position - dropped + s)
};

const ConversionTables& Tables();

// Looks up channel value v (already offset): indices below the middle entries
// give the first of them, indices above give the last.
template <typename T>
inline T TableLookup(const T* table, int32_t v) {
  return table[256 + std::max(std::min(v, 255), 0)];
}

}  // namespace vexil
