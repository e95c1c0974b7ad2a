// Reading RIFF WAVE files: 8- or 16-bit PCM, one or two channels, 1 to
// 65535 samples per second (also in the extensible format's PCM form).
// Other formats are refused with a message. The input is untrusted: memory
// grows only with the sample bytes that are really there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/byte_source.h"

namespace vexil {

struct WavAudio {
  uint32_t rate = 0;
  uint32_t channels = 0;
  uint32_t bits = 0;             // 8 or 16, as stored
  std::vector<int16_t> samples;  // interleaved, 8-bit samples widened ((v - 128) << 8)
  size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// False with *error when the input is not a WAV file we take. A data chunk
// that claims more bytes than the file holds is taken as far as it goes.
bool ReadWav(ByteSource* source, WavAudio* audio, std::string* error);

}  // namespace vexil
