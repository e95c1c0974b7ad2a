// The picture's size from /W and /H, and where the window and the picture go.
#include "player/picture_size.h"

#include <gtest/gtest.h>

#include "display/display_buffer.h"
#include "engine/movie.h"
#include "player/settings.h"
#include "player/window_placement.h"

namespace vexil {
namespace {

TEST(PictureSize, FromTheRequests) {
  constexpr Rational kNone = {0, 0};
  const struct {
    Rational w, h;
    uint32_t mw, mh, option;
    PictureSize want;
  } cases[] = {
      // Full screen keeps the aspect: as high as the screen...
      {{-1, 1}, {-1, 1}, 640, 480, 0, {1440, 1080, SCALE_STRETCH_X | SCALE_STRETCH_Y, 0}},
      // ...unless that is wider than the screen.
      {{-1, 1}, {-1, 1}, 1280, 480, 0, {1920, 720, SCALE_STRETCH_X | SCALE_STRETCH_Y, 0}},
      // The copy's doubling instead of a stretch, no scaling left.
      {{-2, 1}, kNone, 320, 240, 0, {640, 240, 0, DISPLAY_WIDTH_DOUBLED}},
      {{640, 1}, {480, 1}, 640, 240, 0, {640, 480, 0, DISPLAY_HEIGHT_DOUBLED}},
      {{-2, 1}, {-2, 1}, 320, 240, 0, {640, 480, 0, DISPLAY_BOTH_DOUBLED}},
      // A movie with a display option of its own keeps it and is stretched.
      {{-2, 1}, kNone, 320, 240, DISPLAY_NONE, {640, 240, SCALE_STRETCH_X_INT, 0}},
      // Pixels, multiples and fractions of the movie, the screen's size.
      {kNone, kNone, 320, 240, 0, {320, 240, 0, 0}},
      {{-3, 1}, {-3, 1}, 100, 80, 0, {300, 240, SCALE_STRETCH_X_INT | SCALE_STRETCH_Y_INT, 0}},
      {{-1, 2}, {-1, 2}, 320, 240, 0, {160, 120, SCALE_SHRINK_X_INT | SCALE_SHRINK_Y_INT, 0}},
      {{-3, 2}, kNone, 320, 240, 0, {480, 240, SCALE_STRETCH_X, 0}},
      {{200, 1}, {100, 1}, 320, 240, 0, {200, 100, SCALE_SHRINK_X | SCALE_SHRINK_Y, 0}},
      {{-1, 1}, kNone, 320, 240, 0, {1920, 240, SCALE_STRETCH_X_INT, 0}},
      {{2997, 100}, kNone, 320, 240, 0, {29, 240, SCALE_SHRINK_X, 0}},
      // Requests that come to no pixels mean the movie's size.
      {{1, 2}, {-1, 1000}, 320, 240, 0, {320, 240, 0, 0}},
      // Far too large: held to what a window can take.
      {{-2000000000, 1}, kNone, 4096, 16, 0, {0x3FFFFFFF, 16, SCALE_STRETCH_X, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w.num << "/" << c.w.den << " x " << c.h.num << "/"
                                      << c.h.den << " of " << c.mw << "x" << c.mh);
    const PictureSize got = SizePicture(c.w, c.h, c.mw, c.mh, c.option, 1920, 1080);
    EXPECT_EQ(got.width, c.want.width);
    EXPECT_EQ(got.height, c.want.height);
    EXPECT_EQ(got.scale_bits, c.want.scale_bits);
    EXPECT_EQ(got.display_option, c.want.display_option);
  }
}

TEST(WindowPlacement, CentredAtXYOrOverTheWholeScreen) {
  // A 640 x 480 picture in a 6 x 25 frame (left 3, top 22) on 1024 x 768.
  PlacementInput base{};
  base.window_width = 646;
  base.window_height = 505;
  base.frame_left = 3;
  base.frame_top = 22;
  base.extra_width = 6;
  base.extra_height = 25;
  base.screen_width = 1024;
  base.screen_height = 768;
  base.x = kWindowCentred;
  base.y = kWindowCentred;
  using platform::Point;
  using platform::Rect;
  const auto flags = platform::POSITION_FRAME_CHANGED | platform::POSITION_NO_Z_ORDER;
  struct Case {
    const char* what;
    PlacementInput in;
    platform::WindowPosition window;
    Point picture;
    Rect statistics;
  };
  auto with = [&](auto change) {
    PlacementInput in = base;
    change(in);
    return in;
  };
  const Case cases[] = {
      {"centred, x on a multiple of 4", base, {188, 131, 646, 505, flags}, {0, 0}, {}},
      {"at /X /Y",
       with([](PlacementInput& i) { i.x = 10, i.y = -20; }),
       {10, -20, 646, 505, flags},
       {0, 0},
       {}},
      {"larger than the screen: the client area at its edge",
       with([](PlacementInput& i) { i.window_width = 1100, i.window_height = 800; }),
       {-3, -22, 1100, 800, flags},
       {0, 0},
       {}},
      {"black background: the client area is the screen",
       with([](PlacementInput& i) { i.black_background = true; }),
       {-3, -22, 1030, 793, flags},
       {188 + 2, 131},
       {}},
      {"statistics: the window grows by the line",
       with([](PlacementInput& i) {
         i.statistics = true, i.statistics_text = {500, 16};
       }),
       {188, 131, 646, 521, flags},
       {0, 16},
       {0, 0, 640, 16}},
      {"statistics wider than the picture: wider window, picture moved right",
       with([](PlacementInput& i) {
         i.statistics = true, i.statistics_text = {700, 16};
       }),
       {188, 131, 714, 521, flags},
       {32, 16},
       {0, 0, 708, 16}},
      {"statistics over a black background",
       with([](PlacementInput& i) {
         i.black_background = true, i.statistics = true, i.statistics_text = {700, 16};
       }),
       {-3, -22, 1030, 809, flags},
       {190, 147},
       {0, 131, 1024, 147}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The check stands in for the buffer's: it moves x to an even pixel.
    const Placement p = PlaceWindow(c.in, [](int32_t* x, int32_t*) { *x += *x & 1 ? 1 : 2; });
    EXPECT_EQ(p.window.x, c.window.x);
    EXPECT_EQ(p.window.y, c.window.y);
    EXPECT_EQ(p.window.width, c.window.width);
    EXPECT_EQ(p.window.height, c.window.height);
    EXPECT_EQ(p.window.flags, c.window.flags);
    EXPECT_EQ(p.picture, c.picture);
    if (c.in.statistics) {
      EXPECT_EQ(p.statistics, c.statistics);
    }
  }
}

}  // namespace
}  // namespace vexil
