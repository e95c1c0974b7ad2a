// Decoding whole frames: the planes of one frame's video data into the spare
// plane set of a frame buffer record. Any thread; the caller keeps other
// decodes of the same planes away (the two parts of a frame touch disjoint
// planes and only mark the shared map).
#pragma once

#include <cstdint>

#include "video/plane_decoder.h"

namespace vexil {

struct FrameBufferRecord;

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
  uint32_t frame_flags;         // FRAME_* (video/frame_flags.h)
  uint32_t movie_flags;         // VIDEO_ALPHA_PLANE when the frames carry alpha data
};

// Decodes the planes of one frame; returns the changed percentage.
// `decode_plane` is the plane decoder (tests substitute their own).
uint32_t FrameDecode(const FrameDecodeArgs& args, PlaneDecoder decode_plane = DecodePlane);

}  // namespace vexil
