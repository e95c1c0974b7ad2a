// The doubled put of the plane decoder's SIMD sets, in 128-bit registers.
// Each SIMD file of the family includes this and compiles its own copy for
// its instruction set: everything here has internal linkage, so no copy can
// stand in for another file's (see vexil_simd_sources).
//
// The 8x8 copy and the sum with a motion source stay the portable ones: they
// compile to one 8-byte load and store per row already, and their time is
// the reference frame's memory traffic, which wider registers do not change.
#pragma once

#include "platform/cpu.h"

#if VEXIL_X86
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace vexil {
namespace {

inline void Store16(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Two source rows per load; unpacking a row with itself doubles each sample.
inline void PutDoubled(const uint8_t in[64], uint8_t* dst, uint32_t pitch) {
  const size_t p = pitch;
  for (size_t r = 0; r < 8; r += 2) {
    const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * r));
    const __m128i upper = _mm_unpacklo_epi8(two, two), lower = _mm_unpackhi_epi8(two, two);
    uint8_t* row = dst + 2 * r * p;
    Store16(row, upper);
    Store16(row + p, upper);
    Store16(row + 2 * p, lower);
    Store16(row + 3 * p, lower);
  }
}

}  // namespace
}  // namespace vexil

#endif
