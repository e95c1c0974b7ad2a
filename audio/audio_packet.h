// From a frame packet to PCM: where each track's audio part lies in a frame
// packet, and the walk that decodes one part block by block. The sound track
// ring and `vexil decode --wav` both take their PCM through DecodeAudioPart;
// the ring limits what it takes through `allowed`.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil {

struct AudioDecoder;

// One track's audio part of a frame packet: a 32-bit count of the PCM bytes it
// yields, then the compressed blocks.
struct AudioPart {
  const uint8_t* data;
  uint32_t size;
};

// Finds the part of file track `track` (0-based) among the `track_count` parts
// at the start of a frame packet. A part whose size runs past the packet is
// cut at the packet's end. False when the walk leaves the packet before
// reaching the track (a size field missing or a part before it running past).
bool FindAudioPart(const uint8_t* packet, uint32_t packet_bytes, uint32_t track_count,
                   uint32_t track, AudioPart* part);

// Where a part's decoded PCM goes.
struct AudioPartOutput {
  void* context = nullptr;
  // Bytes the receiver can take now, asked before each block; null = no limit.
  // Rounded down to whole sample frames.
  uint32_t (*allowed)(void* context) = nullptr;
  // Receives the bytes taken from one block: whole sample frames, never 0.
  void (*take)(void* context, const uint8_t* pcm, uint32_t bytes) = nullptr;
};

// Decodes one part: blocks follow the count until the count is reached or the
// part's bytes run out. Each block yields its ready bytes, no more than the
// count still open; of those the output takes no more than it allows, and the
// rest is dropped. The count is taken in whole sample frames; a part shorter
// than its count field yields nothing, a count of 0 decodes no block.
// Returns the bytes taken.
uint64_t DecodeAudioPart(AudioDecoder* decoder, const AudioPart& part,
                         const AudioPartOutput& output);

}  // namespace vexil
