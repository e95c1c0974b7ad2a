// The encoder's hot kernels: sums of absolute differences for the motion
// search, sums of squared differences for the mode decision, the forward DCT
// and the quantizer's trial of a row.
// The portable references come first; faster sets replace them by processor
// feature (tests require identical results, so the movie never depends on the
// processor).
#pragma once

#include <cstdint>
#include <span>

#include "platform/cpu.h"

namespace vexil {

// Of 64 quantized values: per four consecutive positions their magnitudes
// ORed, and masks (bit k for position k) of the values not zero and of the
// values 1 or -1.
struct QuantizedShape {
  uint32_t group[16];
  uint64_t nonzero, ones;
};

struct EncoderKernels {
  const char* name;
  // Rows of both blocks are `a_pitch` / `b_pitch` bytes apart.
  uint32_t (*sad8x8)(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
  uint32_t (*sse8x8)(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
  void (*forward_dct)(const float in[64], float out[64]);  // see forward_dct.h
  // Quantizes 64 transform coefficients (in scan order, with a row's
  // tables in the same order; forward_dct.h): with v = f x scale, out = v's
  // magnitude plus `rounding`, at most `limit`, rounded down, with v's sign.
  // Returns the squared error (v - out) x step, squared, of positions
  // 1..63, summed in four lanes by position mod 4 and then as (lane 0 +
  // lane 2) + (lane 1 + lane 3); and in *shape what the bit count needs.
  float (*quantize)(const float f[64], const float scale[64], const float step[64],
                    const float limit[64], float rounding, int16_t out[64], QuantizedShape* shape);
};

// Every set, the portable one first.
std::span<const KernelSet<EncoderKernels>> EncoderKernelSets();
// The fastest set a CpuFeatures() word allows (CPU_* bits; 0 gives the references).
const EncoderKernels& SelectEncoderKernels(uint32_t cpu_features);

// The SSE2 set (encoder_kernels_sse2.cpp); null where it is not built.
const EncoderKernels* EncoderKernelsSse2();

uint32_t Sad8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);
float QuantizeReference(const float f[64], const float scale[64], const float step[64],
                        const float limit[64], float rounding, int16_t out[64],
                        QuantizedShape* shape);
uint32_t Sse8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch);

}  // namespace vexil
