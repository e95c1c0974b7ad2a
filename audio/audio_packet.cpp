#include "audio/audio_packet.h"

#include <algorithm>

#include "audio/audio_decoder.h"
#include "platform/byte_order.h"

namespace vexil {

bool FindAudioPart(const uint8_t* packet, uint32_t packet_bytes, uint32_t track_count,
                   uint32_t track, AudioPart* part) {
  uint32_t position = 0;
  for (uint32_t t = 0; t < track_count; ++t) {
    if (packet_bytes - position < 4) return false;
    const uint32_t size = ReadLE32(packet + position);
    position += 4;
    const uint32_t left = packet_bytes - position;
    if (t == track) {
      *part = {packet + position, std::min(size, left)};
      return true;
    }
    if (size > left) return false;
    position += size;
  }
  return false;
}

uint64_t DecodeAudioPart(AudioDecoder* decoder, const AudioPart& part,
                         const AudioPartOutput& output) {
  if (part.size < 4) return 0;
  const uint32_t frame_bytes = decoder->channels * 2;
  uint32_t remaining = ReadLE32(part.data);
  remaining -= remaining % frame_bytes;
  const uint8_t* input = part.data + 4;
  const uint8_t* const end = part.data + part.size;
  uint64_t taken_total = 0;
  while (remaining > 0 && input < end) {
    uint32_t allowed = output.allowed ? output.allowed(output.context) : UINT32_MAX;
    allowed -= allowed % frame_bytes;
    uint32_t ready = 0;
    const uint8_t* next = input;
    const int16_t* pcm = AudioDecodeBlock(decoder, input, end, &ready, &next);
    const uint32_t yield = std::min(ready, remaining);
    const uint32_t taken = std::min(yield, allowed);
    if (taken > 0 && output.take) {
      output.take(output.context, reinterpret_cast<const uint8_t*>(pcm), taken);
      taken_total += taken;
    }
    remaining -= yield;
    if (next == input) break;  // no progress: nothing more can come of this part
    input = next;
  }
  return taken_total;
}

}  // namespace vexil
