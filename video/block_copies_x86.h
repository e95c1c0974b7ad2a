// The block copies and sums of the plane decoder's SIMD sets, in 128-bit registers.
// Each SIMD file of the family includes this and compiles its own copy for
// its instruction set: everything here has internal linkage, so no copy can
// stand in for another file's (see vexil_simd_sources).
//
// A copy (or sum) between blocks that share no byte loads all eight rows
// before it stores one, so the row loads (often cache misses in the reference
// frame) are in flight together, and asks for the cache lines to the right of
// its rows, where the next block of the row (a skip, or a nearby motion
// source) reads. Blocks that may share bytes go row by row as the portable
// code does, each row seeing the rows stored before it.
#pragma once

#include "platform/cpu.h"

#if VEXIL_X86
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace vexil {
namespace {

inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline void Store8(uint8_t* p, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}
inline void Store16(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Whether two 8x8 blocks with rows `pitch` apart may share a byte: their
// starts are closer than the span from a block's first byte past its last.
inline bool MayOverlap(const uint8_t* a, const uint8_t* b, uint32_t pitch) {
  const uintptr_t span = 7 * uintptr_t{pitch} + 8;
  const uintptr_t distance = reinterpret_cast<uintptr_t>(a) - reinterpret_cast<uintptr_t>(b);
  return distance + (span - 1) < 2 * span - 1;
}

// Stores row(r, source row r) as destination row r, for the 8 rows.
template <typename Row>
inline void EachRow(const uint8_t* src, uint8_t* dst, uint32_t pitch, Row row) {
  const size_t p = pitch;
  if (MayOverlap(src, dst, pitch)) {
    for (size_t r = 0; r < 8; ++r) Store8(dst + r * p, row(r, Load8(src + r * p)));
    return;
  }
  __m128i rows[8];
  for (size_t r = 0; r < 8; ++r) {
    rows[r] = Load8(src + r * p);
    _mm_prefetch(reinterpret_cast<const char*>(src + r * p + 64), _MM_HINT_T0);
  }
  for (size_t r = 0; r < 8; ++r) Store8(dst + r * p, row(r, rows[r]));
}

inline void Copy8x8(const uint8_t* src, uint8_t* dst, uint32_t pitch) {
  EachRow(src, dst, pitch, [](size_t, __m128i v) { return v; });
}

// The reference block plus 64 wrapping differences (`in` lies outside both).
inline void AddBlock8x8(const uint8_t in[64], const uint8_t* ref, uint8_t* dst, uint32_t pitch) {
  EachRow(ref, dst, pitch,
          [in](size_t r, __m128i v) { return _mm_add_epi8(v, Load8(in + 8 * r)); });
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
