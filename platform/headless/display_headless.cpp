// The headless display device: DirectDraw objects, surfaces and GDI bitmaps in
// memory, on a screen that is a memory picture of the headless desktop.
#include "platform/headless/display_headless.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/desktop.h"
#include "platform/headless/display_frames.h"
#include "platform/headless/display_pixels.h"

namespace vexil::platform {
namespace {

constexpr CursorHandle kClassCursor = 101;

bool IsYuv(uint32_t fourcc) {
  return fourcc == FOURCC_YV12 || fourcc == FOURCC_YUY2 || fourcc == FOURCC_UYVY;
}

std::string RectText(const Rect& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
  return text;
}

Rect Intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool Empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Inside(const Rect& r, const PixelPicture& p) {
  return r.left >= 0 && r.top >= 0 && int64_t{r.right} <= int64_t{p.width} &&
         int64_t{r.bottom} <= int64_t{p.height};
}

Rect Whole(const PixelPicture& p) { return {0, 0, int32_t(p.width), int32_t(p.height)}; }

// Rows rounded up to 16 bytes, as display memory usually is.
int32_t AlignedPitch(uint64_t row_bytes) { return int32_t((row_bytes + 15) & ~uint64_t{15}); }

// Nearest-pixel stretch of `source` (within `from`) into `dest` of `to`,
// writing only the part inside `clip`.
void Stretch(const PixelPicture& from, const Rect& source, const PixelPicture& to, const Rect& dest,
             const Rect& clip) {
  const Rect visible = Intersect(dest, clip);
  const bool same = from.format == to.format && from.format.fourcc == 0;
  if (same && source.Width() == dest.Width() && source.Height() == dest.Height()) {
    // One to one in the same format: whole rows at a time (a movie played in
    // real time is blitted this way every frame).
    if (Empty(visible)) return;
    const uint32_t bytes = BytesPerPixel(to.format);
    const size_t row_bytes = size_t(visible.Width()) * bytes;
    for (int32_t y = visible.top; y < visible.bottom; ++y) {
      const int64_t sy = source.top + int64_t{y - dest.top};
      const int64_t sx = source.left + int64_t{visible.left - dest.left};
      std::memcpy(to.bits + ptrdiff_t(to.pitch) * y + size_t(visible.left) * bytes,
                  from.bits + ptrdiff_t(from.pitch) * sy + size_t(sx) * bytes, row_bytes);
    }
    return;
  }
  for (int32_t y = visible.top; y < visible.bottom; ++y) {
    const int64_t sy = source.top + int64_t{y - dest.top} * source.Height() / dest.Height();
    for (int32_t x = visible.left; x < visible.right; ++x) {
      const int64_t sx = source.left + int64_t{x - dest.left} * source.Width() / dest.Width();
      const uint32_t value = same ? ReadRaw(from, uint32_t(sx), uint32_t(sy))
                                  : EncodeRgb(to.format, ReadRgb(from, uint32_t(sx), uint32_t(sy)));
      WriteRaw(to, uint32_t(x), uint32_t(y), value);
    }
  }
}

class HeadlessSurface;
class HeadlessClipper;

struct HeadlessBitmap final : GdiBitmap {
  BitmapHeader header{};
  std::vector<uint8_t> memory;
  int32_t stride = 0;

  PixelPicture Picture() {
    PixelFormat f{0, header.bit_count, 0, 0, 0, 0};
    if (header.compression == BITMAP_BIT_FIELDS) {
      f.red_mask = header.masks[0], f.green_mask = header.masks[1], f.blue_mask = header.masks[2];
    } else if (header.bit_count == 16) {
      f.red_mask = 0x7C00, f.green_mask = 0x03E0, f.blue_mask = 0x001F;
    } else {
      f.red_mask = 0xFF0000, f.green_mask = 0xFF00, f.blue_mask = 0xFF;
    }
    const uint32_t rows = uint32_t(header.height < 0 ? -int64_t{header.height} : header.height);
    // A positive height stores the bottom row first.
    uint8_t* first = header.height < 0 ? memory.data() : memory.data() + size_t(stride) * (rows - 1);
    return {f, first, header.height < 0 ? stride : -stride, uint32_t(header.width), rows};
  }
};

struct HeadlessContext final : MemoryContext {
  GdiBitmap* selected = nullptr;
};

class HeadlessDevice final : public DisplayDevice {
 public:
  HeadlessDisplayConfig config;
  HeadlessDisplayObjects live{};
  std::vector<std::string> log;
  std::vector<HeadlessSurface*> overlays;
  WindowHandle presenting = nullptr;
  FrameKeeper frames;
  HeadlessBitmap stock_bitmap;

  // The screen follows the headless desktop; a new mode gives a black screen.
  PixelPicture Screen() {
    const DesktopMode mode = HeadlessDesktop();
    if (mode.width != screen_mode_.width || mode.height != screen_mode_.height ||
        mode.bits_per_pixel != screen_mode_.bits_per_pixel || screen_.empty()) {
      screen_mode_ = mode;
      const uint32_t width = uint32_t(std::max(mode.width, 1));
      const uint32_t height = uint32_t(std::max(mode.height, 1));
      screen_pitch_ = AlignedPitch(uint64_t{width} * uint32_t((mode.bits_per_pixel + 7) / 8));
      screen_.assign(size_t(screen_pitch_) * height, 0);
    }
    return {ScreenFormat(), screen_.data(), screen_pitch_, uint32_t(std::max(mode.width, 0)),
            uint32_t(std::max(mode.height, 0))};
  }

  PixelFormat ScreenFormat() const {
    const DesktopMode mode = HeadlessDesktop();
    PixelFormat f{0, uint32_t(mode.bits_per_pixel), 0, 0, 0, 0};
    if (mode.bits_per_pixel == 8) return f;
    if (config.red_mask || config.green_mask || config.blue_mask) {
      f.red_mask = config.red_mask, f.green_mask = config.green_mask;
      f.blue_mask = config.blue_mask, f.alpha_mask = config.alpha_mask;
    } else if (mode.bits_per_pixel == 16) {
      f.red_mask = 0xF800, f.green_mask = 0x07E0, f.blue_mask = 0x001F;
    } else {
      f.red_mask = 0xFF0000, f.green_mask = 0xFF00, f.blue_mask = 0xFF;
    }
    return f;
  }

  void Reset(const HeadlessDisplayConfig& c) {
    config = c;
    log.clear();
    overlays.clear();
    presenting = nullptr;
    frames.Restart();
    if (original_) SetHeadlessDesktop(*original_);
    original_.reset();
    live = {};
    cursor_saved_.clear();
    screen_.clear();
  }

  // A full-screen mode switch (both paths).
  bool Switch(uint32_t width, uint32_t height, uint32_t bits) {
    if (width == 0 || height == 0 || width > 16384 || height > 16384) return false;
    if (bits ? std::find(config.mode_depths.begin(), config.mode_depths.end(), int32_t(bits)) ==
                   config.mode_depths.end()
             : !config.size_only_switch)
      return false;
    const DesktopMode now = HeadlessDesktop();
    if (!original_) original_ = now;
    const int32_t depth =
        bits ? (config.depth_after_switch ? config.depth_after_switch : int32_t(bits))
             : now.bits_per_pixel;
    SetHeadlessDesktop({int32_t(width), int32_t(height), depth});
    live.mode_switched = true;
    return true;
  }

  void RestoreMode() {
    if (original_) SetHeadlessDesktop(*original_);
    original_.reset();
    live.mode_switched = false;
  }

  void Present();

  void Log(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log.push_back(line);
  }

  // --- DisplayDevice ---
  bool LoadDirectDraw() override {
    log.push_back(config.directdraw_library ? "LoadDirectDraw" : "LoadDirectDraw failed");
    return config.directdraw_library;
  }
  DrawResult DirectDrawCreate(DirectDraw** out) override;

  bool ChangeDisplaySettings(const DisplaySettings* mode) override {
    if (!mode) {
      log.push_back("ChangeDisplaySettings restore");
      RestoreMode();
      return true;
    }
    const bool ok = Switch(mode->width, mode->height, mode->bits_per_pixel);
    Log("ChangeDisplaySettings %ux%ux%u%s", mode->width, mode->height, mode->bits_per_pixel,
        ok ? "" : " failed");
    return ok;
  }
  int32_t DeviceDepth() override { return HeadlessDesktop().bits_per_pixel; }
  Size ScreenSize() override { return {HeadlessDesktop().width, HeadlessDesktop().height}; }

  bool CompatibleBitmapFormat(WindowHandle, BitmapHeader* out) override {
    *out = BitmapHeader{40, 1, 1, 1, uint16_t(HeadlessDesktop().bits_per_pixel), BITMAP_RGB, {}};
    if (HeadlessDesktop().bits_per_pixel != 16) return true;
    if (config.compatible_bitmap == CompatibleBitmap::kBitFields565) {
      out->compression = BITMAP_BIT_FIELDS;
      out->masks[0] = 0xF800, out->masks[1] = 0x07E0, out->masks[2] = 0x001F;
    } else if (config.compatible_bitmap == CompatibleBitmap::kBitFields555) {
      out->compression = BITMAP_BIT_FIELDS;
      out->masks[0] = 0x7C00, out->masks[1] = 0x03E0, out->masks[2] = 0x001F;
    }
    return true;
  }

  GdiBitmap* CreateDibSection(WindowHandle, const BitmapHeader& h, void** bits) override {
    *bits = nullptr;
    const bool known_depth = h.bit_count == 16 || h.bit_count == 24 || h.bit_count == 32;
    const bool known_compression =
        h.compression == BITMAP_RGB || (h.compression == BITMAP_BIT_FIELDS && h.bit_count != 24);
    if (!config.dib_section || h.size != 40 || h.planes != 1 || !known_depth ||
        !known_compression || h.width <= 0 || h.height == 0) {
      log.push_back("CreateDIBSection failed");
      return nullptr;
    }
    const uint64_t stride = (uint64_t(uint32_t(h.width)) * h.bit_count + 31) / 32 * 4;
    const uint64_t rows = h.height < 0 ? uint64_t(-int64_t{h.height}) : uint64_t(h.height);
    if (stride * rows > config.memory_limit) {
      log.push_back("CreateDIBSection failed");
      return nullptr;
    }
    auto* bitmap = new HeadlessBitmap;
    bitmap->header = h;
    bitmap->stride = int32_t(stride);
    bitmap->memory.assign(size_t(stride * rows), 0);
    *bits = bitmap->memory.data();
    ++live.bitmaps;
    Log("CreateDIBSection %dx%dx%u", h.width, h.height, unsigned(h.bit_count));
    return bitmap;
  }
  MemoryContext* CreateCompatibleDC(WindowHandle) override {
    if (!config.memory_context) return nullptr;
    auto* context = new HeadlessContext;
    context->selected = &stock_bitmap;
    ++live.contexts;
    return context;
  }
  GdiBitmap* SelectObject(MemoryContext* context, GdiBitmap* bitmap) override {
    auto* c = static_cast<HeadlessContext*>(context);
    GdiBitmap* previous = c->selected;
    c->selected = bitmap;
    return previous;
  }
  void DeleteDC(MemoryContext* context) override {
    if (!context) return;
    --live.contexts;
    delete static_cast<HeadlessContext*>(context);
  }
  void DeleteObject(GdiBitmap* bitmap) override {
    if (!bitmap || bitmap == &stock_bitmap) return;
    --live.bitmaps;
    delete static_cast<HeadlessBitmap*>(bitmap);
  }
  bool StretchBlt(WindowHandle window, const Rect& dest, MemoryContext* context,
                  const Rect& source) override {
    auto* c = static_cast<HeadlessContext*>(context);
    if (!window || !c || c->selected == &stock_bitmap || !c->selected) return false;
    const PixelPicture from = static_cast<HeadlessBitmap*>(c->selected)->Picture();
    Log("StretchBlt %s <- %s", RectText(dest).c_str(), RectText(source).c_str());
    if (!Inside(source, from) || Empty(source) || Empty(dest)) return false;
    const Point origin = window->ClientOrigin();
    const Rect client = window->ClientRect();
    const Rect on_screen = {origin.x + dest.left, origin.y + dest.top, origin.x + dest.right,
                            origin.y + dest.bottom};
    const PixelPicture screen = Screen();
    const Rect clip = Intersect(Whole(screen), {origin.x, origin.y, origin.x + client.Width(),
                                                origin.y + client.Height()});
    Stretch(from, source, screen, on_screen, clip);
    presenting = window;
    Present();
    return true;
  }

  bool HasMouse() override { return config.mouse; }
  Point CursorPos() override { return config.cursor; }
  Size CursorSize() override { return {32, 32}; }
  int32_t ShowCursor(bool show) override {
    const int32_t before = live.cursor_count;
    live.cursor_count += show ? 1 : -1;
    if (config.software_cursor) {
      if (before < 0 && live.cursor_count >= 0) SaveUnderCursor();
      if (before >= 0 && live.cursor_count < 0) RestoreUnderCursor();
    }
    return live.cursor_count;
  }
  CursorHandle ClassCursor(WindowHandle) override { return kClassCursor; }
  CursorHandle SetCursor(CursorHandle cursor) override {
    const CursorHandle previous = shape_;
    shape_ = cursor;
    return previous;
  }
  bool CreateProbeWindow(const Rect& rect, CursorHandle) override {
    if (live.probe_windows) return false;
    ++live.probe_windows;
    Log("CreateProbeWindow %s", RectText(rect).c_str());
    return true;
  }
  void DestroyProbeWindow() override {
    if (live.probe_windows) --live.probe_windows;
  }
  uint32_t GetPixel(Point p) override {
    const PixelPicture s = Screen();
    if (p.x < 0 || p.y < 0 || uint32_t(p.x) >= s.width || uint32_t(p.y) >= s.height)
      return 0xFFFFFFFF;
    return ReadRaw(s, uint32_t(p.x), uint32_t(p.y));
  }
  void SetPixel(Point p, uint32_t colour) override {
    const PixelPicture s = Screen();
    if (p.x < 0 || p.y < 0 || uint32_t(p.x) >= s.width || uint32_t(p.y) >= s.height) return;
    WriteRaw(s, uint32_t(p.x), uint32_t(p.y), colour);
  }

 private:
  struct Saved {
    Point at;
    uint32_t value;
  };

  // A software cursor keeps what was under it while it shows.
  void SaveUnderCursor() {
    cursor_saved_.clear();
    const Size size = CursorSize();
    for (int32_t y = 0; y < size.height; ++y)
      for (int32_t x = 0; x < size.width; ++x) {
        const Point p{config.cursor.x + x, config.cursor.y + y};
        const uint32_t v = GetPixel(p);
        if (v != 0xFFFFFFFF) cursor_saved_.push_back({p, v});
      }
  }
  void RestoreUnderCursor() {
    for (const Saved& s : cursor_saved_) SetPixel(s.at, s.value);
    cursor_saved_.clear();
  }

  DesktopMode screen_mode_{};
  std::vector<uint8_t> screen_;
  int32_t screen_pitch_ = 0;
  std::optional<DesktopMode> original_;
  std::vector<Saved> cursor_saved_;
  CursorHandle shape_ = kClassCursor;
};

HeadlessDevice& Device() {
  static HeadlessDevice device;
  return device;
}

class HeadlessClipper final : public DrawClipper {
 public:
  WindowHandle window = nullptr;

  DrawResult SetWindow(WindowHandle w) override {
    window = w;
    Device().presenting = w;
    return DrawResult::kOk;
  }
  void Release() override {
    --Device().live.clippers;
    delete this;
  }
};

class HeadlessSurface final : public DrawSurface {
 public:
  SurfaceKind kind;
  SurfaceMemory memory;
  PixelFormat format{};
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;
  int32_t pitch = 0;
  bool lost = false, locked = false;
  HeadlessClipper* clipper = nullptr;
  // Overlay state.
  bool shown = false;
  Rect source{}, dest{};
  uint32_t key = 0;

  HeadlessSurface(SurfaceKind k, SurfaceMemory m) : kind(k), memory(m) {}

  PixelPicture Picture() {
    if (kind == SurfaceKind::kPrimary) return Device().Screen();
    return {format, bytes.data(), pitch, width, height};
  }

  DrawResult Lock(LockedSurface* out) override {
    HeadlessDevice& d = Device();
    if (locked) return DrawResult::kFailed;
    if (kind == SurfaceKind::kPrimary && !d.config.primary_lockable) return DrawResult::kCannotLock;
    if (!lost && d.config.lost_locks > 0) {
      --d.config.lost_locks;
      lost = true;
    }
    if (lost) return DrawResult::kSurfaceLost;
    const PixelPicture p = Picture();
    out->bits = p.bits;
    out->pitch = p.pitch;
    locked = true;
    return DrawResult::kOk;
  }
  DrawResult Unlock() override {
    if (!locked) return DrawResult::kFailed;
    locked = false;
    if (kind == SurfaceKind::kPrimary) Device().Present();
    return DrawResult::kOk;
  }
  DrawResult Restore() override {
    if (!Device().config.restore) return DrawResult::kFailed;
    lost = false;
    return DrawResult::kOk;
  }
  DrawResult GetPixelFormat(PixelFormat* out) override {
    *out = kind == SurfaceKind::kPrimary ? Device().ScreenFormat() : format;
    return DrawResult::kOk;
  }
  DrawResult Blt(const Rect* dest_rect, DrawSurface* source_surface,
                 const Rect* source_rect) override {
    auto* from_surface = static_cast<HeadlessSurface*>(source_surface);
    if (!from_surface) return DrawResult::kFailed;
    if (lost || from_surface->lost) return DrawResult::kSurfaceLost;
    const PixelPicture from = from_surface->Picture(), to = Picture();
    const Rect s = source_rect ? *source_rect : Whole(from);
    const Rect d = dest_rect ? *dest_rect : Whole(to);
    Device().Log("Blt %s <- %s", RectText(d).c_str(), RectText(s).c_str());
    if (to.format.fourcc || !Inside(s, from) || Empty(s) || Empty(d)) return DrawResult::kFailed;
    Rect clip;
    if (!ClipFor(d, to, &clip)) return DrawResult::kFailed;
    Stretch(from, s, to, d, clip);
    if (kind == SurfaceKind::kPrimary) Device().Present();
    return DrawResult::kOk;
  }
  DrawResult ColorFill(const Rect* dest_rect, uint32_t colour) override {
    if (lost) return DrawResult::kSurfaceLost;
    const PixelPicture to = Picture();
    const Rect d = dest_rect ? *dest_rect : Whole(to);
    Device().Log("ColorFill %s 0x%X", RectText(d).c_str(), colour);
    Rect clip;
    if (to.format.fourcc || Empty(d) || !ClipFor(d, to, &clip)) return DrawResult::kFailed;
    const Rect visible = Intersect(d, clip);
    for (int32_t y = visible.top; y < visible.bottom; ++y)
      for (int32_t x = visible.left; x < visible.right; ++x)
        WriteRaw(to, uint32_t(x), uint32_t(y), colour);
    if (kind == SurfaceKind::kPrimary) Device().Present();
    return DrawResult::kOk;
  }
  DrawResult UpdateOverlay(const Rect* src, DrawSurface* destination, const Rect* dst,
                           uint32_t flags, uint32_t colour_key) override {
    HeadlessDevice& d = Device();
    if (kind != SurfaceKind::kOverlay || !destination) return DrawResult::kFailed;
    if (flags & OVERLAY_HIDE) {
      d.log.push_back("UpdateOverlay hide");
      shown = false;
    } else {
      const PixelPicture self = Picture();
      const PixelPicture screen = static_cast<HeadlessSurface*>(destination)->Picture();
      const Rect s = src ? *src : Whole(self);
      const Rect t = dst ? *dst : Whole(screen);
      d.Log("UpdateOverlay %s %s -> %s key 0x%X", flags & OVERLAY_SHOW ? "show" : "move",
            RectText(s).c_str(), RectText(t).c_str(), colour_key);
      if (!Inside(s, self) || !Inside(t, screen) || Empty(s) || Empty(t))
        return DrawResult::kFailed;
      source = s, dest = t, key = colour_key;
      if (flags & OVERLAY_SHOW) shown = true;
    }
    d.Present();
    return DrawResult::kOk;
  }
  DrawResult SetClipper(DrawClipper* c) override {
    clipper = static_cast<HeadlessClipper*>(c);
    return DrawResult::kOk;
  }
  void Release() override {
    HeadlessDevice& d = Device();
    std::erase(d.overlays, this);
    --d.live.surfaces;
    d.log.push_back("Release surface");
    delete this;
  }

 private:
  // Blits into the primary are clipped to the clipper's window; anything else
  // must lie inside the surface.
  bool ClipFor(const Rect& d, const PixelPicture& to, Rect* clip) {
    *clip = Whole(to);
    if (kind == SurfaceKind::kPrimary && clipper && clipper->window) {
      const Point o = clipper->window->ClientOrigin();
      const Rect c = clipper->window->ClientRect();
      *clip = Intersect(*clip, {o.x, o.y, o.x + c.Width(), o.y + c.Height()});
      return true;
    }
    return Inside(d, to);
  }
};

class HeadlessDirectDraw final : public DirectDraw {
 public:
  DrawResult SetCooperativeLevel(WindowHandle window, uint32_t level) override {
    HeadlessDevice& d = Device();
    d.Log("SetCooperativeLevel %u", level);
    if (!d.config.cooperative_level || !window) return DrawResult::kFailed;
    exclusive_ = level == COOPERATIVE_EXCLUSIVE_FULL_SCREEN;
    d.presenting = window;
    return DrawResult::kOk;
  }
  DrawResult SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) override {
    HeadlessDevice& d = Device();
    const bool ok = exclusive_ && d.Switch(width, height, bits);
    d.Log("SetDisplayMode %ux%ux%u%s", width, height, bits, ok ? "" : " failed");
    switched_ = switched_ || ok;
    return ok ? DrawResult::kOk : DrawResult::kFailed;
  }
  DrawResult CreateSurface(const SurfaceDescription& desc, DrawSurface** out) override {
    HeadlessDevice& d = Device();
    *out = nullptr;
    char what[64];
    if (desc.kind == SurfaceKind::kPrimary) {
      std::snprintf(what, sizeof what, "primary");
    } else {
      const char fourcc[5] = {char(desc.fourcc), char(desc.fourcc >> 8), char(desc.fourcc >> 16),
                              char(desc.fourcc >> 24), 0};
      std::snprintf(what, sizeof what, "%s %s %s %ux%u",
                    desc.kind == SurfaceKind::kOverlay ? "overlay" : "off-screen",
                    desc.fourcc ? fourcc : "RGB",
                    desc.memory == SurfaceMemory::kSystem ? "system" : "video", desc.width,
                    desc.height);
    }
    bool allowed = false;
    switch (desc.kind) {
      case SurfaceKind::kPrimary:
        allowed = d.config.primary_surface;
        break;
      case SurfaceKind::kOverlay:
        allowed = d.config.overlays && IsYuv(desc.fourcc) && desc.memory == SurfaceMemory::kVideo;
        break;
      case SurfaceKind::kOffscreen:
        allowed = desc.fourcc ? IsYuv(desc.fourcc) && d.config.yuv_offscreen
                  : desc.memory == SurfaceMemory::kVideo ? d.config.rgb_video_offscreen
                                                         : d.config.rgb_system_offscreen;
        break;
    }
    auto* s = new HeadlessSurface(desc.kind, desc.memory);
    if (allowed && desc.kind != SurfaceKind::kPrimary) {
      s->format = desc.fourcc ? PixelFormat{desc.fourcc, desc.fourcc == FOURCC_YV12 ? 12u : 16u,
                                            0, 0, 0, 0}
                              : d.ScreenFormat();
      s->width = desc.width, s->height = desc.height;
      const uint64_t pitch = (uint64_t{desc.width} * BytesPerPixel(s->format) + 15) & ~15ull;
      // YV12: V and U planes below the luma rows, room for a last odd chroma row.
      const uint64_t chroma =
          desc.fourcc == FOURCC_YV12 ? (pitch / 2) * (uint64_t{desc.height} / 2 * 2 + 2) : 0;
      const uint64_t total = pitch * desc.height + chroma;
      allowed = desc.width && desc.height && total <= d.config.memory_limit;
      if (allowed) {
        s->pitch = int32_t(pitch);
        s->bytes.assign(size_t(total), 0);
      }
    }
    d.Log("CreateSurface %s%s", what, allowed ? "" : " failed");
    if (!allowed) {
      delete s;
      return DrawResult::kFailed;
    }
    if (desc.kind == SurfaceKind::kOverlay) d.overlays.push_back(s);
    ++d.live.surfaces;
    *out = s;
    return DrawResult::kOk;
  }
  DrawResult GetCaps(DrawCaps* out) override {
    *out = {Device().config.overlay_fx, Device().config.blit_fx};
    return DrawResult::kOk;
  }
  DrawResult CreateClipper(DrawClipper** out) override {
    *out = nullptr;
    if (!Device().config.clipper) return DrawResult::kFailed;
    *out = new HeadlessClipper;
    ++Device().live.clippers;
    return DrawResult::kOk;
  }
  void Release() override {
    HeadlessDevice& d = Device();
    // Leaving exclusive mode gives the screen its mode back.
    if (switched_) d.RestoreMode();
    --d.live.directdraw;
    d.log.push_back("Release DirectDraw");
    delete this;
  }

 private:
  bool exclusive_ = false;
  bool switched_ = false;
};

DrawResult HeadlessDevice::DirectDrawCreate(DirectDraw** out) {
  *out = nullptr;
  if (!config.directdraw_object) return DrawResult::kFailed;
  *out = new HeadlessDirectDraw;
  ++live.directdraw;
  return DrawResult::kOk;
}

void HeadlessDevice::Present() {
  if (!presenting) return;
  std::vector<OverlayView> views;
  for (HeadlessSurface* o : overlays)
    if (o->shown) views.push_back({o->Picture(), o->source, o->dest, o->key});
  frames.Capture(presenting, Screen(), views, config.keep_frames);
}

}  // namespace

uint32_t KeptFrame::At(int32_t x, int32_t y) const {
  const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

void ConfigureHeadlessDisplay(const HeadlessDisplayConfig& config) { Device().Reset(config); }
HeadlessDisplayConfig& HeadlessDisplaySettings() { return Device().config; }
HeadlessDisplayObjects HeadlessDisplayLive() { return Device().live; }
const std::vector<std::string>& HeadlessDisplayLog() { return Device().log; }
void ClearHeadlessDisplayLog() { Device().log.clear(); }
const std::vector<KeptFrame>& HeadlessFrames() { return Device().frames.Frames(); }
uint64_t HeadlessFramesPresented() { return Device().frames.Presented(); }

uint32_t HeadlessScreenPixel(int32_t x, int32_t y) {
  const uint32_t v = Device().GetPixel({x, y});
  return v == 0xFFFFFFFF ? 0 : v;
}

DisplayDevice& HeadlessDisplayDevice() { return Device(); }

}  // namespace vexil::platform
