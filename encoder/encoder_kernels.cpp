#include "encoder/encoder_kernels.h"

#include <array>
#include <cstdlib>

#include "encoder/forward_dct.h"

namespace vexil {

uint32_t Sad8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
  uint32_t sum = 0;
  for (int r = 0; r < 8; ++r, a += a_pitch, b += b_pitch)
    for (int c = 0; c < 8; ++c) sum += static_cast<uint32_t>(std::abs(a[c] - b[c]));
  return sum;
}

uint32_t Sse8x8Reference(const uint8_t* a, uint32_t a_pitch, const uint8_t* b, uint32_t b_pitch) {
  uint32_t sum = 0;
  for (int r = 0; r < 8; ++r, a += a_pitch, b += b_pitch) {
    for (int c = 0; c < 8; ++c) {
      const int32_t d = a[c] - b[c];
      sum += static_cast<uint32_t>(d * d);
    }
  }
  return sum;
}

std::span<const KernelSet<EncoderKernels>> EncoderKernelSets() {
  static const EncoderKernels portable = {"portable", Sad8x8Reference, Sse8x8Reference,
                                          ForwardDctReference};
  static const std::array<KernelSet<EncoderKernels>, 2> sets = {{
      {0, &portable},
      {CPU_SSE2, EncoderKernelsSse2()},
  }};
  return sets;
}

const EncoderKernels& SelectEncoderKernels(uint32_t cpu_features) {
  return ChooseKernels(EncoderKernelSets(), cpu_features);
}

}  // namespace vexil
