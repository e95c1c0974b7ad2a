#include "audio/sound_arithmetic.h"

namespace vexil {
namespace {

struct U128 {
  uint64_t high;
  uint64_t low;
};

U128 Multiply(uint64_t a, uint64_t b) {
  const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32;
  const uint64_t b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

U128 Add(U128 x, uint64_t y) {
  const uint64_t low = x.low + y;
  return {x.high + (low < x.low ? 1 : 0), low};
}

// x / c by long division; UINT64_MAX when the quotient has more than 64 bits.
uint64_t Divide(U128 x, uint64_t c) {
  if (c == 0 || x.high >= c) return UINT64_MAX;
  uint64_t remainder = x.high, quotient = 0;
  for (int bit = 63; bit >= 0; --bit) {
    const bool carry = remainder >> 63;
    remainder = (remainder << 1) | ((x.low >> bit) & 1);
    quotient <<= 1;
    if (carry || remainder >= c) {
      remainder -= c;
      quotient |= 1;
    }
  }
  return quotient;
}

}  // namespace

uint64_t MulDiv(uint64_t a, uint64_t b, uint64_t c) {
  return Divide(Multiply(a, b), c);
}

uint64_t MulDivRound(uint64_t a, uint64_t b, uint64_t c) {
  const U128 product = Multiply(a, b);
  const U128 rounded = Add(product, c / 2);
  if (rounded.high < product.high) return UINT64_MAX;  // the sum itself overflowed
  return Divide(rounded, c);
}

}  // namespace vexil
