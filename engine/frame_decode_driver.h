// The frame decode driver: runs the decode of a movie's current packet in
// parts (its audio packets into the sound rings, then its video planes), and
// the start and finish bookkeeping around a frame's decode.
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;

// Decode parts (bits 1..2 of a job word).
constexpr uint32_t PART_LUMA = 1;
constexpr uint32_t PART_OTHER = 2;  // audio, alpha and chroma
constexpr uint32_t PART_ALL = 3;

// The open flags `flags` narrowed to the planes of `parts`: without luma for
// the other part, without alpha and chroma for the luma part. Older revisions
// keep every plane (their chroma starts where the luma ends, so only the
// other part decodes, and decodes all); PART_ALL keeps them too.
uint32_t PartFlags(uint32_t flags, uint32_t parts);

// Runs one frame decode part on the current packet (audio packets first, then
// video); returns 1. Decode threads, or the calling thread when there is none.
int FrameDecodePart(MovieHandle* movie, uint32_t parts);

// Player thread: the checks and map preparation before a frame's decode.
// Returns the movie, or null when no decode should start.
MovieHandle* FrameDecodeStart(MovieHandle* movie, uint32_t now);

// Player thread: after both parts finished and the maps were exchanged.
void FrameDecodeFinish(MovieHandle* movie, uint32_t now);

}  // namespace vexil
