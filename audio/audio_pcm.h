// The audio decoder's last two steps: transform output to 16-bit PCM, and the
// cross-fade of a block's start with the tail held back from the block before.
#pragma once

#include <cstdint>
#include <span>

#include "platform/cpu.h"

namespace vexil {

// Scales `channels` runs (1 or 2) of `count` floats, rounds half to even,
// limits to -32768..32767 and writes them interleaved (count x channels
// values). Uses the fastest kernel the processor allows; all give the same
// result (under the default rounding mode).
void AudioConvertToPcm(const float* values, uint32_t count, uint32_t channels, float scale,
                       int16_t* out);

struct AudioPcmKernels {
  const char* name;
  void (*convert_to_pcm)(const float* values, uint32_t count, uint32_t channels, float scale,
                         int16_t* out);
};

// Every set, the portable one first.
std::span<const KernelSet<AudioPcmKernels>> AudioPcmKernelSets();
// The fastest set a CpuFeatures() word allows (CPU_* bits; 0 gives the reference).
const AudioPcmKernels& SelectAudioPcmKernels(uint32_t cpu_features);

// The SSE2 set (audio_pcm_sse2.cpp); null where it is not built.
const AudioPcmKernels* AudioPcmKernelsSse2();

// The portable kernel.
void AudioConvertToPcmReference(const float* values, uint32_t count, uint32_t channels, float scale,
                                int16_t* out);

// Blends the first `overlap_values` values of `out` from `saved` into `out`:
// out[i] = (saved[i] (M - i) + out[i] i) / M, rounded toward minus infinity.
void AudioCrossFade(const int16_t* saved, int16_t* out, uint32_t overlap_values);

}  // namespace vexil
