// Motion search for 8x8 blocks: a few predicted vectors (neighbours, the
// block's vector in the previous frame, the other planes' vectors), a
// coarse-to-fine pattern around the best of them, then single steps while
// they help. Vectors stay within the offsets' -15..15 and keep the source
// block wholly inside the plane, so no decoder range rule ever applies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoder/block_coder.h"
#include "encoder/encoder_kernels.h"
#include "encoder/rate_model.h"

namespace vexil {

constexpr int kMaxOffset = 15;

struct MotionSearchSetup {
  const uint8_t* source = nullptr;     // width x height, rows `width` apart
  const uint8_t* reference = nullptr;  // the same size
  uint32_t width = 0, height = 0;      // multiples of 8
  double lambda = 1;                   // per bit, in units of absolute difference
  const RateModel* rate = nullptr;
  const EncoderKernels* kernels = nullptr;
};

// True when the vector keeps the block at (x, y) inside the plane and inside
// the offsets' range.
bool MotionInside(const MotionSearchSetup& s, uint32_t x, uint32_t y, MotionVector mv);

// The vector with the least SAD + lambda x offset bits found from the
// predictors (vectors outside the plane are ignored; (0, 0) is always tried).
MotionVector SearchMotion(const MotionSearchSetup& s, uint32_t x, uint32_t y,
                          const MotionVector* predictors, size_t count);

}  // namespace vexil
