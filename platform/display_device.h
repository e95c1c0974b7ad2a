// The display device: a thin mirror of the DirectDraw and GDI calls the
// display buffer makes, so that the buffer's logic is written once and each
// back end (Win32: the real calls; SDL: a window renderer; headless: memory
// surfaces for tests) stands in underneath.
//
// Contract for every object and call here: player thread only (the thread
// that owns the window), no call blocks for long, nothing throws. Objects are
// released exactly once by their owner with Release / Delete*; a back end
// never frees them behind the owner's back. Objects of one back end are only
// ever handed back to that back end.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace vexil::platform {

// Results of the DirectDraw-like calls.
enum class DrawResult {
  kOk,
  kFailed,       // any other failure
  kSurfaceLost,  // the surface's memory was taken away; Restore, then retry
  kCannotLock,   // this surface can never be locked
};

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t FOURCC_YV12 = MakeFourcc('Y', 'V', '1', '2');
constexpr uint32_t FOURCC_YUY2 = MakeFourcc('Y', 'U', 'Y', '2');
constexpr uint32_t FOURCC_UYVY = MakeFourcc('U', 'Y', 'V', 'Y');

// A surface's pixel format: a FOURCC, or RGB described by bit count and masks.
struct PixelFormat {
  uint32_t fourcc;  // 0 for RGB
  uint32_t bits_per_pixel;
  uint32_t red_mask;
  uint32_t green_mask;
  uint32_t blue_mask;
  uint32_t alpha_mask;  // 0: no alpha channel

  bool operator==(const PixelFormat&) const = default;
};

// Cooperative levels.
constexpr uint32_t COOPERATIVE_NORMAL = 8;
constexpr uint32_t COOPERATIVE_EXCLUSIVE_FULL_SCREEN = 17;

// Scaling capabilities, one word for overlays and one for blits. "Any" bits
// mean any factor; the "_INT" bits whole factors (or divisors) only.
constexpr uint32_t FX_STRETCH_X = 0x001;
constexpr uint32_t FX_STRETCH_X_INT = 0x002;
constexpr uint32_t FX_SHRINK_X = 0x004;
constexpr uint32_t FX_SHRINK_X_INT = 0x008;
constexpr uint32_t FX_STRETCH_Y = 0x010;
constexpr uint32_t FX_STRETCH_Y_INT = 0x020;
constexpr uint32_t FX_SHRINK_Y = 0x040;
constexpr uint32_t FX_SHRINK_Y_INT = 0x080;
constexpr uint32_t FX_ALL = 0x0FF;

struct DrawCaps {
  uint32_t overlay_fx;
  uint32_t blit_fx;
};

enum class SurfaceKind { kPrimary, kOverlay, kOffscreen };
enum class SurfaceMemory { kVideo, kSystem };

struct SurfaceDescription {
  SurfaceKind kind;
  SurfaceMemory memory;
  uint32_t width;   // not for the primary (the screen's size)
  uint32_t height;  // not for the primary
  uint32_t fourcc;  // 0: RGB in the primary's format
};

// What a lock hands out. A YV12 surface holds `height` luma rows at `pitch`,
// then the V plane and the U plane at pitch / 2, height / 2 rows each, as the
// copy lays them out (an odd height leaves room for one more chroma row).
struct LockedSurface {
  uint8_t* bits;
  int32_t pitch;
};

// UpdateOverlay flags.
constexpr uint32_t OVERLAY_SHOW = 0x1;
constexpr uint32_t OVERLAY_HIDE = 0x2;
constexpr uint32_t OVERLAY_KEY_DEST_OVERRIDE = 0x4;  // show where the destination has the key

class DrawClipper {
 public:
  // Clips blits to the window's visible client area.
  virtual DrawResult SetWindow(WindowHandle window) = 0;
  virtual void Release() = 0;

 protected:
  virtual ~DrawClipper() = default;
};

class DrawSurface {
 public:
  // Locks the whole surface, waiting while the device is busy. The memory
  // stays as it was left at the last unlock.
  virtual DrawResult Lock(LockedSurface* out) = 0;
  virtual DrawResult Unlock() = 0;
  // Gives a lost surface its memory back (the contents are undefined).
  virtual DrawResult Restore() = 0;
  virtual DrawResult GetPixelFormat(PixelFormat* out) = 0;
  // Stretches `source_rect` of `source` (null: the whole) into `dest` of this
  // surface (null: the whole), waiting while the device is busy. Rectangles
  // outside either surface are refused. On the primary with a clipper the
  // result is clipped to the clipper's window.
  virtual DrawResult Blt(const Rect* dest, DrawSurface* source, const Rect* source_rect) = 0;
  // Fills `dest` (null: the whole) with a raw pixel value, clipped as Blt.
  virtual DrawResult ColorFill(const Rect* dest, uint32_t colour) = 0;
  // Overlays only: shows `source` of this overlay in `dest` of `destination`
  // (the primary) where that has `colour_key`, or hides the overlay.
  virtual DrawResult UpdateOverlay(const Rect* source, DrawSurface* destination, const Rect* dest,
                                   uint32_t flags, uint32_t colour_key) = 0;
  // Attaches a clipper (null detaches it).
  virtual DrawResult SetClipper(DrawClipper* clipper) = 0;
  virtual void Release() = 0;

 protected:
  virtual ~DrawSurface() = default;
};

// The DirectDraw object. Releasing it restores a display mode it set.
class DirectDraw {
 public:
  virtual DrawResult SetCooperativeLevel(WindowHandle window, uint32_t level) = 0;
  virtual DrawResult SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits_per_pixel) = 0;
  virtual DrawResult CreateSurface(const SurfaceDescription& description, DrawSurface** out) = 0;
  virtual DrawResult GetCaps(DrawCaps* out) = 0;
  virtual DrawResult CreateClipper(DrawClipper** out) = 0;
  virtual void Release() = 0;

 protected:
  virtual ~DirectDraw() = default;
};

// GDI side. A bitmap header as a DIB section is made from: size 40, the width,
// the height (negative: rows top-down), 1 plane, bits per pixel, compression
// and, for bit fields, the red, green and blue masks.
constexpr uint32_t BITMAP_RGB = 0;
constexpr uint32_t BITMAP_BIT_FIELDS = 3;

struct BitmapHeader {
  uint32_t size;
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bit_count;
  uint32_t compression;
  uint32_t masks[3];
};

class GdiBitmap {
 public:
  virtual ~GdiBitmap() = default;
};
class MemoryContext {
 public:
  virtual ~MemoryContext() = default;
};

// A full-screen display mode; bits_per_pixel 0 changes the size alone.
struct DisplaySettings {
  uint32_t width;
  uint32_t height;
  uint32_t bits_per_pixel;
};

struct Size {
  int32_t width;
  int32_t height;

  bool operator==(const Size&) const = default;
};

using CursorHandle = uintptr_t;

class DisplayDevice;

struct CursorProbeCache {
  bool valid;
  CursorHandle cursor;
  const uint8_t* surface;
  int32_t bits_per_pixel;
  int32_t software;  // the answer for that cursor, surface and depth
};

// What the display buffers on one device share: the DirectDraw object and
// primary surface with their reference count, the desktop as measured, the
// capabilities, the display mode requested and the change made with its
// count, and the software-cursor probe's answer. The operating system makes
// these process-wide (one DirectDraw object per process, one display mode per
// screen), so they live with the device, one per device; the display buffers
// take and drop the references.
struct DisplayState {
  DisplayDevice* device;        // the device this state belongs to
  bool directdraw_load_failed;  // not retried once it failed
  DirectDraw* directdraw;
  DrawSurface* primary;
  int32_t directdraw_refs;
  uint32_t desktop_bytes;  // 1, 2, 3 or 4 (0 before the first measurement)
  int32_t desktop_bits;
  int32_t screen_width;
  int32_t screen_height;
  uint32_t overlay_caps;  // the display buffer's scale bits
  uint32_t blit_caps;
  uint32_t overlay_colour_key;
  PixelFormat primary_format;
  int32_t mode_width;  // requested for the next full-screen open
  int32_t mode_height;
  int32_t mode_depth;
  bool mode_changed;
  int32_t mode_refs;
  CursorProbeCache cursor_probe;
};

class DisplayDevice {
 public:
  DisplayDevice() { ResetState(); }
  virtual ~DisplayDevice() = default;
  DisplayDevice(const DisplayDevice&) = delete;
  DisplayDevice& operator=(const DisplayDevice&) = delete;

  // The state this device's display buffers share.
  DisplayState& state() { return state_; }
  // Forgets it (tests, between device configurations). Only while no buffer
  // is open on the device.
  void ResetState() {
    state_ = DisplayState{};
    state_.device = this;
  }

  // --- DirectDraw ---
  // Loads the DirectDraw library and finds its entry point.
  virtual bool LoadDirectDraw() = 0;
  virtual DrawResult DirectDrawCreate(DirectDraw** out) = 0;

  // --- GDI and the window system ---
  // Switches the screen to `mode` for full-screen use; null goes back to the
  // mode the system had. Returns whether the switch was made.
  virtual bool ChangeDisplaySettings(const DisplaySettings* mode) = 0;
  // The screen's bits per pixel times its planes, as measured now.
  virtual int32_t DeviceDepth() = 0;
  virtual Size ScreenSize() = 0;
  // The header of a 1 x 1 bitmap compatible with the window (its compression
  // and masks tell the screen's 16-bit layout). False when it cannot be made.
  virtual bool CompatibleBitmapFormat(WindowHandle window, BitmapHeader* out) = 0;
  // A DIB section and its pixel memory; null when it cannot be made.
  virtual GdiBitmap* CreateDibSection(WindowHandle window, const BitmapHeader& header,
                                      void** bits) = 0;
  virtual MemoryContext* CreateCompatibleDC(WindowHandle window) = 0;
  // Selects `bitmap` into `context`, returning the one selected before.
  virtual GdiBitmap* SelectObject(MemoryContext* context, GdiBitmap* bitmap) = 0;
  virtual void DeleteDC(MemoryContext* context) = 0;
  virtual void DeleteObject(GdiBitmap* bitmap) = 0;
  // Takes the window's device context, sets colour-on-colour stretching,
  // stretches `source` of the context's bitmap into `dest` of the client area
  // and gives the context back.
  virtual bool StretchBlt(WindowHandle window, const Rect& dest, MemoryContext* context,
                          const Rect& source) = 0;

  // --- Cursor and screen pixels (the software-cursor probe) ---
  virtual bool HasMouse() = 0;
  virtual Point CursorPos() = 0;
  virtual Size CursorSize() = 0;
  // Raises or lowers the cursor's display count; the cursor shows while it is
  // not negative. Returns the new count.
  virtual int32_t ShowCursor(bool show) = 0;
  virtual CursorHandle ClassCursor(WindowHandle window) = 0;
  // Sets the cursor shape, returning the previous one.
  virtual CursorHandle SetCursor(CursorHandle cursor) = 0;
  // A small topmost popup of its own class at `screen_rect` that carries
  // `cursor`; destroying it unregisters the class. One at a time.
  virtual bool CreateProbeWindow(const Rect& screen_rect, CursorHandle cursor) = 0;
  virtual void DestroyProbeWindow() = 0;
  virtual uint32_t GetPixel(Point screen) = 0;
  virtual void SetPixel(Point screen, uint32_t colour) = 0;

 private:
  DisplayState state_;
};

// The device of the active back end; lives for the whole process.
DisplayDevice& ActiveDisplayDevice();

}  // namespace vexil::platform
