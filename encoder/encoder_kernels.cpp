#include "encoder/encoder_kernels.h"

#include <algorithm>
#include <array>
#include <cmath>
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

float QuantizeReference(const float f[64], const float scale[64], const float step[64],
                        const float limit[64], float rounding, int16_t out[64],
                        QuantizedShape* shape) {
  float lane[4] = {};
  *shape = QuantizedShape{};
  for (int p = 0; p < 64; ++p) {
    const float v = f[p] * scale[p];
    const int32_t m = static_cast<int32_t>(std::min(std::fabs(v) + rounding, limit[p]));
    const int32_t c = v < 0 ? -m : m;
    out[p] = static_cast<int16_t>(c);
    const float e = (v - static_cast<float>(c)) * step[p];
    lane[p % 4] += p ? e * e : 0.0f;
    shape->group[p / 4] |= static_cast<uint32_t>(m);
    shape->nonzero |= uint64_t{m != 0} << p;
    shape->ones |= uint64_t{m == 1} << p;
  }
  return (lane[0] + lane[2]) + (lane[1] + lane[3]);
}

std::span<const KernelSet<EncoderKernels>> EncoderKernelSets() {
  static const EncoderKernels portable = {"portable", Sad8x8Reference, Sse8x8Reference,
                                          ForwardDctReference, QuantizeReference};
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
