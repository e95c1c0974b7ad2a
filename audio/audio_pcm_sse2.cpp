// SSE2 kernel of AudioConvertToPcm: four values per instruction, the same
// limiting (maxps/minps keep the reference's NaN outcome) and rounding
// (cvtps2dq rounds as the current mode says, nearest-even by default).
#include "audio/audio_pcm.h"

#if VEXIL_X86
#include <emmintrin.h>

namespace vexil {
namespace {

// Eight values to eight 16-bit samples.
inline __m128i Convert8(const float* p, __m128 scale) {
  const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
  __m128 a = _mm_mul_ps(_mm_loadu_ps(p), scale);
  __m128 b = _mm_mul_ps(_mm_loadu_ps(p + 4), scale);
  a = _mm_min_ps(_mm_max_ps(a, lo), hi);
  b = _mm_min_ps(_mm_max_ps(b, lo), hi);
  return _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
}

void ConvertToPcm(const float* values, uint32_t count, uint32_t channels, float scale,
                  int16_t* out) {
  const __m128 s = _mm_set1_ps(scale);
  const uint32_t whole = count & ~7u;
  if (channels == 1) {
    for (uint32_t k = 0; k < whole; k += 8)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), Convert8(values + k, s));
  } else {
    const float* second = values + count;
    for (uint32_t k = 0; k < whole; k += 8) {
      const __m128i a = Convert8(values + k, s), b = Convert8(second + k, s);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k), _mm_unpacklo_epi16(a, b));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k + 8), _mm_unpackhi_epi16(a, b));
    }
  }
  if (whole == count) return;
  // The last few values: the reference on runs that start at `whole`.
  int16_t tail[2 * 8];
  float runs[2 * 8] = {};
  const uint32_t left = count - whole;
  for (uint32_t c = 0; c < channels; ++c)
    for (uint32_t k = 0; k < left; ++k) runs[c * left + k] = values[size_t{c} * count + whole + k];
  AudioConvertToPcmReference(runs, left, channels, scale, tail);
  for (uint32_t i = 0; i < left * channels; ++i) out[whole * channels + i] = tail[i];
}

const AudioPcmKernels kSse2 = {"sse2", ConvertToPcm};

}  // namespace

const AudioPcmKernels* AudioPcmKernelsSse2() {
  return &kSse2;
}

}  // namespace vexil

#else

namespace vexil {
const AudioPcmKernels* AudioPcmKernelsSse2() {
  return nullptr;
}
}  // namespace vexil

#endif
