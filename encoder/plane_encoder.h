// Codes one plane of a frame: motion search over the 8x8 blocks, the mode
// decision per 16x16 area (four blocks or one scaled block), and the plane
// stream with the picture the decoder will make of it. The search and the
// decision can share the work out to threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/block_coder.h"
#include "encoder/encoder_kernels.h"
#include "encoder/rate_model.h"

namespace vexil {

struct PlaneEncodeJob {
  const uint8_t* source = nullptr;     // width x height samples, rows `width` apart
  const uint8_t* reference = nullptr;  // the decoder's previous picture; null on key frames
  uint32_t width = 0, height = 0;      // multiples of 8
  double lambda = 1;
  uint32_t finest_quantizer = 0, coarsest_quantizer = 0;
  uint32_t residue_threshold = 0;
  uint32_t modes = BLOCK_MODE_ALL;
  bool old_revision = false;
  RateModel* rate = nullptr;  // used for the estimates, then taught this plane's values
  const EncoderKernels* kernels = nullptr;
  // Vectors to start the motion search from: this plane's in the previous
  // frame (may be empty), and another plane's of this frame (`guide`, whose
  // blocks cover 2^guide_shift times the samples in each direction; may be empty).
  const std::vector<MotionVector>* previous = nullptr;
  const std::vector<MotionVector>* guide = nullptr;
  uint32_t guide_blocks_wide = 0, guide_blocks_high = 0;
  uint32_t guide_shift = 0;
  uint32_t threads = 1;  // the result is the same for any number
};

struct PlaneEncodeResult {
  std::vector<uint8_t> bytes;                     // the plane's stream, whole words
  std::vector<uint8_t> recon;                     // what the decoder makes of it, width x height
  std::vector<MotionVector> vectors;              // per 8x8 block, row by row
  uint32_t blocks[BLOCK_TYPE_COUNT] = {};         // 8x8 positions by the type that covers them
  uint32_t scaled_blocks[BLOCK_TYPE_COUNT] = {};  // scaled blocks by content type
  std::string error;
};

// False (with result->error) only when a value cannot be coded, which would be
// a fault of the encoder.
bool EncodePlane(const PlaneEncodeJob& job, PlaneEncodeResult* result);

}  // namespace vexil
