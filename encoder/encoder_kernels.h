// The encoder's hot kernels: sums of absolute differences for the motion
// search, sums of squared differences for the mode decision, the forward DCT.
// The portable references come first; faster sets replace them by processor
// feature (tests require identical results, so the movie never depends on the
// processor).
#pragma once

#include <cstdint>
#include <span>

#include "platform/cpu.h"

namespace vexil {

struct EncoderKernels {
  const char* name;
  // Rows of both blocks are `a_pitch` / `b_pitch` bytes apart.
  uint32_t (*sad8x8)(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
  uint32_t (*sse8x8)(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
  void (*forward_dct)(const float in[64], float out[64]);  // see forward_dct.h
};

// Every set, the portable one first.
std::span<const KernelSet<EncoderKernels>> EncoderKernelSets();
// The fastest set a CpuFeatures() word allows (CPU_* bits; 0 gives the references).
const EncoderKernels& SelectEncoderKernels(uint32_t cpu_features);

// The SSE2 set (encoder_kernels_sse2.cpp); null where it is not built.
const EncoderKernels* EncoderKernelsSse2();

uint32_t Sad8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
uint32_t Sse8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);

}  // namespace vexil
