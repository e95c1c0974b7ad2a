// The display buffer: the surface each decoded frame is copied into and from
// which it reaches the player window, in one of ten blitting styles (the
// primary surface written in place, a YUV overlay, a YUV or RGB off-screen
// surface blitted to the screen, or a DIB section stretched into the window).
// The buffer also owns the process-wide DirectDraw objects, a full-screen
// display-mode change and the scaling capabilities.
//
// Player thread only: every operation runs on the thread that owns the
// window, and the process-wide display state is not locked.
#pragma once

#include <cstdint>

#include "display/pixel_formats.h"
#include "platform/display_device.h"
#include "platform/error_text.h"
#include "platform/window.h"

namespace vexil {

// Scale-capability bits: the buffer's scale_flags, the device's overlay and
// blit capabilities, and bits 24-31 of the open flags (the scaling required).
constexpr uint32_t SCALE_STRETCH_X_INT = 0x80000000u;  // widen by a whole factor
constexpr uint32_t SCALE_STRETCH_X = 0x40000000;       // widen by any factor
constexpr uint32_t SCALE_SHRINK_X_INT = 0x20000000;    // narrow by a whole divisor
constexpr uint32_t SCALE_SHRINK_X = 0x10000000;        // narrow by any factor
constexpr uint32_t SCALE_STRETCH_Y_INT = 0x08000000;   // heighten by a whole factor
constexpr uint32_t SCALE_STRETCH_Y = 0x04000000;       // heighten by any factor
constexpr uint32_t SCALE_SHRINK_Y_INT = 0x02000000;    // lower by a whole divisor
constexpr uint32_t SCALE_SHRINK_Y = 0x01000000;        // lower by any factor
constexpr uint32_t SCALE_MASK = 0xFF000000u;

// Open flags: the blitting style, full screen, and the scaling required.
constexpr uint32_t BUFFER_STYLE_MASK = 0x0000001F;
constexpr uint32_t BUFFER_FULL_SCREEN = 0x00800000;

// Blitting styles.
constexpr int32_t BLIT_AUTOMATIC = 0;  // treated as BLIT_DIB_SECTION
constexpr int32_t BLIT_PRIMARY = 1;
constexpr int32_t BLIT_DIB_SECTION = 2;
constexpr int32_t BLIT_OVERLAY_YV12 = 3;
constexpr int32_t BLIT_OVERLAY_YUY2 = 4;
constexpr int32_t BLIT_OVERLAY_UYVY = 5;
constexpr int32_t BLIT_OFFSCREEN_YV12 = 6;
constexpr int32_t BLIT_OFFSCREEN_YUY2 = 7;
constexpr int32_t BLIT_OFFSCREEN_UYVY = 8;
constexpr int32_t BLIT_OFFSCREEN_RGB_VIDEO = 9;
constexpr int32_t BLIT_OFFSCREEN_RGB_SYSTEM = 10;

// The messages an open leaves in the last-error text.
inline constexpr const char kErrNoDirectDraw[] = "DirectDraw is not available";
inline constexpr const char kErr256Colours[] = "256 color mode not supported.";
inline constexpr const char kErrNoDibSection[] = "Unable to create DIBSection.";
inline constexpr const char kErrVideoMode[] = "Video mode not supported.";
inline constexpr const char kErrNoStyle[] = "No capable blitting style available.";

struct DisplayBuffer {
  uint32_t width;  // the buffer's size (the movie's frame size)
  uint32_t height;
  int32_t window_width;  // outer window size for a client area of the stretched size
  int32_t window_height;
  uint32_t surface_type;  // format code | SURFACE_DIRECT | SURFACE_SCALED | SURFACE_CHANGED
  uint8_t* buffer;        // first pixel to write while locked, else null
  int32_t buffer_pitch;   // while locked, else 0
  int32_t client_offset_x;  // client origin minus window origin
  int32_t client_offset_y;
  int32_t screen_width;  // desktop at open time
  int32_t screen_height;
  int32_t screen_depth;
  int32_t extra_window_width;  // outer size minus client size
  int32_t extra_window_height;
  uint32_t scale_flags;    // the scale kinds this buffer can perform
  int32_t stretch_width;   // size on the screen
  int32_t stretch_height;
  int32_t reserved;
  platform::DrawSurface* surface;  // primary, overlay or off-screen surface
  platform::DrawClipper* clipper;
  int32_t dest_x;  // screen position of the buffer
  int32_t dest_y;
  int32_t offset_x;  // position of the buffer in the client area
  int32_t offset_y;
  platform::WindowHandle window;
  int32_t minimized;
  int32_t is_overlay;
  int32_t is_offscreen;
  int32_t overlay_shown;
  int32_t software_cursor;
  int32_t cursor_hide_count;
  uint8_t* locked_surface;  // the address the lock returned
  int32_t style;            // 1-10 (2 for the DIB section)
  int32_t direct_primary;
  int32_t opened_directdraw;  // this buffer holds a DirectDraw reference
  int32_t changed_mode;       // this buffer holds a display-mode reference
  platform::GdiBitmap* dib_bitmap;
  uint8_t* dib_bits;
  int32_t dib_pitch;
  platform::BitmapHeader* dib_header;
  platform::MemoryContext* dib_dc;
  platform::GdiBitmap* dib_old_bitmap;
};

// Records the display mode the next full-screen open switches to. `depth` is
// 16, 24, 32 or 8, or 1, 2, 3 for a search order (16, 32, 24 / 32, 24, 16 /
// 32, 24). Width, height or depth 0: no change.
void BufferSetDisplayMode(int32_t width, int32_t height, int32_t depth);

// Opens a buffer of `width` x `height` pixels on `window` in the style and
// with the scaling that `flags` ask for. Null on failure, with the message in
// *error when an error text is given (none for a width or height of 0).
DisplayBuffer* BufferOpen(platform::WindowHandle window, uint32_t width, uint32_t height,
                          uint32_t flags, ErrorText* error = nullptr);

// Releases everything the buffer holds; the last buffer releases DirectDraw
// and restores the display mode. Null is ignored.
void BufferClose(DisplayBuffer* buffer);

// Makes `buffer` and `buffer_pitch` valid. 0 while the window is iconic, when
// the surface cannot be locked, or (primary) while the buffer's rectangle is
// not wholly on the screen.
int BufferLock(DisplayBuffer* buffer);

// Ends the lock, shows the overlay, clears SURFACE_CHANGED.
int BufferUnlock(DisplayBuffer* buffer);

// Shows `count` source rectangles (x, y, width, height each, buffer pixels),
// or the whole buffer when `rects` is null and `count` is not 0.
void BufferBlit(DisplayBuffer* buffer, const int32_t* rects, int32_t count);

// Places the buffer at (x, y) in the client area. Returns 1.
int BufferSetOffset(DisplayBuffer* buffer, int32_t x, int32_t y);

// Sets the on-screen size (0: the screen's). 1 only when both dimensions were
// accepted; an accepted dimension is kept even when the other is refused.
int BufferSetScale(DisplayBuffer* buffer, int32_t width, int32_t height);

// Adjusts a proposed window position so that the buffer lands on aligned
// (and, for the primary surface, visible) screen pixels.
void BufferCheckWindowPosition(DisplayBuffer* buffer, int32_t* x, int32_t* y);

// Locks, fills with black for the format, unlocks.
int BufferClear(DisplayBuffer* buffer);

// The style's descriptive text, e.g. "DIB Section".
const char* BufferStyleName(const DisplayBuffer* buffer);

}  // namespace vexil
