// The audio decoder's last two steps: transform output to 16-bit PCM, and the
// cross-fade of a block's start with the tail held back from the block before.
#pragma once

#include <cstdint>

namespace vexil {

// Scales `channels` runs (1 or 2) of `count` floats, rounds half to even,
// limits to -32768..32767 and writes them interleaved (count x channels
// values). Uses the fastest kernel the processor allows; all give the same
// result (under the default rounding mode).
void AudioConvertToPcm(const float* values, uint32_t count, uint32_t channels, float scale,
                       int16_t* out);

// The portable kernel, and the SSE2 one on x86 (call it only with CPU_SSE2).
void AudioConvertToPcmReference(const float* values, uint32_t count, uint32_t channels, float scale,
                                int16_t* out);
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__) || defined(_M_IX86)
#define VEXIL_AUDIO_PCM_SSE2 1
void AudioConvertToPcmSse2(const float* values, uint32_t count, uint32_t channels, float scale,
                           int16_t* out);
#endif

// Blends the first `overlap_values` values of `out` from `saved` into `out`:
// out[i] = (saved[i] (M - i) + out[i] i) / M, rounded toward minus infinity.
void AudioCrossFade(const int16_t* saved, int16_t* out, uint32_t overlap_values);

}  // namespace vexil
