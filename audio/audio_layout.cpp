#include "audio/audio_layout.h"

namespace vexil {

AudioLayout AudioLayoutFor(uint32_t rate, uint32_t channels, uint32_t flags) {
  AudioLayout l{};
  l.channels = channels;
  l.flags = flags & AUDIO_DCT;
  l.frame_length = rate >= 44100 ? 2048 : rate >= 22050 ? 1024 : 512;
  l.block_bytes = l.frame_length * channels * 2;
  l.overlap_bytes = l.block_bytes / 16;
  // The real FFT carries the channels interleaved inside one transform, so it
  // sees twice the rate.
  uint64_t effective_rate = rate;
  if (l.flags & AUDIO_DCT) {
    l.transform_length = l.frame_length;
    l.transform_channels = channels;
  } else {
    l.transform_length = l.frame_length * channels;
    l.transform_channels = 1;
    effective_rate *= channels;
  }
  const uint64_t nyquist = (effective_rate + 1) / 2;
  l.band_count = kMaxAudioBands;
  for (uint32_t i = 0; i < kMaxAudioBands; ++i) {
    if (kCriticalFrequencies[i] >= nyquist) {
      l.band_count = i;
      break;
    }
  }
  // Every band below the count lies under the Nyquist frequency, so it is not 0 here.
  const uint32_t half = l.transform_length / 2;
  for (uint32_t i = 0; i < l.band_count; ++i) {
    const uint32_t edge = static_cast<uint32_t>(uint64_t{kCriticalFrequencies[i]} * half / nyquist);
    l.band_edges[i] = edge == 0 ? 1 : edge;
  }
  l.band_edges[l.band_count] = half;
  return l;
}

}  // namespace vexil
