// How a track's audio is cut into blocks: the frame length by rate, the
// transform length and the number of transforms per block for the two codecs,
// and the quantizer bands. The decoder and the block writer both start here.
#pragma once

#include <cstdint>

namespace vexil {

// AudioDecoderOpen's flag bit: the track is coded with the DCT (else the real FFT).
constexpr uint32_t AUDIO_DCT = 1;

constexpr uint32_t kMaxAudioBands = 25;
// Band limits in Hz; a track has the bands below its Nyquist frequency.
inline constexpr uint32_t kCriticalFrequencies[kMaxAudioBands] = {
    0,    100,  200,  300,  400,  510,  630,  770,  920,  1080, 1270,  1480, 1720,
    2000, 2320, 2700, 3150, 3700, 4400, 5300, 6400, 7700, 9500, 12000, 15500};

// The longest transform: 2048 samples of two channels in one real FFT.
constexpr uint32_t kMaxTransformLength = 4096;

// What the block reader needs to know of a track.
struct AudioBlockShape {
  uint32_t transform_length;    // N
  uint32_t transform_channels;  // transforms per block
  uint32_t band_count;
  bool dct;
  const uint32_t* band_edges;  // band_count + 1 entries, in units of two coefficients
};

struct AudioLayout {
  uint32_t channels;      // 1 or 2
  uint32_t frame_length;  // samples per channel per block
  uint32_t transform_length;
  uint32_t transform_channels;
  uint32_t block_bytes;    // 16-bit PCM one block yields before the overlap is held back
  uint32_t overlap_bytes;  // block bytes / 16
  uint32_t band_count;
  uint32_t flags;  // AUDIO_DCT
  uint32_t band_edges[kMaxAudioBands + 1];

  AudioBlockShape Shape() const {
    return {transform_length, transform_channels, band_count, (flags & AUDIO_DCT) != 0, band_edges};
  }
};

// The layout of a track of `rate` Hz and 1 or 2 channels; `flags` AUDIO_DCT.
AudioLayout AudioLayoutFor(uint32_t rate, uint32_t channels, uint32_t flags);

}  // namespace vexil
