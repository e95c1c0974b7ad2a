// `vexil encode` given hostile inputs: a YUV4MPEG2 stream and a WAV file read
// by the encoder's readers, then whatever they take (small pictures, a
// fraction of a second of sound) coded into a movie, which must open again.
//
// Input: a 16-bit little-endian length of the Y4M part, the Y4M part, then
// the WAV part (none when empty). The last byte also chooses the revision and
// the audio codec.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder/byte_source.h"
#include "encoder/movie_encoder.h"
#include "encoder/wav_reader.h"
#include "encoder/y4m_reader.h"
#include "engine/movie.h"

namespace {

using namespace vexil;

// Coding is slow next to reading: a few blocks, two frames, a tenth of a
// second of sound.
constexpr uint64_t kMaxPixels = 32 * 32;
constexpr uint32_t kMaxFrames = 2;
constexpr size_t kMaxSoundFrames = 4096;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VEXIL_PLATFORM", "headless", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t video_bytes = std::min<size_t>(data[0] | size_t{data[1]} << 8, size - 2);
  const uint8_t* video = data + 2;
  const uint8_t* sound = video + video_bytes;
  const size_t sound_bytes = size - 2 - video_bytes;
  const uint8_t choice = data[size - 1];

  MemorySource video_source(video, video_bytes);
  Y4mReader reader(&video_source);
  if (!reader.ReadHeader()) return 0;
  const Y4mHeader& h = reader.header();
  if (uint64_t{h.width} * h.height > kMaxPixels) return 0;

  MovieEncoderOptions options;
  options.keyint = 2;
  options.revision = "fghi"[choice & 3];
  options.rdft_audio = choice & 4;
  MovieFormat format;
  format.width = h.width;
  format.height = h.height;
  format.rate_num = h.rate_num;
  format.rate_den = h.rate_den;
  format.grayscale = h.layout == Y4mLayout::kMono;
  MovieEncoder encoder(options, format);
  std::string error;
  if (!encoder.Check(&error)) return 0;
  if (sound_bytes) {
    MemorySource sound_source(sound, sound_bytes);
    WavAudio audio;
    if (!ReadWav(&sound_source, &audio, &error) || audio.frames() > kMaxSoundFrames) return 0;
    encoder.SetAudio(std::move(audio));
  }
  Picture picture;
  for (uint32_t n = 0; n < kMaxFrames && reader.ReadFrame(&picture); ++n) {
    if (!encoder.AddFrame(picture, &error)) return 0;
  }
  std::vector<uint8_t> movie;
  if (!encoder.Finish(&movie, &error)) return 0;
  const size_t movie_bytes = movie.size();
  movie.resize(movie_bytes + 1024, 0);
  MovieHandle* handle = Open(MovieSource::Memory(movie.data(), movie_bytes), OPEN_MEMORY);
  if (!handle) __builtin_trap();  // the encoder's own movie must open
  Close(handle);
  return 0;
}
