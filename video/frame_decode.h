// Decoding whole frames: the planes of one frame's video data into the spare
// plane set, the frame decode parts that the decode threads run, and the
// start and finish bookkeeping around them.
#pragma once

#include <cstdint>

#include "video/plane_decoder.h"

namespace vexil {

struct MovieHandle;
struct FrameBufferRecord;

// Decode parts (bits 1..2 of a job word).
constexpr uint32_t PART_LUMA = 1;
constexpr uint32_t PART_OTHER = 2;  // audio, alpha and chroma
constexpr uint32_t PART_ALL = 3;

using PlaneDecoder = const uint8_t* (*)(const PlaneDecodeArgs& args, uint32_t* skip_count);

struct FrameDecodeArgs {
  const uint32_t* bundle_sizes;
  uint8_t* bundle_buffers;
  FrameBufferRecord* frames;
  uint8_t* map;  // null: no map
  uint32_t map_stride;
  const uint8_t* data_start;
  const uint8_t* data_end;      // the video data's end + 4
  const uint8_t* readable_end;  // nothing at or past this is loaded
  uint32_t frame_flags;
  uint32_t movie_flags;  // the header's flags
};

// Decodes the planes of one frame; returns the changed percentage.
// `decode_plane` is the plane decoder (tests substitute their own).
uint32_t FrameDecode(const FrameDecodeArgs& args, PlaneDecoder decode_plane = DecodePlane);

// Runs one frame decode part on the current packet (audio packets first, then
// video); returns 1. Decode threads, or the calling thread when there is none.
int FrameDecodePart(MovieHandle* movie, uint32_t parts);

// Player thread: the checks and map preparation before a frame's decode.
// Returns the movie, or null when no decode should start.
MovieHandle* FrameDecodeStart(MovieHandle* movie, uint32_t now);

// Player thread: after both parts finished and the maps were exchanged.
void FrameDecodeFinish(MovieHandle* movie, uint32_t now);

}  // namespace vexil
