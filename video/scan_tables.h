// Position orders of an 8x8 block (position p is row p / 8, column p % 8):
// the coefficient and residue scan, and the 16 fill orders of run blocks.
#pragma once

#include <cstdint>

namespace vexil {

// Scan index k belongs to block position kCoefficientScan[k]; indices 2j and
// 2j + 1 are horizontal neighbours.
extern const uint8_t kCoefficientScan[64];

extern const uint8_t kRunScanPatterns[16][64];

}  // namespace vexil
