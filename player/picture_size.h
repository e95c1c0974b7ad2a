// The picture's size on the screen from /W and /H: full screen by the
// movie's aspect, pixels, the screen's size or multiples of the movie's, and
// the copy's doubling preferred to a stretch.
#pragma once

#include <cstdint>

#include "player/switches.h"

namespace vexil {

struct PictureSize {
  int32_t width;        // W: the display buffer's size on the screen
  int32_t height;       // H
  uint32_t scale_bits;  // SCALE_* bits the buffer must be able to do
  // The display option the player gives the movie (1: height doubled, 3:
  // width doubled, 4: both), 0 to keep the movie's own.
  uint32_t display_option;
};

// `display_option` is the movie's (bits 28-30 of its open flags). The
// requests are not changed: a full-screen request is worked out again for
// every movie.
PictureSize SizePicture(Rational width_request, Rational height_request, uint32_t movie_width,
                        uint32_t movie_height, uint32_t display_option, int32_t screen_width,
                        int32_t screen_height);

}  // namespace vexil
