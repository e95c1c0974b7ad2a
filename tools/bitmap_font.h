// A 5 x 7 bitmap font (capitals, digits, a little punctuation) for the
// pictures the synth command draws.
#pragma once

#include <cstdint>

namespace vexil::tools {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// Row `row` (0 = top) of a character's glyph: bit 4 is the leftmost column.
// Characters without a glyph are blank; lower case is drawn as upper case.
uint8_t GlyphRow(char c, int row);

}  // namespace vexil::tools
