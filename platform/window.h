// The player window as the display layer sees it: a handle plus the few
// queries the display buffer makes (where the client area is on the screen,
// how large the frame around it is, whether the window is shown or iconic).
//
// Deliberately minimal. Window creation, messages and painting belong to the
// player and will be added beside these queries; each back end derives its
// own window from `Window` (headless: a record tests move and resize; SDL: an
// SDL_Window; Win32: an HWND).
//
// Player thread only.
#pragma once

#include <cstdint>

#include "platform/backend.h"

namespace vexil::platform {

struct Point {
  int32_t x;
  int32_t y;

  bool operator==(const Point&) const = default;
};

// Left, top inclusive; right, bottom exclusive (screen or client pixels).
struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

class Window {
 public:
  virtual ~Window() = default;

  // Which back end made the window; a display device only accepts its own.
  virtual Backend Kind() const = 0;
  // The outer rectangle, frame included, in screen pixels.
  virtual Rect OuterRect() const = 0;
  // The client area's top-left corner in screen pixels.
  virtual Point ClientOrigin() const = 0;
  // The client area's size (left and top are 0).
  virtual Rect ClientRect() const = 0;
  virtual bool IsVisible() const = 0;
  virtual bool IsIconic() const = 0;
};

using WindowHandle = Window*;

}  // namespace vexil::platform
