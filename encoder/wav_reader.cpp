#include "encoder/wav_reader.h"

#include <algorithm>
#include <cstring>

namespace vexil {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

uint32_t Le32(const uint8_t* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}
uint16_t Le16(const uint8_t* b) {
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

// Reads and drops n bytes; false when the input ends first.
bool Skip(ByteSource* source, uint64_t n) {
  uint8_t scratch[4096];
  while (n) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(n, sizeof(scratch)));
    if (source->Read(scratch, piece) != piece) return false;
    n -= piece;
  }
  return true;
}

}  // namespace

bool ReadWav(ByteSource* source, WavAudio* audio, std::string* error) {
  auto fail = [&](const std::string& message) {
    *error = message;
    return false;
  };
  *audio = WavAudio{};
  uint8_t riff[12];
  const size_t got = source->Read(riff, sizeof(riff));
  if (got == 0) return fail("the audio input is empty");
  if (got < sizeof(riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0)
    return fail("not a WAV file (it must start with RIFF....WAVE)");

  bool have_format = false;
  uint32_t block_align = 0;
  for (;;) {
    uint8_t chunk[8];
    if (source->Read(chunk, sizeof(chunk)) != sizeof(chunk))
      return fail(have_format ? "the WAV file has no data chunk" : "the WAV file has no fmt chunk");
    const uint32_t size = Le32(chunk + 4);
    const uint64_t padded = uint64_t{size} + (size & 1);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (have_format) return fail("the WAV file has two fmt chunks");
      if (size < 16 || size > 256) return fail("the WAV fmt chunk has a bad size");
      uint8_t f[256];
      if (source->Read(f, padded) != padded) return fail("the WAV fmt chunk is cut short");
      uint16_t tag = Le16(f);
      if (tag == kFormatExtensible) {
        // The sub-format's first two bytes hold the plain format tag.
        if (size < 40) return fail("the WAV extensible fmt chunk is too short");
        tag = Le16(f + 24);
      }
      audio->channels = Le16(f + 2);
      audio->rate = Le32(f + 4);
      block_align = Le16(f + 12);
      audio->bits = Le16(f + 14);
      if (tag != kFormatPcm)
        return fail("the WAV file is not PCM (format " + std::to_string(tag) +
                    "): only PCM can be coded");
      if (audio->bits != 8 && audio->bits != 16)
        return fail("the WAV file has " + std::to_string(audio->bits) +
                    "-bit samples: only 8 and 16 bits can be coded");
      if (audio->channels != 1 && audio->channels != 2)
        return fail("the WAV file has " + std::to_string(audio->channels) +
                    " channels: only mono and stereo can be coded");
      if (audio->rate == 0 || audio->rate > 65535)
        return fail("the WAV file's rate of " + std::to_string(audio->rate) +
                    " Hz is outside 1 to 65535 Hz");
      if (block_align != audio->channels * audio->bits / 8)
        return fail("the WAV fmt chunk's block size does not match its channels and bits");
      have_format = true;
      continue;
    }
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) return fail("the WAV data chunk comes before its fmt chunk");
      // Read in pieces as far as the file goes; whole sample frames only.
      std::vector<uint8_t> piece(1 << 16);
      uint64_t left = size;
      std::vector<uint8_t> carry;
      while (left) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, piece.size()));
        const size_t n = source->Read(piece.data(), want);
        carry.insert(carry.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(n));
        const size_t whole = carry.size() / block_align * block_align;
        for (size_t i = 0; i < whole; i += audio->bits / 8) {
          audio->samples.push_back(audio->bits == 8 ? static_cast<int16_t>((carry[i] - 128) * 256)
                                                    : static_cast<int16_t>(Le16(&carry[i])));
        }
        carry.erase(carry.begin(), carry.begin() + static_cast<ptrdiff_t>(whole));
        left -= n;
        if (n < want) break;
      }
      if (audio->samples.empty()) return fail("the WAV file holds no samples");
      return true;
    }
    if (!Skip(source, padded))
      return fail(have_format ? "the WAV file has no data chunk" : "the WAV file has no fmt chunk");
  }
}

}  // namespace vexil
