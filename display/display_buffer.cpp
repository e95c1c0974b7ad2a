#include "display/display_buffer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "display/buffer_geometry.h"
#include "display/cursor_probe.h"
#include "display/display_state.h"
#include "display/surface_format.h"
#include "platform/heap.h"

namespace vexil {
namespace {

using platform::DrawResult;
using platform::Rect;

constexpr const char* kStyleNames[] = {
    "",
    "DirectDraw primary surface",
    "DIB Section",
    "DirectDraw YV12 overlay",
    "DirectDraw YUY2 overlay",
    "DirectDraw UYVY overlay",
    "DirectDraw YV12 off-screen surface",
    "DirectDraw YUY2 off-screen surface",
    "DirectDraw UYVY off-screen surface",
    "DirectDraw RGB off-screen video surface",
    "DirectDraw RGB off-screen system surface",
};

// Larger buffers could not be placed in 32-bit window coordinates.
constexpr uint32_t kLargestSide = 0x3FFFFFFF;

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// What an open has taken so far; undone together when the open fails.
struct Opening {
  platform::WindowHandle window = nullptr;
  int32_t style = 0;
  bool directdraw = false;
  bool mode = false;
  platform::DrawSurface* surface = nullptr;
  bool overlay = false;
  bool offscreen = false;
  bool primary = false;
  platform::DrawClipper* clipper = nullptr;
  platform::GdiBitmap* bitmap = nullptr;
  uint8_t* bits = nullptr;
  int32_t pitch = 0;
  platform::BitmapHeader* header = nullptr;
  platform::MemoryContext* dc = nullptr;
  platform::GdiBitmap* old_bitmap = nullptr;
  uint32_t surface_type = 0;
  uint32_t scale_flags = 0;
  int32_t software_cursor = 0;

  void Undo() {
    platform::DisplayDevice& device = *TheDisplayState().device;
    if (clipper) clipper->Release();
    if (overlay) {
      surface->UpdateOverlay(nullptr, TheDisplayState().primary, nullptr, platform::OVERLAY_HIDE,
                             0);
    }
    if (overlay || offscreen) surface->Release();
    if (dc) {
      if (old_bitmap) device.SelectObject(dc, old_bitmap);
      device.DeleteDC(dc);
    }
    if (bitmap) device.DeleteObject(bitmap);
    Free(header);
    if (directdraw) DropDirectDraw();
    if (mode) DropDisplayMode();
    *this = Opening{};
  }
};

// The DIB section in the desktop's depth; false with the message set.
bool CreateDibSection(Opening& o, uint32_t width, uint32_t height, uint32_t required,
                      ErrorText* error) {
  DisplayState& s = TheDisplayState();
  platform::DisplayDevice& device = *s.device;
  const uint32_t bytes = s.desktop_bytes;
  if (bytes < 2) {
    SetErrorText(error, kErr256Colours);
    return false;
  }
  o.header = static_cast<platform::BitmapHeader*>(Alloc(sizeof(platform::BitmapHeader)));
  if (!o.header) {
    SetErrorText(error, kErrOutOfMemory);
    return false;
  }
  // A desktop of more than 4 bytes per pixel still gets a 32-bit DIB.
  const uint32_t dib_bytes = std::min(bytes, 4u);
  platform::BitmapHeader& h = *o.header;
  h = {};
  h.size = 40;
  h.width = DibHeaderWidth(width, dib_bytes);
  h.height = -static_cast<int32_t>(height);
  h.planes = 1;
  h.bit_count = static_cast<uint16_t>(dib_bytes * 8);
  h.compression = dib_bytes == 3 ? platform::BITMAP_RGB : platform::BITMAP_BIT_FIELDS;
  uint32_t format = dib_bytes == 3 ? PIXFMT_24 : PIXFMT_32;
  h.masks[0] = 0xFF0000, h.masks[1] = 0x00FF00, h.masks[2] = 0x0000FF;
  if (dib_bytes == 2) {
    platform::BitmapHeader probe{};
    const bool is_565 = device.CompatibleBitmapFormat(o.window, &probe) &&
                        probe.compression == platform::BITMAP_BIT_FIELDS &&
                        probe.masks[0] == 0xF800;
    if (is_565) {
      h.masks[0] = 0xF800, h.masks[1] = 0x07E0, h.masks[2] = 0x001F;
      format = PIXFMT_565;
    } else {
      h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
      format = PIXFMT_555;
    }
  }
  void* bits = nullptr;
  if (h.width > 0) {
    o.dc = device.CreateCompatibleDC(o.window);
    if (o.dc) o.bitmap = device.CreateDibSection(o.window, h, &bits);
  }
  if (!o.dc || !o.bitmap || !bits) {
    SetErrorText(error, kErrNoDibSection);
    return false;
  }
  o.bits = static_cast<uint8_t*>(bits);
  o.old_bitmap = device.SelectObject(o.dc, o.bitmap);
  o.pitch = DibPitch(h.width, dib_bytes);
  o.scale_flags = SCALE_MASK;
  o.surface_type = format | (required ? SURFACE_SCALED : 0);
  return true;
}

// Locks a new surface, blackens it for `format` and unlocks it.
void ClearNewSurface(platform::DrawSurface* surface, uint32_t width, uint32_t height,
                     uint32_t format) {
  platform::LockedSurface locked{};
  if (surface->Lock(&locked) != DrawResult::kOk) return;
  FillBlack(locked.bits, locked.pitch, width, height, format);
  surface->Unlock();
}

// Tries the one DirectDraw style asked for. False when it does not qualify;
// `message` is set when the reason has a text of its own.
bool TryDirectDrawStyle(Opening& o, uint32_t width, uint32_t height, uint32_t required,
                        const char** message) {
  DisplayState& s = TheDisplayState();
  static constexpr uint32_t kFourccs[3] = {platform::FOURCC_YV12, platform::FOURCC_YUY2,
                                           platform::FOURCC_UYVY};
  static constexpr uint32_t kYuvFormats[3] = {PIXFMT_YV12, PIXFMT_YUY2, PIXFMT_UYVY};
  switch (o.style) {
    case BLIT_PRIMARY: {
      if (required) return false;
      platform::LockedSurface locked{};
      const DrawResult r = s.primary->Lock(&locked);
      if (r == DrawResult::kOk) s.primary->Unlock();
      if (r == DrawResult::kCannotLock) return false;
      const int32_t format = SurfaceFormatCode(s.primary_format);
      if (format < 0) *message = kErrVideoMode;
      if (format <= 0) return false;
      o.surface = s.primary;
      o.primary = true;
      o.surface_type = uint32_t(format) | SURFACE_DIRECT;
      o.software_cursor = ProbeSoftwareCursor(o.window);
      return true;
    }
    case BLIT_OVERLAY_YV12:
    case BLIT_OVERLAY_YUY2:
    case BLIT_OVERLAY_UYVY: {
      if ((s.overlay_caps & required) != required) return false;
      const int32_t k = o.style - BLIT_OVERLAY_YV12;
      const platform::SurfaceDescription d{platform::SurfaceKind::kOverlay,
                                           platform::SurfaceMemory::kVideo, width, height,
                                           kFourccs[k]};
      if (s.directdraw->CreateSurface(d, &o.surface) != DrawResult::kOk || !o.surface) {
        o.surface = nullptr;
        return false;
      }
      o.overlay = true;
      ClearNewSurface(o.surface, width, height, kYuvFormats[k]);
      o.surface_type = kYuvFormats[k] | SURFACE_DIRECT;
      o.scale_flags = s.overlay_caps;
      return true;
    }
    case BLIT_OFFSCREEN_YV12:
    case BLIT_OFFSCREEN_YUY2:
    case BLIT_OFFSCREEN_UYVY:
    case BLIT_OFFSCREEN_RGB_VIDEO:
    case BLIT_OFFSCREEN_RGB_SYSTEM: {
      if ((s.blit_caps & required) != required) return false;
      const bool yuv = o.style <= BLIT_OFFSCREEN_UYVY;
      const platform::SurfaceDescription d{
          platform::SurfaceKind::kOffscreen,
          o.style == BLIT_OFFSCREEN_RGB_SYSTEM ? platform::SurfaceMemory::kSystem
                                               : platform::SurfaceMemory::kVideo,
          width, height, yuv ? kFourccs[o.style - BLIT_OFFSCREEN_YV12] : 0};
      if (s.directdraw->CreateSurface(d, &o.surface) != DrawResult::kOk || !o.surface) {
        o.surface = nullptr;
        return false;
      }
      o.offscreen = true;
      platform::PixelFormat pf{};
      const int32_t format =
          o.surface->GetPixelFormat(&pf) == DrawResult::kOk ? SurfaceFormatCode(pf) : -1;
      if (format <= 0) {
        if (format < 0) *message = kErrVideoMode;
        o.surface->Release();
        o.surface = nullptr;
        o.offscreen = false;
        return false;
      }
      ClearNewSurface(o.surface, width, height, uint32_t(format));
      o.surface_type = uint32_t(format) | (required ? SURFACE_SCALED : 0);
      o.scale_flags = s.blit_caps;
      return true;
    }
    default:
      return false;
  }
}

// Shows, moves or hides the overlay after the buffer moved or was unlocked.
void RefreshOverlay(DisplayBuffer* b, bool show) {
  if (!b->is_overlay) return;
  const DisplayState& s = TheDisplayState();
  if (b->window->IsVisible()) {
    const OverlayPlacement p =
        PlaceOverlay(b->width, b->height, b->dest_x, b->dest_y, b->stretch_width,
                     b->stretch_height, s.screen_width, s.screen_height);
    if (p.visible) {
      if (show) b->overlay_shown = 1;
      const uint32_t flags = platform::OVERLAY_KEY_DEST_OVERRIDE |
                             (b->overlay_shown ? platform::OVERLAY_SHOW : platform::OVERLAY_HIDE);
      b->surface->UpdateOverlay(&p.source, s.primary, &p.dest, flags, s.overlay_colour_key);
      return;
    }
  }
  b->surface->UpdateOverlay(nullptr, s.primary, nullptr, platform::OVERLAY_HIDE, 0);
}

// A software cursor over the buffer is hidden while the buffer is locked.
void HideCursorOverBuffer(DisplayBuffer* b) {
  platform::DisplayDevice& device = *TheDisplayState().device;
  const platform::Point at = device.CursorPos();
  const platform::Size size = device.CursorSize();
  const bool overlaps = int64_t{at.x} + size.width > b->dest_x &&
                        int64_t{at.x} < int64_t{b->dest_x} + b->width &&
                        int64_t{at.y} + size.height > b->dest_y &&
                        int64_t{at.y} < int64_t{b->dest_y} + b->height;
  if (!overlaps) return;
  for (int32_t i = 0; i < 64; ++i) {
    ++b->cursor_hide_count;
    if (device.ShowCursor(false) < 0) break;
  }
}

void ShowHiddenCursor(DisplayBuffer* b) {
  platform::DisplayDevice& device = *TheDisplayState().device;
  for (; b->cursor_hide_count > 0; --b->cursor_hide_count) device.ShowCursor(true);
}

// The primary is written in place: the buffer's rectangle must lie on it.
bool PrimaryRectOnScreen(const DisplayBuffer* b, const platform::LockedSurface& locked) {
  const DisplayState& s = TheDisplayState();
  const uint32_t bytes = s.desktop_bytes;
  return b->dest_x >= 0 && b->dest_y >= 0 &&
         int64_t{b->dest_x} + b->width <= int64_t{s.screen_width} &&
         int64_t{b->dest_y} + b->height <= int64_t{s.screen_height} &&
         (int64_t{b->dest_x} + b->width) * bytes <= int64_t{locked.pitch};
}

}  // namespace

void BufferSetDisplayMode(int32_t width, int32_t height, int32_t depth) {
  DisplayState& s = TheDisplayState();
  s.mode_width = width;
  s.mode_height = height;
  s.mode_depth = depth;
}

DisplayBuffer* BufferOpen(platform::WindowHandle window, uint32_t width, uint32_t height,
                          uint32_t flags, ErrorText* error) {
  if (width == 0 || height == 0 || !window) return nullptr;
  if (width > kLargestSide || height > kLargestSide) {
    SetErrorText(error, kErrOutOfMemory);
    return nullptr;
  }
  DisplayState& s = TheDisplayState();
  Opening o;
  o.window = window;
  o.style = int32_t(flags & BUFFER_STYLE_MASK);
  if (o.style == BLIT_AUTOMATIC) o.style = BLIT_DIB_SECTION;
  const uint32_t required = flags & SCALE_MASK;
  const bool full_screen = (flags & BUFFER_FULL_SCREEN) != 0;

  if (o.style == BLIT_DIB_SECTION) {
    o.mode = StartGdiDisplayMode(full_screen);
    if (!o.mode) {
      o.directdraw = StartDirectDraw(window, full_screen);
      // Without DirectDraw the desktop is still measured, so that a DIB
      // section opens on any system.
      if (!o.directdraw) MeasureDesktopWithGdi();
    }
    if (!CreateDibSection(o, width, height, required, error)) {
      o.Undo();
      return nullptr;
    }
  } else {
    o.directdraw = StartDirectDraw(window, full_screen);
    if (!o.directdraw) {
      SetErrorText(error, kErrNoDirectDraw);
      return nullptr;
    }
    const char* message = nullptr;
    if (!TryDirectDrawStyle(o, width, height, required, &message)) {
      if (!message)
        message = s.desktop_bits >= 1 && s.desktop_bits <= 8 ? kErr256Colours : kErrNoStyle;
      SetErrorText(error, message);
      o.Undo();
      return nullptr;
    }
    if (s.directdraw->CreateClipper(&o.clipper) != DrawResult::kOk) o.clipper = nullptr;
  }

  auto* b = static_cast<DisplayBuffer*>(Alloc(sizeof(DisplayBuffer)));
  if (!b) {
    SetErrorText(error, kErrOutOfMemory);
    o.Undo();
    return nullptr;
  }
  std::memset(b, 0, sizeof *b);
  b->width = width;
  b->height = height;
  b->surface_type = o.surface_type;
  b->screen_width = s.screen_width;
  b->screen_height = s.screen_height;
  b->screen_depth = s.desktop_bits;
  b->scale_flags = o.scale_flags;
  b->stretch_width = int32_t(width);
  b->stretch_height = int32_t(height);
  b->surface = o.surface;
  b->clipper = o.clipper;
  b->window = window;
  b->is_overlay = o.overlay;
  b->is_offscreen = o.offscreen;
  b->software_cursor = o.software_cursor;
  b->style = o.style;
  b->direct_primary = o.primary;
  b->opened_directdraw = o.directdraw;
  b->changed_mode = o.mode;
  b->dib_bitmap = o.bitmap;
  b->dib_bits = o.bits;
  b->dib_pitch = o.pitch;
  b->dib_header = o.header;
  b->dib_dc = o.dc;
  b->dib_old_bitmap = o.old_bitmap;

  const Rect outer = window->OuterRect();
  const platform::Point origin = window->ClientOrigin();
  const Rect client = window->ClientRect();
  b->client_offset_x = origin.x - outer.left;
  b->client_offset_y = origin.y - outer.top;
  b->extra_window_width = outer.Width() - client.Width();
  b->extra_window_height = outer.Height() - client.Height();
  b->window_width = Saturate(int64_t{b->extra_window_width} + width);
  b->window_height = Saturate(int64_t{b->extra_window_height} + height);

  BufferSetOffset(b, 0, 0);
  BufferSetScale(b, int32_t(width), int32_t(height));
  if (b->clipper) b->clipper->SetWindow(window);
  return b;
}

void BufferClose(DisplayBuffer* b) {
  if (!b) return;
  if (b->locked_surface) {
    b->surface->Unlock();
    ShowHiddenCursor(b);
  }
  Opening o;
  o.window = b->window;
  o.directdraw = b->opened_directdraw;
  o.mode = b->changed_mode;
  o.surface = b->surface;
  o.overlay = b->is_overlay;
  o.offscreen = b->is_offscreen;
  o.clipper = b->clipper;
  o.bitmap = b->dib_bitmap;
  o.header = b->dib_header;
  o.dc = b->dib_dc;
  o.old_bitmap = b->dib_old_bitmap;
  o.Undo();
  std::memset(b, 0, sizeof *b);
  Free(b);
}

int BufferLock(DisplayBuffer* b) {
  if (!b) return 0;
  if (b->dib_bits) {
    b->buffer = b->dib_bits;
    b->buffer_pitch = b->dib_pitch;
    return 1;
  }
  if (b->minimized || !b->surface) return 0;
  if (b->software_cursor) HideCursorOverBuffer(b);
  platform::LockedSurface locked{};
  DrawResult r = b->surface->Lock(&locked);
  if (r != DrawResult::kOk) {
    b->surface_type |= SURFACE_CHANGED;
    if (r == DrawResult::kSurfaceLost && b->surface->Restore() == DrawResult::kOk)
      r = b->surface->Lock(&locked);
  }
  if (r == DrawResult::kOk && b->direct_primary && !PrimaryRectOnScreen(b, locked)) {
    // Part of the window is off the screen: nothing may be written this time,
    // and the next frame is copied whole.
    b->surface->Unlock();
    b->surface_type |= SURFACE_CHANGED;
    r = DrawResult::kFailed;
  }
  if (r != DrawResult::kOk) {
    ShowHiddenCursor(b);
    return 0;
  }
  b->locked_surface = locked.bits;
  b->buffer = locked.bits;
  if (b->direct_primary) {
    b->buffer += ptrdiff_t(b->dest_x) * ptrdiff_t(TheDisplayState().desktop_bytes) +
                 ptrdiff_t(b->dest_y) * ptrdiff_t(locked.pitch);
  }
  b->buffer_pitch = locked.pitch;
  return 1;
}

int BufferUnlock(DisplayBuffer* b) {
  if (!b) return 0;
  int result = 1;
  if (!b->dib_bits && b->surface) {
    if (b->locked_surface) result = b->surface->Unlock() == DrawResult::kOk;
    ShowHiddenCursor(b);
    b->locked_surface = nullptr;
    b->buffer = nullptr;
    b->buffer_pitch = 0;
    RefreshOverlay(b, true);
  } else {
    b->buffer = nullptr;
    b->buffer_pitch = 0;
  }
  b->surface_type &= ~SURFACE_CHANGED;
  return result;
}

void BufferBlit(DisplayBuffer* b, const int32_t* rects, int32_t count) {
  if (!b || count <= 0 || b->direct_primary) return;
  const int32_t whole[4] = {0, 0, int32_t(b->width), int32_t(b->height)};
  const bool given = rects != nullptr;
  if (!given) rects = whole, count = 1;
  DisplayState& s = TheDisplayState();
  if (b->is_overlay || b->is_offscreen) {
    s.primary->SetClipper(b->clipper);
    for (int32_t i = 0; i < count; ++i) {
      const int32_t* r = rects + 4 * i;
      if (b->is_overlay) {
        // The key colour makes the overlay show through the primary.
        const Rect d =
            given ? Rect{Saturate(int64_t{b->dest_x} + r[0]), Saturate(int64_t{b->dest_y} + r[1]),
                         Saturate(int64_t{b->dest_x} + r[0] + r[2]),
                         Saturate(int64_t{b->dest_y} + r[1] + r[3])}
                  : Rect{b->dest_x, b->dest_y, Saturate(int64_t{b->dest_x} + b->stretch_width),
                         Saturate(int64_t{b->dest_y} + b->stretch_height)};
        s.primary->ColorFill(&d, s.overlay_colour_key);
      } else {
        const Rect d = ScaleBlitRect(r, b->width, b->height, b->stretch_width, b->stretch_height,
                                     b->dest_x, b->dest_y);
        const Rect source{r[0], r[1], Saturate(int64_t{r[0]} + r[2]),
                          Saturate(int64_t{r[1]} + r[3])};
        s.primary->Blt(&d, b->surface, &source);
      }
    }
    s.primary->SetClipper(nullptr);
    return;
  }
  if (!b->dib_dc) return;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t* r = rects + 4 * i;
    const Rect d = ScaleBlitRect(r, b->width, b->height, b->stretch_width, b->stretch_height,
                                 b->offset_x, b->offset_y);
    const Rect source{r[0], r[1], Saturate(int64_t{r[0]} + r[2]), Saturate(int64_t{r[1]} + r[3])};
    s.device->StretchBlt(b->window, d, b->dib_dc, source);
  }
}

int BufferSetOffset(DisplayBuffer* b, int32_t x, int32_t y) {
  if (!b) return 0;
  b->minimized = b->window->IsIconic() ? 1 : 0;
  if (b->minimized) return 1;
  const platform::Point origin = b->window->ClientOrigin();
  b->dest_x = Saturate(int64_t{origin.x} + x);
  b->dest_y = Saturate(int64_t{origin.y} + y);
  b->offset_x = x;
  b->offset_y = y;
  b->surface_type |= SURFACE_CHANGED;
  RefreshOverlay(b, false);
  return 1;
}

int BufferSetScale(DisplayBuffer* b, int32_t width, int32_t height) {
  if (!b) return 0;
  if (width == 0) width = b->screen_width;
  if (height == 0) height = b->screen_height;
  const auto accepted = [&](int32_t requested, uint32_t kind) {
    return requested > 0 && (b->scale_flags & kind) == kind;
  };
  const bool width_ok = accepted(width, ScaleKindX(uint32_t(width), b->width));
  const bool height_ok = accepted(height, ScaleKindY(uint32_t(height), b->height));
  if (width_ok) b->stretch_width = width;
  if (height_ok) b->stretch_height = height;
  b->window_width = Saturate(int64_t{b->extra_window_width} + b->stretch_width);
  b->window_height = Saturate(int64_t{b->extra_window_height} + b->stretch_height);
  return width_ok && height_ok;
}

void BufferCheckWindowPosition(DisplayBuffer* b, int32_t* x, int32_t* y) {
  if (!b || !x || !y) return;
  int32_t client_x = Saturate(int64_t{*x} + b->client_offset_x);
  if (b->direct_primary) client_x = ClampToScreen(client_x, b->width, b->screen_width);
  client_x = AlignClientX(client_x, TheDisplayState().desktop_bytes);
  *x = Saturate(int64_t{client_x} - b->client_offset_x);
  if (b->direct_primary) {
    const int32_t client_y = ClampToScreen(Saturate(int64_t{*y} + b->client_offset_y), b->height,
                                           b->screen_height);
    *y = Saturate(int64_t{client_y} - b->client_offset_y);
  }
}

int BufferClear(DisplayBuffer* b) {
  if (!BufferLock(b)) return 0;
  FillBlack(b->buffer, b->buffer_pitch, b->width, b->height, b->surface_type & PIXFMT_MASK);
  return BufferUnlock(b);
}

const char* BufferStyleName(const DisplayBuffer* b) {
  if (!b || b->style < 0 || b->style > BLIT_OFFSCREEN_RGB_SYSTEM) return "";
  return kStyleNames[b->style];
}

}  // namespace vexil
