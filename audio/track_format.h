// The format word of a movie's sound track: its sample rate, channels,
// sample size and codec.
#pragma once

#include <cstdint>

namespace vexil {

constexpr uint32_t TRACK_RATE_MASK = 0xFFFF;
constexpr uint32_t TRACK_DCT = 0x10000000;
constexpr uint32_t TRACK_STEREO = 0x20000000;
constexpr uint32_t TRACK_16BIT = 0x40000000;
constexpr uint32_t TRACK_RDFT = 0x80000000;

}  // namespace vexil
