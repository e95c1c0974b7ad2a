// Products of three figures from a movie file (a rate times two frame-rate
// parts, frames times a rate times a denominator) overflow 64 bits, so the
// sound side multiplies and divides in 128 bits.
#pragma once

#include <cstdint>

namespace vexil {

// a x b / c, rounded down; UINT64_MAX when c is 0 or the quotient does not fit.
uint64_t MulDiv(uint64_t a, uint64_t b, uint64_t c);
// a x b / c, rounded to the nearest integer (halves up); as MulDiv otherwise.
uint64_t MulDivRound(uint64_t a, uint64_t b, uint64_t c);

}  // namespace vexil
