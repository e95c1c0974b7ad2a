// The desktop as the display back end reports it: the player sizes full-screen
// pictures and centres its window with it.
#pragma once

#include <cstdint>

namespace vexil::platform {

struct DesktopMode {
  int32_t width;
  int32_t height;
  int32_t bits_per_pixel;
};

// The desktop's current size and depth.
DesktopMode Desktop();

// What the headless display reports (1920 x 1080 at 32 bits unless a test
// sets another mode; a full-screen mode switch of the headless display
// changes it too). Player thread only.
DesktopMode HeadlessDesktop();
void SetHeadlessDesktop(const DesktopMode& mode);

}  // namespace vexil::platform
