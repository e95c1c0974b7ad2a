#include "audio/audio_pcm.h"

#include <array>
#include <cfloat>
#include <cmath>

namespace vexil {
namespace {

// Limiting before rounding gives the same result as rounding first and keeps
// the rounding exact. A NaN (which valid input cannot make) ends at -32768.
inline int16_t ToPcm(float value, float scale) {
  float x = value * scale;
  x = x > -32768.0f ? x : -32768.0f;
  x = x < 32767.0f ? x : 32767.0f;
  if constexpr (FLT_EVAL_METHOD == 0) {
    // Adding 1.5 x 2^23 leaves no fraction bits, so the addition itself rounds
    // to the nearest integer, ties to even; exact for |x| < 2^22.
    constexpr float kRounder = 12582912.0f;
    return static_cast<int16_t>((x + kRounder) - kRounder);
  } else {
    return static_cast<int16_t>(std::nearbyint(x));
  }
}

}  // namespace

void AudioConvertToPcmReference(const float* values, uint32_t count, uint32_t channels, float scale,
                                int16_t* out) {
  if (channels == 1) {
    for (uint32_t k = 0; k < count; ++k) out[k] = ToPcm(values[k], scale);
    return;
  }
  const float* second = values + count;
  for (uint32_t k = 0; k < count; ++k) {
    out[2 * k] = ToPcm(values[k], scale);
    out[2 * k + 1] = ToPcm(second[k], scale);
  }
}

std::span<const KernelSet<AudioPcmKernels>> AudioPcmKernelSets() {
  static const AudioPcmKernels portable = {"portable", AudioConvertToPcmReference};
  static const std::array<KernelSet<AudioPcmKernels>, 2> sets = {{
      {0, &portable},
      {CPU_SSE2, AudioPcmKernelsSse2()},
  }};
  return sets;
}

const AudioPcmKernels& SelectAudioPcmKernels(uint32_t cpu_features) {
  return ChooseKernels(AudioPcmKernelSets(), cpu_features);
}

void AudioConvertToPcm(const float* values, uint32_t count, uint32_t channels, float scale,
                       int16_t* out) {
  static const auto convert = SelectAudioPcmKernels(CpuFeatures()).convert_to_pcm;
  convert(values, count, channels, scale, out);
}

void AudioCrossFade(const int16_t* saved, int16_t* out, uint32_t overlap_values) {
  const int32_t m = static_cast<int32_t>(overlap_values);
  for (int32_t i = 0; i < m; ++i) {
    const int32_t sum = int32_t{saved[i]} * (m - i) + int32_t{out[i]} * i;
    int32_t q = sum / m;
    if (sum % m != 0 && sum < 0) --q;  // toward minus infinity
    out[i] = static_cast<int16_t>(q);
  }
}

}  // namespace vexil
