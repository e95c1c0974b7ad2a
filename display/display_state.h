// The display state the buffers share: the DirectDraw object and primary
// surface, the desktop as measured, the capabilities, the requested display
// mode and its change, each reference-counted by the buffers that took it.
// One instance per process; player thread only.
#pragma once

#include <cstdint>

#include "platform/display_device.h"

namespace vexil {

struct CursorProbeCache {
  bool valid;
  platform::CursorHandle cursor;
  const uint8_t* surface;
  int32_t bits_per_pixel;
  int32_t software;  // the answer for that cursor, surface and depth
};

struct DisplayState {
  platform::DisplayDevice* device;  // the device every object below came from
  bool directdraw_load_failed;      // not retried once it failed
  platform::DirectDraw* directdraw;
  platform::DrawSurface* primary;
  int32_t directdraw_refs;
  uint32_t desktop_bytes;  // 1, 2, 3 or 4 (0 before the first measurement)
  int32_t desktop_bits;
  int32_t screen_width;
  int32_t screen_height;
  uint32_t overlay_caps;  // scale bits
  uint32_t blit_caps;
  uint32_t overlay_colour_key;
  platform::PixelFormat primary_format;
  int32_t mode_width;  // requested for the next full-screen open
  int32_t mode_height;
  int32_t mode_depth;
  bool mode_changed;
  int32_t mode_refs;
  CursorProbeCache cursor_probe;
};

DisplayState& TheDisplayState();

// The DirectDraw start-up: the first call creates the object (in exclusive
// full-screen cooperation with a display-mode switch when `full_screen` and a
// mode was requested), the primary surface, and measures the desktop; later
// calls only count. True when a reference was taken.
bool StartDirectDraw(platform::WindowHandle window, bool full_screen);
// Drops a reference; the last one releases the primary and the object.
void DropDirectDraw();

// The GDI display-mode change for the DIB style. Declines (false) unless
// `full_screen`, a mode was requested and DirectDraw is not open; otherwise
// switches, measures the desktop and takes a reference (true).
bool StartGdiDisplayMode(bool full_screen);
// Drops a reference; the last one goes back to the system's mode if any
// switch was made.
void DropDisplayMode();

// Measures the desktop through GDI (size and depth), when DirectDraw did not.
void MeasureDesktopWithGdi();

// Forgets everything (tests, between device configurations). Only while no
// buffer is open.
void ResetDisplayStateForTest();

}  // namespace vexil
