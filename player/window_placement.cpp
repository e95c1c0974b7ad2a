#include "player/window_placement.h"

#include <algorithm>

#include "player/settings.h"

namespace vexil {
namespace {

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

platform::Point CentredWindow(int32_t window_width, int32_t window_height, int32_t frame_left,
                              int32_t frame_top, int32_t screen_width, int32_t screen_height) {
  platform::Point p;
  p.x = window_width <= screen_width ? ((screen_width - window_width) / 2) & ~3 : -frame_left;
  p.y = window_height <= screen_height ? (screen_height - window_height) / 2 : -frame_top;
  return p;
}

Placement PlaceWindow(const PlacementInput& in,
                      const std::function<void(int32_t* x, int32_t* y)>& check) {
  const platform::Point centred = CentredWindow(in.window_width, in.window_height, in.frame_left,
                                                in.frame_top, in.screen_width, in.screen_height);
  const int32_t x = in.x == kWindowCentred ? centred.x : in.x;
  const int32_t y = in.y == kWindowCentred ? centred.y : in.y;

  Placement p{};
  p.window.flags = platform::POSITION_FRAME_CHANGED | platform::POSITION_NO_Z_ORDER;
  if (in.black_background) {
    // The client area is the whole screen; the picture sits where the
    // window would have.
    p.picture = {x, y};
    if (check) check(&p.picture.x, &p.picture.y);
    p.window.x = -in.frame_left;
    p.window.y = -in.frame_top;
    p.window.width = Saturate(int64_t{in.screen_width} + in.extra_width);
    p.window.height = Saturate(int64_t{in.screen_height} + in.extra_height);
  } else {
    p.picture = {0, 0};
    p.window.x = x;
    p.window.y = y;
    p.window.width = in.window_width;
    p.window.height = in.window_height;
  }
  if (in.statistics) {
    const int32_t line_width = Saturate(int64_t{in.statistics_text.x} + 8);
    const int32_t line_height = in.statistics_text.y;
    const int32_t client_width = p.window.width - in.extra_width;
    if (line_width > client_width) {
      const int32_t wider = line_width - client_width;
      p.window.width = Saturate(int64_t{p.window.width} + wider);
      p.picture.x = Saturate(int64_t{p.picture.x} + ((wider / 2) & ~3));
    }
    p.statistics = {0, p.picture.y, p.window.width - in.extra_width,
                    Saturate(int64_t{p.picture.y} + line_height)};
    p.picture.y = Saturate(int64_t{p.picture.y} + line_height);
    p.window.height = Saturate(int64_t{p.window.height} + line_height);
  }
  return p;
}

}  // namespace vexil
