// The SIMD path's colour arithmetic: per-pixel integer steps (the reference
// every kernel must reproduce bit for bit) and the 8-pixel group kernels,
// portable and per instruction set.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/cpu.h"

namespace vexil {

// Constants of the SIMD arithmetic, one 16-bit lane each.
constexpr int16_t kSimdLumaGain = 0x4A89;      // times Y * 64, high half kept
constexpr int16_t kSimdChromaGain = 0x6810;    // times Cb * 16 and Cr * 32, high half kept
constexpr uint16_t kSimdRangeOffset = 0x7000;  // subtracted with unsigned saturation
constexpr int16_t kSimdRedBias = 0x61D0;
constexpr int16_t kSimdGreenBias = 0x78A7;
constexpr int16_t kSimdBlueBias = 0x5E8D;

// What the group kernels need besides the samples.
struct SimdParams {
  const int16_t* dither[3];  // current dither rows of red, green, blue (4 lanes each)
  uint32_t red_pos;          // 32-bit: 16 or 0 (blue takes the other)
  uint32_t shift[4];         // right shifts: alpha dropped bits; red, green, blue dropped bits + 4
  uint32_t pos[4];           // alpha, red, green, blue positions (16-bit and index formats)
};

// Channels in 1/16 units, 0..4095.
struct SimdRgb {
  uint16_t r, g, b;
};

inline int16_t SimdMulHigh(int16_t a, int16_t b) {
  return static_cast<int16_t>((int32_t{a} * b) >> 16);
}
// Branch-free forms: the reference runs on random data in the tests.
inline int16_t SimdAddSaturate(int16_t a, int16_t b) {
  return static_cast<int16_t>(std::max(std::min(int32_t{a} + b, 32767), -32768));
}
inline uint16_t SimdSubUnsignedSaturate(int16_t a, uint16_t b) {
  const int32_t d = int32_t{static_cast<uint16_t>(a)} - b;
  return static_cast<uint16_t>(std::max(d, 0));
}

// One pixel; dr, dg, db are the dither-row lanes (bias plus dither) of its column.
inline SimdRgb SimdColour(uint32_t y, uint32_t cb, uint32_t cr, int16_t dr, int16_t dg,
                          int16_t db) {
  const int16_t yy = SimdMulHigh(static_cast<int16_t>(y * 64), kSimdLumaGain);
  const int16_t u = SimdMulHigh(static_cast<int16_t>(cb * 16), kSimdChromaGain);
  const int16_t v = SimdMulHigh(static_cast<int16_t>(cr * 32), kSimdChromaGain);
  // 16-bit wrap-around sums, as the lanes compute them.
  const auto red = static_cast<int16_t>(yy + 2 * v);
  const auto green = static_cast<int16_t>(yy - static_cast<int16_t>(u + v));
  const auto blue = static_cast<int16_t>(yy + 5 * u);
  return {SimdSubUnsignedSaturate(SimdAddSaturate(red, dr), kSimdRangeOffset),
          SimdSubUnsignedSaturate(SimdAddSaturate(green, dg), kSimdRangeOffset),
          SimdSubUnsignedSaturate(SimdAddSaturate(blue, db), kSimdRangeOffset)};
}

inline SimdRgb SimdColourLane(const SimdParams& p, uint32_t y, uint32_t cb, uint32_t cr,
                              uint32_t lane) {
  return SimdColour(y, cb, cr, p.dither[0][lane], p.dither[1][lane], p.dither[2][lane]);
}

inline uint32_t SimdPack32(const SimdParams& p, SimdRgb c, uint32_t alpha) {
  const uint32_t blue_pos = 16 - p.red_pos;
  return (uint32_t{c.r} >> 4) << p.red_pos | (uint32_t{c.g} >> 4) << 8 |
         (uint32_t{c.b} >> 4) << blue_pos | alpha << 24;
}

// 16-bit fields and the 8-bit index: value >> (dropped + 4) at the channel's position.
inline uint32_t SimdPackFields(const SimdParams& p, SimdRgb c) {
  return (uint32_t{c.r} >> p.shift[1]) << p.pos[1] | (uint32_t{c.g} >> p.shift[2]) << p.pos[2] |
         (uint32_t{c.b} >> p.shift[3]) << p.pos[3];
}
inline uint32_t SimdPackAlpha16(const SimdParams& p, uint32_t alpha) {
  return (alpha >> p.shift[0]) << p.pos[0];
}

inline void Store16(uint8_t* d, uint32_t v) {
  const auto w = static_cast<uint16_t>(v);
  std::memcpy(d, &w, 2);
}
inline void Store32(uint8_t* d, uint32_t v) {
  std::memcpy(d, &v, 4);
}
// The low three bytes of a 32-bit pixel (the 24-bit formats).
inline void Store24(uint8_t* d, uint32_t v) {
  d[0] = static_cast<uint8_t>(v), d[1] = static_cast<uint8_t>(v >> 8),
  d[2] = static_cast<uint8_t>(v >> 16);
}

// Converts `groups` groups of 8 pixels (8 luma, 4 Cb, 4 Cr and, for the alpha
// members, 8 alpha samples). Pixel i of a group uses dither lane i & 3.
using SimdGroupKernel = void (*)(const SimdParams& p, uint8_t* dest, const uint8_t* y,
                                 const uint8_t* cb, const uint8_t* cr, const uint8_t* a,
                                 size_t groups);

enum SimdMember {
  SIMD_32,  // 4-byte pixels
  SIMD_32_ALPHA,
  SIMD_16,
  SIMD_16_ALPHA,
  SIMD_INDEX8,
  SIMD_YUY2,
  SIMD_UYVY,
  SIMD_24,  // 3-byte pixels: the 32-bit pixel's low three bytes
  SIMD_MEMBER_COUNT
};

// Destination bytes per pixel of each member.
constexpr uint32_t kSimdOutBytes[SIMD_MEMBER_COUNT] = {4, 4, 2, 2, 1, 2, 2, 3};

struct SimdKernels {
  const char* name;
  SimdGroupKernel group[SIMD_MEMBER_COUNT];
};

// The portable reference, always present.
const SimdKernels& SimdKernelsPortable();
// The SSE2 and AVX2 sets (convert_simd_sse2.cpp, convert_simd_avx2.cpp); null
// where they are not built.
const SimdKernels* SimdKernelsSse2();
const SimdKernels* SimdKernelsAvx2();
// Every set, the portable one first.
std::span<const KernelSet<SimdKernels>> SimdKernelSets();
// The fastest set a CpuFeatures() word allows (a conversion context's, chosen
// when it is made).
const SimdKernels& SelectSimdKernels(uint32_t cpu);

}  // namespace vexil
