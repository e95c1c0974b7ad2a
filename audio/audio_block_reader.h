// Reading one compressed audio block into frequency coefficients: a bit
// reader over little-endian 32-bit words, the two leading 29-bit float
// coefficients, one quantizer per band, then runs of quantized values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/audio_layout.h"

namespace vexil {

// 10^(0.0664 i) worked out in double precision and rounded to float.
constexpr uint32_t kQuantizerCount = 96;
extern const float kQuantizers[kQuantizerCount];

// Run lengths in groups of 8 coefficients, chosen by a 4-bit code.
inline constexpr uint8_t kRunLengths[16] = {2,  3,  4,  5,  6,  8,  9,  10,
                                            11, 12, 13, 14, 15, 16, 32, 64};

// Bit layout of the leading coefficients: 5-bit exponent e, 23-bit mantissa m,
// sign; value m * 2^(e - 23).
constexpr uint32_t kCoefficientFieldBits = 29;
float AudioCoefficientValue(uint32_t field);

struct AudioBlockRead {
  size_t consumed;  // 4 x the words loaded
  bool decoded;     // false: DCT block at the input end, nothing read
};

// Reads one block starting at `input` into `coefficients` (transform_channels
// runs of transform_length floats). Loads only whole words inside [input, end):
// a word the end cuts short is completed with zero bytes. When a read needs a
// word at or beyond the end, the rest of the block is abandoned and left 0.
AudioBlockRead ReadAudioBlock(const AudioBlockShape& shape, const uint8_t* input,
                              const uint8_t* end, float* coefficients);

}  // namespace vexil
