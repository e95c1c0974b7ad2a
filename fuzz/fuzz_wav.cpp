// The encoder's WAV reader fed raw bytes: what it takes is PCM the encoder can
// code (mono or stereo, 8 or 16 bits, 1 to 65535 Hz, whole sample frames);
// what it refuses, it says why.
#include <cstddef>
#include <cstdint>
#include <string>

#include "encoder/byte_source.h"
#include "encoder/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vexil;
  MemorySource source(data, size);
  WavAudio audio;
  std::string error;
  if (!ReadWav(&source, &audio, &error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  if ((audio.channels != 1 && audio.channels != 2) || (audio.bits != 8 && audio.bits != 16) ||
      audio.rate == 0 || audio.rate > 65535 || audio.samples.empty() ||
      audio.samples.size() % audio.channels)
    __builtin_trap();
  return 0;
}
