// The headless display device: the screen and every surface are memory. The
// desktop comes from SetHeadlessDesktop (platform/desktop.h); what the device
// can do, and which of its calls fail, is configured here so that every rule
// of the display buffer can be driven from a test. Presented frames (the
// window's client area after each blit, overlay update or primary unlock) are
// counted; they are kept only for a caller that asks (keep_frames), and
// written as PNG files to the folder VEXIL_DUMP_FRAMES names.
//
// Player thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/display_device.h"

namespace vexil::platform {

// How a 1 x 1 bitmap compatible with a 16-bit screen describes itself.
enum class CompatibleBitmap { kBitFields565, kBitFields555, kPlainRgb };

struct HeadlessDisplayConfig {
  // The desktop's RGB masks; all 0 means the usual ones for its depth (16:
  // 565; 24 and 32: red 0xFF0000, green 0xFF00, blue 0xFF). An 8-bit desktop
  // is palettized.
  uint32_t red_mask = 0;
  uint32_t green_mask = 0;
  uint32_t blue_mask = 0;
  uint32_t alpha_mask = 0;

  // DirectDraw, step by step.
  bool directdraw_library = true;
  bool directdraw_object = true;
  bool cooperative_level = true;
  bool primary_surface = true;
  bool primary_lockable = true;
  // The depths a display-mode switch (either path) accepts, and the depth the
  // screen then reports (0: the one asked for).
  std::vector<int32_t> mode_depths = {8, 16, 24, 32};
  int32_t depth_after_switch = 0;
  bool size_only_switch = true;  // a switch of the size alone succeeds

  // Surfaces and their scaling.
  uint32_t overlay_fx = FX_ALL;
  uint32_t blit_fx = FX_ALL;
  bool overlays = true;
  bool yuv_offscreen = true;
  bool rgb_video_offscreen = true;
  bool rgb_system_offscreen = true;
  bool clipper = true;
  int32_t lost_locks = 0;  // the next this many locks find their surface lost
  bool restore = true;

  // GDI.
  bool dib_section = true;
  bool memory_context = true;
  CompatibleBitmap compatible_bitmap = CompatibleBitmap::kBitFields565;

  // The mouse and its cursor. A software cursor saves the screen under it
  // when it shows and puts that back when it hides.
  bool mouse = true;
  bool software_cursor = false;
  Point cursor = {-1000, -1000};

  // Largest surface or bitmap the device makes, in bytes.
  uint64_t memory_limit = uint64_t{256} << 20;

  // Keep the latest presented frames for HeadlessFrames. Each kept frame is a
  // conversion of the window's area, so only callers that read them ask.
  bool keep_frames = false;
};

// Sets the device's configuration and makes a fresh black screen; the frame
// count starts again and VEXIL_DUMP_FRAMES is read anew. Only while none of
// the device's objects is alive.
void ConfigureHeadlessDisplay(const HeadlessDisplayConfig& config);
// The configuration in force, for changes between calls (lost surfaces, the
// cursor position).
HeadlessDisplayConfig& HeadlessDisplaySettings();

// What is alive (created and not yet released) on the device.
struct HeadlessDisplayObjects {
  int32_t directdraw;
  int32_t surfaces;
  int32_t clippers;
  int32_t bitmaps;
  int32_t contexts;
  int32_t probe_windows;
  bool mode_switched;  // the screen is not in the system's mode
  int32_t cursor_count;

  bool operator==(const HeadlessDisplayObjects&) const = default;
};
HeadlessDisplayObjects HeadlessDisplayLive();

// One line per call that changes the screen or the device's state, e.g.
// "Blt 10,20,330,260 <- 0,0,320,240" or "UpdateOverlay show 0,0,320,240 ->
// 0,0,320,240 key 0x401"; for tests.
const std::vector<std::string>& HeadlessDisplayLog();
void ClearHeadlessDisplayLog();

// A presented frame: the window's client area as RGB rows.
struct KeptFrame {
  int32_t width;
  int32_t height;
  std::vector<uint8_t> rgb;  // 3 bytes per pixel

  // Red, green and blue of pixel (x, y) as 0xRRGGBB.
  uint32_t At(int32_t x, int32_t y) const;
};
// The latest frames (at most 8) kept while keep_frames was set, oldest
// first, and how many were presented (counted always).
const std::vector<KeptFrame>& HeadlessFrames();
uint64_t HeadlessFramesPresented();

// The raw pixel value at (x, y) of the screen (0 off the screen).
uint32_t HeadlessScreenPixel(int32_t x, int32_t y);

DisplayDevice& HeadlessDisplayDevice();

}  // namespace vexil::platform
