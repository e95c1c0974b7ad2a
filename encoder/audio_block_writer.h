// Writing compressed audio blocks: quantized coefficients in, block bits out,
// exactly as the audio decoder reads them back. The audio encoder builds its
// packets from these blocks; tests use them to make exact audio.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_layout.h"

namespace vexil {

// One transform channel of a block.
struct AudioBlockChannel {
  uint32_t first[2] = {};  // 29-bit fields of coefficients 0 and 1 (AudioCoefficientField)
  // One quantizer index per band (indices above 95 read as 95).
  std::vector<uint8_t> band_indices;
  // values[j]: the quantized value of coefficient j, for 2 <= j < N (entries 0
  // and 1 are not used); limited to -32767 .. 32767. The decoder multiplies it
  // by the quantizer of the band holding j.
  std::vector<int32_t> values;
};

// Writes one block of `shape.transform_channels` channels. The runs are chosen
// for the fewest bits. The result is padded with zero bits to a whole 32-bit
// word; *bits (when given) receives the bits before padding.
std::vector<uint8_t> WriteAudioBlock(const AudioBlockShape& shape,
                                     const AudioBlockChannel* channels, uint32_t* bits = nullptr);

// The 29-bit field nearest to `value` (exponents 0 to 23; magnitudes beyond
// the largest field are limited to it). Exact for every value the field can hold.
uint32_t AudioCoefficientField(float value);

// An audio part of a frame packet: the 32-bit count of PCM bytes it yields,
// then the blocks.
std::vector<uint8_t> AudioPartBytes(uint32_t count,
                                    const std::vector<std::vector<uint8_t>>& blocks);

}  // namespace vexil
