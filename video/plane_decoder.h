// Decodes one plane of a video frame (alpha, luma or one chroma plane: the
// same code for all) from its bit stream into 8-bit samples, using the same
// plane of the previous frame as reference.
//
// Threads: reentrant; the frame decode runs the luma plane and the other
// planes on two threads at once, each with its own bundle buffers.
#pragma once

#include <cstdint>

#include "video/bundle_sizes.h"

namespace vexil {

struct PlaneDecodeArgs {
  uint32_t width, height;     // padded plane size, multiples of 8
  uint8_t* destination;       // top-left sample of the plane being written
  const uint8_t* reference;   // same plane of the previous frame (== destination with one buffer)
  uint32_t pitch;             // same for destination and reference; at least width
  const uint8_t* data_start;  // the plane's bit stream (may be unaligned)
  const uint8_t*
      data_end;  // 4 bytes past the frame's video data: the "at or past data end" tests use this
  const uint8_t* readable_end;  // nothing at or past this address is ever loaded (zero words
                                // instead); may be below data_end
  // Changed-block map: one byte per 16x16 luma area. map_step 1 for luma and
  // alpha, 2 for chroma, 0 = no map (then every skip block counts as skipped).
  // The map must hold a row of map_stride bytes per 16 luma lines of the plane.
  uint8_t* map;
  uint32_t map_stride;
  uint32_t map_step;
  // One set of the nine buffers, laid out consecutively, each 16-byte
  // aligned, sizes from BundleBufferSizes (from the movie width).
  uint8_t* bundle_buffers;
  const uint32_t* bundle_sizes;
  uint32_t frame_flags;   // FRAME_OLD_REVISION selects the old colour coding
  uint32_t cpu_features;  // from CpuFeatures(); picks the SIMD kernels
};

// Decodes one plane. Returns the word address after the plane's last consumed
// word (where the next plane starts in old revisions), or data_end when the
// reader went at or past it; *skip_count receives the number of skip blocks
// whose map cell was not yet marked. Bundle buffers too small for the plane's
// width decode nothing (data_start is returned, skip count 0).
//
// Any input is safe: damaged streams, motion anywhere, chunk lengths past
// capacity and truncated data give wrong pictures, never out-of-bounds access.
// The destination and reference must be pitch x height bytes.
const uint8_t* DecodePlane(const PlaneDecodeArgs& args, uint32_t* skip_count);

}  // namespace vexil
