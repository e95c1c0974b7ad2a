// The encoder's hot kernels: sums of absolute differences for the motion
// search, sums of squared differences for the mode decision, the forward DCT.
// Portable references first; SSE2 versions replace them where the processor
// has it (tests require identical results, so the movie never depends on the
// processor).
#pragma once

#include <cstdint>

namespace vexil {

struct EncoderKernels {
  // Rows of both blocks are `a_pitch` / `b_pitch` bytes apart.
  uint32_t (*sad8x8)(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
  uint32_t (*sse8x8)(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
  void (*forward_dct)(const float in[64], float out[64]);  // see forward_dct.h
};

// The kernels for a CpuFeatures() word (CPU_* bits); 0 gives the references.
const EncoderKernels& SelectEncoderKernels(uint32_t cpu_features);

uint32_t Sad8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
uint32_t Sse8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
#if defined(__SSE2__)
uint32_t Sad8x8Sse2(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
uint32_t Sse8x8Sse2(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
#endif

}  // namespace vexil
