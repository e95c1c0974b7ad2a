// The conversion core of the copy: decoded 4:2:0 planes (with an optional
// alpha plane) into a caller's pixel buffer in one of sixteen destination
// formats, with the scaling mode, grayscale and show-alpha options of the
// copy flags, either whole or only the changed 16x16 blocks. It knows nothing
// of movies: the caller describes the source and owns the conversion context.
//
// Threads: the calls below use their context alone (one thread at a time per
// context); they only read the source planes and the map.
#pragma once

#include <cstdint>

#include "display/conversion_context.h"
#include "display/pixel_formats.h"

namespace vexil {

// What one copy converts, in decoded-frame samples.
struct CopySource {
  const uint8_t* luma;      // top-left sample of each plane
  const uint8_t* chroma_a;  // Cr
  const uint8_t* chroma_b;  // Cb
  const uint8_t* alpha;     // null when the frame has no alpha plane; read at the luma pitch
  uint32_t luma_pitch;
  uint32_t chroma_a_pitch;
  uint32_t chroma_b_pitch;
  uint32_t width;   // pixels per row to convert, within the planes
  uint32_t height;  // rows to convert, within the planes
  // The map of changed 16x16 blocks, one byte per block (nonzero: changed),
  // rows `map_stride` bytes apart, `map_size` bytes in all. Null converts the
  // whole region; so does a map that does not cover the region.
  const uint8_t* map;
  uint32_t map_stride;
  uint32_t map_size;
  uint32_t flags;  // the COPY_* bits with the format code (COPY_ALL is the caller's concern)
};

// Runs the selectors in order for the copy flags: the row converter, strip
// function and post steps of the format and scaling mode, the channel
// description with its dither rows and the table path's tables. False when
// none accepts (the strip function is then cleared and CopyPlanes writes
// nothing). `has_alpha` tells whether the frame has an alpha plane.
bool SelectConverters(ConversionContext& context, uint32_t flags, bool has_alpha);

// Converts `source` into `destination` (rows of `pitch` bytes, negative for
// a bottom-up buffer; `destination_height` rows; a YV12 destination holds the
// luma plane followed by the V and U planes at half pitch) with the
// converters SelectConverters chose last in `context`, for the same flags.
// Nothing is written outside the destination's rows. The dither rows move on
// by the rows converted.
void CopyPlanes(ConversionContext& context, const CopySource& source, void* destination,
                int32_t pitch, int32_t destination_height);

}  // namespace vexil
