// Where the player window goes and where the picture sits in it: centred on
// the screen (or at /X, /Y), the whole screen black behind the picture with
// /R, and room above the picture for the statistics line with /Q.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/window.h"

namespace vexil {

struct PlacementInput {
  // The window the display buffer asks for (its picture's size plus the
  // frame), and the frame: client origin minus window origin, and outer
  // minus client size.
  int32_t window_width;
  int32_t window_height;
  int32_t frame_left;
  int32_t frame_top;
  int32_t extra_width;
  int32_t extra_height;
  int32_t screen_width;
  int32_t screen_height;
  int32_t x;  // /X and /Y; kWindowCentred to centre
  int32_t y;
  bool black_background;            // /R
  bool statistics;                  // /Q
  platform::Point statistics_text;  // the sample line's extent in the window's font
};

struct Placement {
  platform::WindowPosition window;
  platform::Point picture;    // the picture's offset in the client area
  platform::Rect statistics;  // where the statistics line goes (with /Q)
};

// `check` adjusts a picture position so that the buffer lands on aligned
// screen pixels (the display buffer's window-position check); used with /R.
Placement PlaceWindow(const PlacementInput& input,
                      const std::function<void(int32_t* x, int32_t* y)>& check);

// Centred on the screen, x rounded down to a multiple of 4; a window larger
// than the screen puts its client area at the screen's edge instead.
platform::Point CentredWindow(int32_t window_width, int32_t window_height, int32_t frame_left,
                              int32_t frame_top, int32_t screen_width, int32_t screen_height);

}  // namespace vexil
