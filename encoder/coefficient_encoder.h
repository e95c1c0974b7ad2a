// Encoder side of the bit-plane coefficient and residue lists: it walks the
// same work list as the readers and writes the bits that make them rebuild
// the given values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/bit_writer.h"

namespace vexil {

// Coefficients of scan indices 1..63 (`by_scan[0]` is ignored: the DC comes
// from a bundle). False when a value is -32768 (no bit plane can carry it).
bool WriteCoefficients(BitWriter& w, const int16_t by_scan[64]);

// The bits WriteCoefficients writes for the same values, without walking the
// list (for rate estimates; a -32768 counts as 32768).
uint32_t CoefficientBits(const int16_t by_scan[64]);
// All that count depends on: per group of four scan positions the
// magnitudes ORed (position 0 left out), and how many values are not zero.
struct CoefficientShape {
  uint32_t group[16];
  uint32_t nonzero;
};
CoefficientShape ShapeOf(const int16_t by_scan[64]);
uint32_t CoefficientBits(const CoefficientShape& shape);

// A residue of magnitudes up to 255 by scan index (without the 7-bit update
// limit, which the caller writes first). Writing stops where the reader stops
// after `limit` + 1 updates; `decoded` receives what the reader then holds
// (8-bit, wrapping: a +128 reads back as -128).
void WriteResidue(BitWriter& w, const int16_t by_scan[64], uint32_t limit, int8_t decoded[64]);

// What WriteResidue gives for each of `count` limits (ascending) in one walk:
// bits[i] the bits it writes and decoded[i] what the reader then holds.
void TraceResidue(const int16_t by_scan[64], const uint32_t* limits, size_t count, uint32_t* bits,
                  int8_t (*decoded)[64]);

}  // namespace vexil
