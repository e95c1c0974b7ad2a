// The bit-plane readers of transform coefficients and residues: a work list of
// positions refined pass by pass from the most significant magnitude bit down.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"

namespace vexil {

// Reads the coefficients of scan indices 1..63 into `block` (block order,
// 16-bit). The caller zeroes the block and puts the DC value at position 0.
void ReadCoefficients(BitReader& r, int16_t block[64]);

// Reads a residue into `residue` (by scan index, 8-bit, wrapping; the caller
// zeroes it). Stops at once after `limit` + 1 updates.
void ReadResidue(BitReader& r, int8_t residue[64], uint32_t limit);

}  // namespace vexil
