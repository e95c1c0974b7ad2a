// The display buffer on the headless display device: style choice and
// qualification with every message, the DIB section's layout, scaling,
// window placement, overlays at the screen's edges, black fills, lost
// surfaces, the software cursor, blits, display-mode changes and the shared
// reference counts (every test ends with nothing left alive on the device).
#include "display/display_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "display/display_state.h"
#include "engine/error_messages.h"
#include "platform/desktop.h"
#include "platform/headless/display_headless.h"
#include "platform/headless/window_headless.h"
#include "test_movie.h"
#include "test_util.h"

namespace vexil {
namespace {

using platform::HeadlessDisplayConfig;
using platform::HeadlessWindow;

constexpr platform::DesktopMode kDesktop = {1920, 1080, 32};

class DisplayBufferTest : public ::testing::Test {
 protected:
  void SetUp() override { Configure({}); }

  void Configure(const HeadlessDisplayConfig& config, platform::DesktopMode desktop = kDesktop) {
    platform::SetBackendForTest(platform::Backend::kHeadless);
    ResetDisplayStateForTest();
    platform::ConfigureHeadlessDisplay(config);
    platform::SetHeadlessDesktop(desktop);
    error_.Clear();
  }

  void TearDown() override {
    for (DisplayBuffer* b : open_) BufferClose(b);
    open_.clear();
    // Every reference taken was given back: nothing alive, the mode restored.
    EXPECT_EQ(platform::HeadlessDisplayLive(), platform::HeadlessDisplayObjects{});
    ResetDisplayStateForTest();
    platform::ConfigureHeadlessDisplay({});
    platform::SetHeadlessDesktop(kDesktop);
  }

  DisplayBuffer* Open(uint32_t flags, uint32_t width = 320, uint32_t height = 240) {
    DisplayBuffer* b = BufferOpen(&window_, width, height, flags, &error_);
    if (b) open_.push_back(b);
    return b;
  }
  void Close(DisplayBuffer* b) {
    std::erase(open_, b);
    BufferClose(b);
  }

  static bool Logged(const std::string& line) {
    const auto& log = platform::HeadlessDisplayLog();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  static std::vector<std::string> LoggedStarting(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : platform::HeadlessDisplayLog())
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
  }

  // Client area 320 x 240 at (104, 104) on the screen, inside a frame.
  HeadlessWindow window_{100, 80, 320, 240, 4, 24, 4, 4};
  std::vector<DisplayBuffer*> open_;
  // What the last Open left.
  ErrorText error_;
};

TEST_F(DisplayBufferTest, Style0OpensADibSectionNeverADirectDrawSurface) {
  DisplayBuffer* b = Open(0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->style, BLIT_DIB_SECTION);
  EXPECT_STREQ(BufferStyleName(b), "DIB Section");
  EXPECT_EQ(b->surface, nullptr);
  EXPECT_EQ(b->is_overlay | b->is_offscreen | b->direct_primary, 0);
  EXPECT_NE(b->dib_bits, nullptr);
  EXPECT_EQ(b->surface_type & ~SURFACE_CHANGED, PIXFMT_32);
  EXPECT_EQ(b->scale_flags, SCALE_MASK);
  EXPECT_TRUE(LoggedStarting("CreateSurface o").empty());  // no overlay, no off-screen surface
  // The window measures: frame 4 + 4 wide, 24 + 4 high; client origin at (104, 104).
  EXPECT_EQ(b->client_offset_x, 4);
  EXPECT_EQ(b->client_offset_y, 24);
  EXPECT_EQ(b->extra_window_width, 8);
  EXPECT_EQ(b->extra_window_height, 28);
  EXPECT_EQ(b->window_width, 328);
  EXPECT_EQ(b->window_height, 268);
  EXPECT_EQ(b->dest_x, 104);
  EXPECT_EQ(b->dest_y, 104);
  EXPECT_EQ(b->screen_width, 1920);
  EXPECT_EQ(b->screen_depth, 32);
  EXPECT_NE(b->surface_type & SURFACE_CHANGED, 0u);
}

TEST_F(DisplayBufferTest, DibSectionLayoutFollowsTheDesktop) {
  struct Case {
    int32_t depth;
    platform::CompatibleBitmap probe;
    uint32_t width;
    uint32_t format;
    int32_t header_width, pitch, bits;
  };
  const Case cases[] = {
      {32, platform::CompatibleBitmap::kBitFields565, 10, PIXFMT_32, 16, 64, 32},
      {24, platform::CompatibleBitmap::kBitFields565, 10, PIXFMT_24, 10, 32, 24},
      {16, platform::CompatibleBitmap::kBitFields565, 10, PIXFMT_565, 16, 32, 16},
      {16, platform::CompatibleBitmap::kBitFields555, 10, PIXFMT_555, 16, 32, 16},
      {16, platform::CompatibleBitmap::kPlainRgb, 10, PIXFMT_555, 16, 32, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.depth << " bits");
    HeadlessDisplayConfig config;
    config.compatible_bitmap = c.probe;
    Configure(config, {1920, 1080, c.depth});
    DisplayBuffer* b = Open(BLIT_DIB_SECTION | SCALE_STRETCH_X_INT, c.width, 6);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->surface_type & ~SURFACE_CHANGED, c.format | SURFACE_SCALED);
    EXPECT_EQ(b->dib_header->width, c.header_width);
    EXPECT_EQ(b->dib_header->height, -6);
    EXPECT_EQ(b->dib_header->bit_count, c.bits);
    EXPECT_EQ(b->dib_header->compression,
              c.depth == 24 ? platform::BITMAP_RGB : platform::BITMAP_BIT_FIELDS);
    EXPECT_EQ(b->dib_pitch, c.pitch);
    ASSERT_EQ(BufferLock(b), 1);
    EXPECT_EQ(b->buffer, b->dib_bits);
    EXPECT_EQ(b->buffer_pitch, c.pitch);
    EXPECT_EQ(BufferUnlock(b), 1);
    EXPECT_EQ(b->buffer, nullptr);
    Close(b);
  }
}

TEST_F(DisplayBufferTest, PrimaryIsRefusedAsSoonAsScalingIsRequired) {
  EXPECT_EQ(Open(BLIT_PRIMARY | SCALE_STRETCH_X_INT), nullptr);
  EXPECT_STREQ(error_.c_str(), kErrNoStyle);
  EXPECT_EQ(Open(BLIT_PRIMARY | SCALE_SHRINK_Y), nullptr);

  DisplayBuffer* b = Open(BLIT_PRIMARY);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(BufferStyleName(b), "DirectDraw primary surface");
  EXPECT_EQ(b->surface_type & ~SURFACE_CHANGED, PIXFMT_32 | SURFACE_DIRECT);
  EXPECT_EQ(b->direct_primary, 1);
  EXPECT_EQ(b->scale_flags, 0u);
  // Nor can it scale later.
  EXPECT_EQ(BufferSetScale(b, 640, 480), 0);
  EXPECT_EQ(b->stretch_width, 320);
  EXPECT_EQ(BufferSetScale(b, 320, 240), 1);
  // Written in place at the client origin; nothing to blit.
  ASSERT_EQ(BufferLock(b), 1);
  EXPECT_EQ(b->buffer, b->locked_surface + 104 * 4 + 104 * b->buffer_pitch);
  b->buffer[0] = 0x7F;
  EXPECT_EQ(BufferUnlock(b), 1);
  EXPECT_EQ(platform::HeadlessScreenPixel(104, 104), 0x7Fu);
  platform::ClearHeadlessDisplayLog();
  BufferBlit(b, nullptr, 1);
  EXPECT_TRUE(platform::HeadlessDisplayLog().empty());
}

TEST_F(DisplayBufferTest, SetScaleKindsAgainstA320WideBuffer) {
  struct Case {
    uint32_t blit_fx;
    int32_t width;
    int result;
    int32_t stretch_width;
  };
  const Case cases[] = {
      {platform::FX_STRETCH_X_INT, 640, 1, 640},  {platform::FX_STRETCH_X_INT, 480, 0, 320},
      {platform::FX_STRETCH_X_INT, 160, 0, 320},  {platform::FX_STRETCH_X, 480, 1, 480},
      {platform::FX_STRETCH_X, 640, 1, 640},      {platform::FX_SHRINK_X_INT, 160, 1, 160},
      {platform::FX_SHRINK_X_INT, 200, 0, 320},   {platform::FX_SHRINK_X_INT, 640, 0, 320},
      {0, 320, 1, 320},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " with caps " << c.blit_fx);
    HeadlessDisplayConfig config;
    config.blit_fx = c.blit_fx;
    Configure(config);
    DisplayBuffer* b = Open(BLIT_OFFSCREEN_RGB_VIDEO);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(BufferSetScale(b, c.width, 240), c.result);
    EXPECT_EQ(b->stretch_width, c.stretch_width);
    EXPECT_EQ(b->window_width, c.stretch_width + 8);
    Close(b);
  }
  // 0 is the screen's size; an accepted width stays even when the height is refused.
  DisplayBuffer* b = Open(BLIT_DIB_SECTION);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(BufferSetScale(b, 0, 0), 1);
  EXPECT_EQ(b->stretch_width, 1920);
  EXPECT_EQ(b->stretch_height, 1080);
  EXPECT_EQ(b->window_height, 1080 + 28);
  EXPECT_EQ(BufferSetScale(b, 640, -5), 0);
  EXPECT_EQ(b->stretch_width, 640);
  EXPECT_EQ(b->stretch_height, 1080);
}

TEST_F(DisplayBufferTest, WindowXIsRoundedForTheDesktopDepth) {
  struct Case {
    int32_t depth;
    int32_t x, expected_x;
  };
  // The client area starts 4 pixels right of the window: x 10 puts it at 14.
  const Case cases[] = {{32, 10, 10}, {32, 11, 12}, {24, 10, 12}, {24, 13, 20},
                        {16, 10, 12}, {16, 12, 12}, {16, -7, -4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.depth << " bits, x " << c.x);
    Configure({}, {1920, 1080, c.depth});
    DisplayBuffer* b = Open(BLIT_DIB_SECTION);
    ASSERT_NE(b, nullptr);
    int32_t x = c.x, y = -33;
    BufferCheckWindowPosition(b, &x, &y);
    EXPECT_EQ(x, c.expected_x);
    EXPECT_EQ(y, -33);  // only the primary clamps y
    Close(b);
  }
  // The primary keeps the whole buffer on the screen.
  DisplayBuffer* b = Open(BLIT_PRIMARY);
  ASSERT_NE(b, nullptr);
  int32_t x = 1700, y = 900;
  BufferCheckWindowPosition(b, &x, &y);
  EXPECT_EQ(x, 1600 - 4);
  EXPECT_EQ(y, 840 - 24);
  x = -50, y = -50;
  BufferCheckWindowPosition(b, &x, &y);
  EXPECT_EQ(x, -4);
  EXPECT_EQ(y, -24);
}

TEST_F(DisplayBufferTest, PrimaryIsNotWrittenWhileTheBufferIsOffTheScreen) {
  DisplayBuffer* b = Open(BLIT_PRIMARY);
  ASSERT_NE(b, nullptr);
  for (const platform::Point at : {platform::Point{-50, 100}, platform::Point{1700, 100},
                                   platform::Point{100, 900}}) {
    window_.MoveTo(at.x, at.y);
    BufferSetOffset(b, 0, 0);
    BufferUnlock(b);  // clears SURFACE_CHANGED
    EXPECT_EQ(BufferLock(b), 0);
    EXPECT_EQ(b->buffer, nullptr);
    EXPECT_NE(b->surface_type & SURFACE_CHANGED, 0u);
  }
  window_.MoveTo(0, 0);
  BufferSetOffset(b, 0, 0);
  EXPECT_EQ(BufferLock(b), 1);
  EXPECT_EQ(BufferUnlock(b), 1);
}

// An overlay whose luma names its column shows through where the key is.
TEST_F(DisplayBufferTest, OverlayOffTheLeftEdgeShowsItsRightPart) {
  platform::HeadlessDisplaySettings().keep_frames = true;
  window_.MoveTo(-104, 100);  // client origin (-100, 124)
  DisplayBuffer* b = Open(BLIT_OVERLAY_YUY2);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->dest_x, -100);
  ASSERT_EQ(BufferLock(b), 1);
  for (uint32_t y = 0; y < 240; ++y)
    for (uint32_t x = 0; x < 320; ++x) {
      uint8_t* unit = b->buffer + y * b->buffer_pitch + x * 2;
      unit[0] = uint8_t(16 + x * 200 / 320);
      unit[1] = 128;
    }
  BufferUnlock(b);
  const uint32_t key = 0x10001;
  EXPECT_TRUE(Logged("UpdateOverlay show 100,0,320,240 -> 0,124,220,364 key 0x10001"));
  BufferBlit(b, nullptr, 1);
  EXPECT_TRUE(Logged("ColorFill -100,124,220,364 0x10001"));
  EXPECT_EQ(platform::HeadlessScreenPixel(0, 124), key);
  const platform::KeptFrame& frame = platform::HeadlessFrames().back();
  ASSERT_EQ(frame.width, 320);
  EXPECT_EQ(frame.At(50, 10), 0u);  // off the screen
  // Client x 100 is screen x 0, showing overlay column 100, and so on.
  const auto grey = [](uint32_t column) {
    const uint32_t luma = 16 + column * 200 / 320;
    const uint32_t v = std::min<uint32_t>(255, ((luma - 16) * 76309 + 32768) >> 16);
    return v << 16 | v << 8 | v;
  };
  EXPECT_EQ(frame.At(100, 10), grey(100));
  EXPECT_EQ(frame.At(319, 10), grey(319));

  // Fully off the screen: hidden.
  window_.MoveTo(-500, 100);
  BufferSetOffset(b, 0, 0);
  EXPECT_EQ(platform::HeadlessDisplayLog().back(), "UpdateOverlay hide");
  // Back on the screen it shows again (it was shown before).
  window_.MoveTo(0, 0);
  BufferSetOffset(b, 0, 0);
  EXPECT_EQ(platform::HeadlessDisplayLog().back(),
            "UpdateOverlay show 0,0,320,240 -> 4,24,324,264 key 0x10001");
  // An invisible window hides it.
  window_.SetVisible(false);
  BufferUnlock(b);
  EXPECT_EQ(platform::HeadlessDisplayLog().back(), "UpdateOverlay hide");
}

TEST_F(DisplayBufferTest, NewOverlayIsHiddenUntilTheFirstUnlock) {
  DisplayBuffer* b = Open(BLIT_OVERLAY_YV12);
  ASSERT_NE(b, nullptr);
  EXPECT_STREQ(BufferStyleName(b), "DirectDraw YV12 overlay");
  EXPECT_EQ(b->surface_type & ~SURFACE_CHANGED, PIXFMT_YV12 | SURFACE_DIRECT);
  EXPECT_EQ(b->overlay_shown, 0);
  EXPECT_EQ(LoggedStarting("UpdateOverlay").back(), "UpdateOverlay hide");
  ASSERT_EQ(BufferLock(b), 1);
  EXPECT_EQ(BufferUnlock(b), 1);
  EXPECT_EQ(b->overlay_shown, 1);
  EXPECT_EQ(b->surface_type & SURFACE_CHANGED, 0u);
}

TEST_F(DisplayBufferTest, ClearFillsBlackByFormat) {
  struct Case {
    uint32_t style;
    uint32_t format;
    std::vector<uint8_t> first_bytes;
  };
  const Case cases[] = {
      {BLIT_OVERLAY_YUY2, PIXFMT_YUY2, {0x00, 0x80, 0x00, 0x80}},
      {BLIT_OFFSCREEN_UYVY, PIXFMT_UYVY, {0x80, 0x00, 0x80, 0x00}},
      {BLIT_OVERLAY_YV12, PIXFMT_YV12, {16, 16, 16, 16}},
      {BLIT_OFFSCREEN_RGB_SYSTEM, PIXFMT_32, {0, 0, 0, 0}},
      {BLIT_DIB_SECTION, PIXFMT_32, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    DisplayBuffer* b = Open(c.style, 32, 8);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->surface_type & PIXFMT_MASK, c.format);
    // A new surface starts black.
    ASSERT_EQ(BufferLock(b), 1);
    EXPECT_EQ(std::vector<uint8_t>(b->buffer, b->buffer + 4), c.first_bytes);
    const size_t luma = size_t(b->buffer_pitch) * 8;
    const size_t bytes = c.format == PIXFMT_YV12 ? luma + luma / 2 : luma;
    std::fill(b->buffer, b->buffer + bytes, 0x5A);
    ASSERT_EQ(BufferUnlock(b), 1);
    ASSERT_EQ(BufferClear(b), 1);
    ASSERT_EQ(BufferLock(b), 1);
    const int32_t row_bytes = 32 * int32_t(PixelFormatBytes(c.format));
    for (uint32_t y = 0; y < 8; ++y) {
      const uint8_t* row = b->buffer + y * b->buffer_pitch;
      EXPECT_EQ(std::vector<uint8_t>(row, row + 4), c.first_bytes);
      EXPECT_EQ(row[row_bytes - 1], c.first_bytes[(row_bytes - 1) % 4]);
    }
    if (c.format == PIXFMT_YV12) {
      const uint8_t* chroma = b->buffer + luma;
      // 4 + 4 chroma rows of 16 bytes: the whole half pitch.
      for (size_t i = 0; i < luma / 2; ++i) ASSERT_EQ(chroma[i], 128) << i;
    }
    BufferUnlock(b);
    Close(b);
  }
}

TEST_F(DisplayBufferTest, EveryFailureHasItsMessage) {
  struct Case {
    const char* what;
    void (*configure)(HeadlessDisplayConfig&);
    int32_t depth;
    uint32_t flags;
    const char* message;
  };
  const Case cases[] = {
      {"no library", [](HeadlessDisplayConfig& c) { c.directdraw_library = false; }, 32,
       BLIT_PRIMARY, kErrNoDirectDraw},
      {"no object", [](HeadlessDisplayConfig& c) { c.directdraw_object = false; }, 32,
       BLIT_OVERLAY_YUY2, kErrNoDirectDraw},
      {"no cooperation", [](HeadlessDisplayConfig& c) { c.cooperative_level = false; }, 32,
       BLIT_OFFSCREEN_YV12, kErrNoDirectDraw},
      {"no primary", [](HeadlessDisplayConfig& c) { c.primary_surface = false; }, 32,
       BLIT_OFFSCREEN_RGB_VIDEO, kErrNoDirectDraw},
      {"8-bit DIB", [](HeadlessDisplayConfig&) {}, 8, BLIT_DIB_SECTION, kErr256Colours},
      {"8-bit primary", [](HeadlessDisplayConfig&) {}, 8, BLIT_PRIMARY, kErr256Colours},
      {"8-bit off-screen", [](HeadlessDisplayConfig&) {}, 8, BLIT_OFFSCREEN_RGB_SYSTEM,
       kErr256Colours},
      {"8-bit, no overlay", [](HeadlessDisplayConfig& c) { c.overlays = false; }, 8,
       BLIT_OVERLAY_UYVY, kErr256Colours},
      {"no DIB", [](HeadlessDisplayConfig& c) { c.dib_section = false; }, 32, BLIT_AUTOMATIC,
       kErrNoDibSection},
      {"no memory context", [](HeadlessDisplayConfig& c) { c.memory_context = false; }, 16,
       BLIT_DIB_SECTION, kErrNoDibSection},
      {"odd primary",
       [](HeadlessDisplayConfig& c) { c.red_mask = 0x1F, c.green_mask = 0x7E0, c.blue_mask = 0xF800; },
       16, BLIT_PRIMARY, kErrVideoMode},
      {"odd off-screen",
       [](HeadlessDisplayConfig& c) { c.red_mask = 0x1F, c.green_mask = 0x7E0, c.blue_mask = 0xF800; },
       16, BLIT_OFFSCREEN_RGB_VIDEO, kErrVideoMode},
      {"no overlays", [](HeadlessDisplayConfig& c) { c.overlays = false; }, 32, BLIT_OVERLAY_YV12,
       kErrNoStyle},
      {"no YUV off-screen", [](HeadlessDisplayConfig& c) { c.yuv_offscreen = false; }, 16,
       BLIT_OFFSCREEN_UYVY, kErrNoStyle},
      {"no RGB video", [](HeadlessDisplayConfig& c) { c.rgb_video_offscreen = false; }, 24,
       BLIT_OFFSCREEN_RGB_VIDEO, kErrNoStyle},
      {"overlay cannot stretch",
       [](HeadlessDisplayConfig& c) { c.overlay_fx = platform::FX_STRETCH_X_INT; }, 32,
       BLIT_OVERLAY_YUY2 | SCALE_STRETCH_X, kErrNoStyle},
      {"blit cannot shrink", [](HeadlessDisplayConfig& c) { c.blit_fx = platform::FX_STRETCH_X; },
       32, BLIT_OFFSCREEN_YUY2 | SCALE_SHRINK_Y_INT, kErrNoStyle},
      {"primary cannot lock", [](HeadlessDisplayConfig& c) { c.primary_lockable = false; }, 32,
       BLIT_PRIMARY, kErrNoStyle},
      {"no such style", [](HeadlessDisplayConfig&) {}, 32, 11, kErrNoStyle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HeadlessDisplayConfig config;
    c.configure(config);
    Configure(config, {1920, 1080, c.depth});
    EXPECT_EQ(Open(c.flags), nullptr);
    EXPECT_STREQ(error_.c_str(), c.message);
    // The failed open gave back whatever it took.
    EXPECT_EQ(platform::HeadlessDisplayLive(), platform::HeadlessDisplayObjects{});
    EXPECT_EQ(TheDisplayState().directdraw_refs, 0);
  }
  Configure({});
  EXPECT_EQ(Open(BLIT_DIB_SECTION, 0, 240), nullptr);
  EXPECT_EQ(Open(BLIT_PRIMARY, 320, 0), nullptr);
  EXPECT_STREQ(error_.c_str(), "");  // a zero size fails silently
  EXPECT_EQ(Open(BLIT_DIB_SECTION, 0x40000000, 2), nullptr);
  EXPECT_STREQ(error_.c_str(), kErrOutOfMemory);
  EXPECT_EQ(Open(BLIT_DIB_SECTION, 1 << 20, 1 << 12), nullptr);  // 16 GiB
  EXPECT_STREQ(error_.c_str(), kErrNoDibSection);
}

TEST_F(DisplayBufferTest, DirectDrawLoadFailureIsNotRetried) {
  HeadlessDisplayConfig config;
  config.directdraw_library = false;
  Configure(config);
  EXPECT_EQ(Open(BLIT_OFFSCREEN_YUY2), nullptr);
  platform::HeadlessDisplaySettings().directdraw_library = true;
  EXPECT_EQ(Open(BLIT_OFFSCREEN_YUY2), nullptr);
  EXPECT_EQ(LoggedStarting("LoadDirectDraw").size(), 1u);
  // A DIB section still opens, on the desktop as GDI measures it.
  DisplayBuffer* b = Open(BLIT_DIB_SECTION);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->surface_type & ~SURFACE_CHANGED, PIXFMT_32);
  EXPECT_EQ(b->screen_width, 1920);
  EXPECT_EQ(b->opened_directdraw, 0);
}

TEST_F(DisplayBufferTest, DirectDrawAndTheModeChangeAreReferenceCounted) {
  BufferSetDisplayMode(640, 480, 2);  // 32, 24, then 16
  DisplayBuffer* dib = Open(BLIT_DIB_SECTION | BUFFER_FULL_SCREEN);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->changed_mode, 1);
  EXPECT_EQ(dib->opened_directdraw, 0);
  EXPECT_EQ(platform::Desktop().width, 640);
  EXPECT_EQ(dib->screen_width, 640);
  EXPECT_EQ(dib->screen_height, 480);
  EXPECT_EQ(LoggedStarting("ChangeDisplaySettings"),
            std::vector<std::string>{"ChangeDisplaySettings 640x480x32"});

  // DirectDraw opens once and is shared; the request was used up.
  DisplayBuffer* off = Open(BLIT_OFFSCREEN_RGB_VIDEO | BUFFER_FULL_SCREEN);
  DisplayBuffer* over = Open(BLIT_OVERLAY_UYVY);
  ASSERT_NE(off, nullptr);
  ASSERT_NE(over, nullptr);
  EXPECT_TRUE(Logged("SetCooperativeLevel 8"));
  EXPECT_EQ(platform::HeadlessDisplayLive().directdraw, 1);
  EXPECT_EQ(TheDisplayState().directdraw_refs, 2);
  Close(off);
  EXPECT_EQ(platform::HeadlessDisplayLive().directdraw, 1);
  Close(over);
  EXPECT_EQ(platform::HeadlessDisplayLive().directdraw, 0);
  EXPECT_TRUE(platform::HeadlessDisplayLive().mode_switched);
  Close(dib);
  EXPECT_FALSE(platform::HeadlessDisplayLive().mode_switched);
  EXPECT_EQ(platform::Desktop().width, 1920);
  EXPECT_EQ(TheDisplayState().mode_refs, 0);
}

TEST_F(DisplayBufferTest, DisplayModeCandidatesAreWalked) {
  // Exclusive DirectDraw: 16 is refused, 32 is taken and measured.
  HeadlessDisplayConfig config;
  config.mode_depths = {24, 32};
  Configure(config);
  BufferSetDisplayMode(800, 600, 1);
  DisplayBuffer* b = Open(BLIT_OFFSCREEN_YUY2 | BUFFER_FULL_SCREEN);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(LoggedStarting("Set"),
            (std::vector<std::string>{"SetCooperativeLevel 17", "SetDisplayMode 800x600x16 failed",
                                      "SetDisplayMode 800x600x32"}));
  EXPECT_EQ(b->screen_width, 800);
  EXPECT_EQ(b->screen_depth, 32);
  Close(b);
  EXPECT_EQ(platform::Desktop().width, 1920);

  // GDI: every depth switches but the screen stays at 16 bits, so each is
  // undone and the size is set alone.
  config.mode_depths = {16, 24, 32};
  config.depth_after_switch = 16;
  Configure(config, {1920, 1080, 16});
  BufferSetDisplayMode(640, 480, 3);
  b = Open(BLIT_DIB_SECTION | BUFFER_FULL_SCREEN);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(LoggedStarting("ChangeDisplaySettings"),
            (std::vector<std::string>{
                "ChangeDisplaySettings 640x480x32", "ChangeDisplaySettings restore",
                "ChangeDisplaySettings 640x480x24", "ChangeDisplaySettings restore",
                "ChangeDisplaySettings 640x480x0"}));
  EXPECT_EQ(b->surface_type & PIXFMT_MASK, PIXFMT_565);
  EXPECT_EQ(b->screen_width, 640);
  Close(b);

  // Without the full-screen bit nothing switches.
  Configure({});
  BufferSetDisplayMode(640, 480, 16);
  b = Open(BLIT_DIB_SECTION);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(LoggedStarting("ChangeDisplaySettings").empty());
  EXPECT_TRUE(LoggedStarting("SetDisplayMode").empty());
}

TEST_F(DisplayBufferTest, LostSurfacesAreRestoredAndIconicWindowsDoNotLock) {
  DisplayBuffer* b = Open(BLIT_OFFSCREEN_YUY2);
  ASSERT_NE(b, nullptr);
  BufferUnlock(b);
  platform::HeadlessDisplaySettings().lost_locks = 1;
  ASSERT_EQ(BufferLock(b), 1);
  EXPECT_NE(b->surface_type & SURFACE_CHANGED, 0u);  // the next copy is whole
  BufferUnlock(b);
  EXPECT_EQ(b->surface_type & SURFACE_CHANGED, 0u);

  platform::HeadlessDisplaySettings().lost_locks = 1;
  platform::HeadlessDisplaySettings().restore = false;
  EXPECT_EQ(BufferLock(b), 0);
  EXPECT_EQ(b->buffer, nullptr);
  platform::HeadlessDisplaySettings().restore = true;

  window_.SetIconic(true);
  BufferSetOffset(b, 0, 0);
  EXPECT_EQ(b->minimized, 1);
  EXPECT_EQ(BufferLock(b), 0);
  DisplayBuffer* dib = Open(BLIT_DIB_SECTION);
  ASSERT_NE(dib, nullptr);
  BufferSetOffset(dib, 0, 0);
  EXPECT_EQ(BufferLock(dib), 1);  // a DIB section is memory of our own
  window_.SetIconic(false);
  BufferSetOffset(b, 0, 0);
  EXPECT_EQ(BufferLock(b), 1);
}

TEST_F(DisplayBufferTest, SoftwareCursorIsFoundAndHiddenWhileLocked) {
  for (const bool software : {false, true}) {
    SCOPED_TRACE(software);
    HeadlessDisplayConfig config;
    config.software_cursor = software;
    config.cursor = {200, 150};  // over the client area
    Configure(config);
    DisplayBuffer* b = Open(BLIT_PRIMARY);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->software_cursor, software ? 1 : 0);
    EXPECT_EQ(platform::HeadlessDisplayLive().cursor_count, 0);  // as it was
    EXPECT_EQ(platform::HeadlessScreenPixel(200, 150), 0u);      // the probe's byte undone
    ASSERT_EQ(BufferLock(b), 1);
    EXPECT_EQ(platform::HeadlessDisplayLive().cursor_count, software ? -1 : 0);
    EXPECT_EQ(b->cursor_hide_count, software ? 1 : 0);
    // Written under the cursor while it is hidden, the pixel stays.
    b->buffer[(150 - 104) * b->buffer_pitch + (200 - 104) * 4] = 0x42;
    BufferUnlock(b);
    EXPECT_EQ(platform::HeadlessDisplayLive().cursor_count, 0);
    EXPECT_EQ(platform::HeadlessScreenPixel(200, 150), 0x42u);
    Close(b);
  }
}

TEST_F(DisplayBufferTest, BlitsScaleTheirRectangles) {
  DisplayBuffer* off = Open(BLIT_OFFSCREEN_RGB_VIDEO | SCALE_STRETCH_X_INT | SCALE_STRETCH_Y_INT);
  ASSERT_NE(off, nullptr);
  EXPECT_EQ(off->surface_type & ~SURFACE_CHANGED, PIXFMT_32 | SURFACE_SCALED);
  window_.SetClientSize(640, 480);
  ASSERT_EQ(BufferSetScale(off, 640, 480), 1);
  BufferSetOffset(off, 0, 0);
  platform::ClearHeadlessDisplayLog();
  const int32_t rects[8] = {10, 20, 30, 40, 0, 0, 320, 240};
  BufferBlit(off, rects, 2);
  EXPECT_EQ(platform::HeadlessDisplayLog(),
            (std::vector<std::string>{"Blt 124,144,184,224 <- 10,20,40,60",
                                      "Blt 104,104,744,584 <- 0,0,320,240"}));
  BufferBlit(off, rects, 0);
  BufferBlit(off, rects, -1);
  EXPECT_EQ(platform::HeadlessDisplayLog().size(), 2u);

  DisplayBuffer* dib = Open(BLIT_DIB_SECTION);
  ASSERT_NE(dib, nullptr);
  BufferSetScale(dib, 480, 120);
  BufferSetOffset(dib, 16, 8);
  platform::ClearHeadlessDisplayLog();
  BufferBlit(dib, nullptr, 1);
  BufferBlit(dib, rects, 1);
  EXPECT_EQ(platform::HeadlessDisplayLog(),
            (std::vector<std::string>{"StretchBlt 16,8,496,128 <- 0,0,320,240",
                                      "StretchBlt 31,18,76,38 <- 10,20,40,60"}));
}

// A frame copied by CopyToBuffer into each style and blitted reaches the
// window as the same picture the copy makes in memory (YUV styles within the
// rounding of another conversion).
TEST_F(DisplayBufferTest, CopiedFrameReachesTheWindow) {
  platform::HeadlessDisplaySettings().keep_frames = true;
  test::TestMovie movie({.width = 64, .height = 48});
  for (uint32_t y = 0; y < 48; ++y)
    for (uint32_t x = 0; x < 64; ++x) movie.Luma(x, y) = uint8_t(20 + 3 * x + y);
  for (uint32_t y = 0; y < 24; ++y)
    for (uint32_t x = 0; x < 32; ++x) movie.ChromaB(x, y) = uint8_t(90 + x), movie.ChromaA(x, y) = uint8_t(160 - y);
  std::vector<uint8_t> reference(64 * 48 * 4);
  ConversionContext conversion;
  CopyToBuffer(conversion, movie.get(), reference.data(), 64 * 4, 48, 64, 48,
               PIXFMT_32 | COPY_ALL | COPY_NO_SKIP);

  window_.SetClientSize(64, 48);
  for (const uint32_t style : {BLIT_PRIMARY, BLIT_DIB_SECTION, BLIT_OVERLAY_YV12, BLIT_OVERLAY_YUY2,
                               BLIT_OVERLAY_UYVY, BLIT_OFFSCREEN_YV12, BLIT_OFFSCREEN_YUY2,
                               BLIT_OFFSCREEN_UYVY, BLIT_OFFSCREEN_RGB_VIDEO,
                               BLIT_OFFSCREEN_RGB_SYSTEM}) {
    SCOPED_TRACE(style);
    DisplayBuffer* b = Open(style, 64, 48);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(BufferLock(b), 1);
    CopyToBuffer(conversion, movie.get(), b->buffer, b->buffer_pitch, 48, 64, 48,
                 b->surface_type | COPY_NO_SKIP);
    BufferUnlock(b);
    if (ReportRects(movie.get(), b->surface_type))
      BufferBlit(b, movie->video.changed_rect, movie->video.changed_rect_count);
    else if (b->is_overlay)
      BufferBlit(b, nullptr, 1);  // as painting does: the key colour
    const platform::KeptFrame& frame = platform::HeadlessFrames().back();
    ASSERT_EQ(frame.width, 64);
    const bool yuv = (b->surface_type & PIXFMT_MASK) >= PIXFMT_YUY2;
    int worst = 0;
    for (uint32_t y = 0; y < 48; ++y)
      for (uint32_t x = 0; x < 64; ++x) {
        const uint32_t got = frame.At(int32_t(x), int32_t(y));
        const uint8_t* want = &reference[(y * 64 + x) * 4];
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::abs(int(got >> (8 * c) & 0xFF) - int(want[c])));
      }
    // 4:2:2 and 4:2:0 surfaces resample the chroma the copy interpolates.
    EXPECT_LE(worst, yuv ? 6 : 0);
    Close(b);
  }
}

// A movie without a picture (width or height 0; the player plays its sound
// alone) gets no buffer in any style: nothing is created on the device, no
// mode is changed and no message is left.
TEST_F(DisplayBufferTest, EmptyPictureGetsNoBufferInAnyStyle) {
  for (const auto& [width, height] : {std::pair{0u, 48u}, {64u, 0u}, {0u, 0u}}) {
    for (int32_t style = BLIT_AUTOMATIC; style <= BLIT_OFFSCREEN_RGB_SYSTEM; ++style) {
      for (const uint32_t extra : {0u, BUFFER_FULL_SCREEN, SCALE_STRETCH_X_INT}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + ", style " +
                     std::to_string(style) + ", flags " + std::to_string(extra));
        EXPECT_EQ(Open(uint32_t(style) | extra, width, height), nullptr);
        EXPECT_STREQ(error_.c_str(), "");
        EXPECT_EQ(platform::HeadlessDisplayLive(), platform::HeadlessDisplayObjects{});
      }
    }
  }
}

// Presented frames are counted always; they are converted and kept only for
// a caller that asks, and dumped only to a folder VEXIL_DUMP_FRAMES named when
// the device started (it is not read again per frame).
TEST_F(DisplayBufferTest, FramesAreKeptAndDumpedOnlyWhenAsked) {
  struct Case {
    const char* name;
    bool keep;
    bool dump_at_start;  // VEXIL_DUMP_FRAMES set before the device starts
    bool dump_later;     // ... or only after
  };
  const Case cases[] = {
      {"nobody asks", false, false, false},
      {"kept", true, false, false},
      {"dumped", false, true, false},
      {"kept and dumped", true, true, false},
      {"folder named too late", false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFile folder("frames");
    std::filesystem::create_directory(folder.path());
    {
      std::optional<test::ScopedEnvironment> dump;
      dump.emplace("VEXIL_DUMP_FRAMES", c.dump_at_start ? folder.path() : "");
      HeadlessDisplayConfig config;
      config.keep_frames = c.keep;
      Configure(config);
      if (c.dump_later) dump.emplace("VEXIL_DUMP_FRAMES", folder.path());
      DisplayBuffer* b = Open(BLIT_DIB_SECTION);
      ASSERT_NE(b, nullptr);
      BufferBlit(b, nullptr, 1);
      BufferBlit(b, nullptr, 1);
      Close(b);
    }
    EXPECT_EQ(platform::HeadlessFramesPresented(), 2u);
    EXPECT_EQ(platform::HeadlessFrames().size(), c.keep ? 2u : 0u);
    const bool dumped = c.dump_at_start;
    EXPECT_EQ(std::filesystem::exists(folder.Sibling("frames/frame_000001.png")), dumped);
    const std::vector<uint8_t> png = test::ReadFileBytes(folder.Sibling("frames/frame_000002.png"));
    EXPECT_EQ(png.size() > 8 && png[1] == 'P', dumped);
  }
}

}  // namespace
}  // namespace vexil
