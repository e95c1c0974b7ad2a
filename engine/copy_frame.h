// Copying the current decoded frame of a movie into a caller's pixel buffer,
// in one of sixteen destination formats, and the rectangles to show after it:
// the movie's side of the copy (the region in decoded samples, the late-frame
// decision and its clock, reading ahead, the changed-block map) around the
// conversion core of display/.
//
// Threads: the movie's playing thread (the player thread), with a conversion
// context that no other thread uses meanwhile.
#pragma once

#include <cstdint>

#include "display/conversion_context.h"
#include "display/pixel_formats.h"

namespace vexil {

struct MovieHandle;

// Converts the current frame into `destination` (rows of `pitch` bytes, which
// is negative for a bottom-up buffer; `destination_height` rows; a YV12
// destination holds the luma plane followed by the V and U planes at half
// pitch) through `conversion`. `width` and `height` are in the handle's
// width/height units; the region starts at the top-left and is clamped to the
// decoded frame and to the destination height. `flags` are the COPY_* bits
// with the format code. Returns 1 when the late frame's copy was dropped
// (nothing written) or when a late frame was copied under COPY_NO_SKIP; 0
// otherwise, and 0 when the handle, the destination or the handle's planes
// are missing.
int CopyToBuffer(ConversionContext& conversion, MovieHandle* movie, void* destination,
                 int32_t pitch, int32_t destination_height, uint32_t width, uint32_t height,
                 uint32_t flags);

// After a copy: 1 when the caller should show the whole frame (the changed
// rectangle is then (0, 0, width, height), count 1); 0 with no movie, with
// SURFACE_DIRECT in `surface_flags`, or when the frame's copy was dropped and
// neither the flags nor the movie have never-skip.
int ReportRects(MovieHandle* movie, uint32_t surface_flags);

}  // namespace vexil
