#include "platform/sdl/display_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/sdl/window_sdl.h"

namespace vexil::platform {
namespace {

constexpr uint64_t kMemoryLimit = uint64_t{512} << 20;

bool IsYuv(uint32_t fourcc) {
  return fourcc == FOURCC_YV12 || fourcc == FOURCC_YUY2 || fourcc == FOURCC_UYVY;
}

// SDL's packed formats as DirectDraw describes them: bits per pixel is the
// storage (32 for XRGB8888), masks as SDL gives them.
PixelFormat FormatFromSdl(Uint32 sdl) {
  int bpp = 0;
  Uint32 r = 0, g = 0, b = 0, a = 0;
  if (!SDL_PixelFormatEnumToMasks(sdl, &bpp, &r, &g, &b, &a)) return {};
  return {0, uint32_t(SDL_BYTESPERPIXEL(sdl)) * 8, r, g, b, a};
}

Uint32 SdlFromFormat(const PixelFormat& f) {
  switch (f.fourcc) {
    case FOURCC_YV12:
      return SDL_PIXELFORMAT_YV12;
    case FOURCC_YUY2:
      return SDL_PIXELFORMAT_YUY2;
    case FOURCC_UYVY:
      return SDL_PIXELFORMAT_UYVY;
    case 0:
      if (f.bits_per_pixel == 8) return SDL_PIXELFORMAT_UNKNOWN;  // palettized
      return SDL_MasksToPixelFormatEnum(int(f.bits_per_pixel), f.red_mask, f.green_mask,
                                        f.blue_mask, f.alpha_mask);
    default:
      return SDL_PIXELFORMAT_UNKNOWN;
  }
}

uint32_t BytesOf(const PixelFormat& f) {
  if (f.fourcc == FOURCC_YV12) return 1;
  if (f.fourcc) return 2;
  return (f.bits_per_pixel + 7) / 8;
}

SDL_Rect ToSdl(const Rect& r) { return {r.left, r.top, r.Width(), r.Height()}; }

// A picture in memory, laid out as the display device promises (YV12: V and
// U planes of height / 2 rows at half pitch below the luma rows).
struct Memory {
  PixelFormat format{};
  uint32_t width = 0, height = 0;
  int32_t pitch = 0;
  std::vector<uint8_t> bytes;

  bool Allocate(const PixelFormat& f, uint32_t w, uint32_t h) {
    format = f, width = w, height = h;
    const uint64_t p = (uint64_t{w} * BytesOf(f) + 15) & ~uint64_t{15};
    const uint64_t chroma = f.fourcc == FOURCC_YV12 ? (p / 2) * (uint64_t{h} / 2 * 2 + 2) : 0;
    const uint64_t total = p * h + chroma;
    if (w == 0 || h == 0 || total > kMemoryLimit) return false;
    pitch = int32_t(p);
    bytes.assign(size_t(total), 0);
    return true;
  }
  // Copies the whole picture into a streaming texture of the same format.
  void UploadTo(SDL_Texture* texture) const {
    if (format.fourcc == FOURCC_YV12) {
      UploadYv12(texture);
    } else {
      SDL_UpdateTexture(texture, nullptr, bytes.data(), pitch);
    }
  }

  // A texture of odd height takes (height + 1) / 2 chroma rows, one more than
  // the planes hold: the even rows go as they are, and the last luma row gets
  // the last chroma row again (grey when the picture is one row high), so the
  // texture never reads the other plane or memory nobody wrote.
  void UploadYv12(SDL_Texture* texture) const {
    const int32_t half = pitch / 2;
    const uint32_t chroma_rows = height / 2;
    const uint8_t* luma = bytes.data();
    const uint8_t* v = luma + size_t(pitch) * height;
    const uint8_t* u = v + size_t(half) * chroma_rows;
    if (chroma_rows) {
      const SDL_Rect even{0, 0, int(width), int(chroma_rows * 2)};
      SDL_UpdateYUVTexture(texture, &even, luma, pitch, u, half, v, half);
    }
    if (height % 2 == 0) return;
    const size_t last_chroma = size_t(half) * (chroma_rows ? chroma_rows - 1 : 0);
    const std::vector<uint8_t> grey(chroma_rows ? 0 : size_t(half), 128);
    const SDL_Rect last{0, int(height - 1), int(width), 1};
    SDL_UpdateYUVTexture(texture, &last, luma + size_t(pitch) * (height - 1), pitch,
                         chroma_rows ? u + last_chroma : grey.data(), half,
                         chroma_rows ? v + last_chroma : grey.data(), half);
  }
};

struct OverlayDraw {
  SDL_Texture* texture;
  SDL_Rect source;
  Rect dest;  // screen pixels
};

// What the device draws for one window: its renderer and a canvas holding
// the window's picture between presentations.
class Presenter {
 public:
  explicit Presenter(SdlWindow* window) : window_(window) {
    renderer_ = SDL_CreateRenderer(window->sdl_window(), -1, SDL_RENDERER_TARGETTEXTURE);
  }
  ~Presenter() {
    for (Scratch& s : scratch_) SDL_DestroyTexture(s.texture);
    if (canvas_) SDL_DestroyTexture(canvas_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
  }
  Presenter(const Presenter&) = delete;
  Presenter& operator=(const Presenter&) = delete;

  SDL_Renderer* renderer() const { return renderer_; }
  SdlWindow* window() const { return window_; }

  // Draws `source` of `texture` into `dest` (client pixels) of the canvas.
  void Draw(SDL_Texture* texture, const SDL_Rect* source, const SDL_Rect& dest) {
    if (!Canvas()) return;
    SDL_RenderCopy(renderer_, texture, source, &dest);
  }
  void Fill(const SDL_Rect& dest, uint8_t r, uint8_t g, uint8_t b) {
    if (!Canvas()) return;
    SDL_SetRenderDrawColor(renderer_, r, g, b, 255);
    SDL_RenderFillRect(renderer_, &dest);
  }
  // `rows` x `columns` pixels of memory at `first` put into a scratch texture.
  SDL_Texture* Upload(Uint32 format, const uint8_t* first, int32_t pitch, int width, int height) {
    SDL_Texture* texture = ScratchTexture(format, width, height);
    if (texture) {
      const SDL_Rect area{0, 0, width, height};
      SDL_UpdateTexture(texture, &area, first, pitch);
    }
    return texture;
  }
  // Shows the canvas with the overlays on top.
  void Present(const std::vector<OverlayDraw>& overlays) {
    if (!Canvas()) return;
    SDL_SetRenderTarget(renderer_, nullptr);
    SDL_RenderCopy(renderer_, canvas_, nullptr, nullptr);
    const Point origin = window_->ClientOrigin();
    for (const OverlayDraw& o : overlays) {
      const SDL_Rect dest{o.dest.left - origin.x, o.dest.top - origin.y, o.dest.Width(),
                          o.dest.Height()};
      SDL_RenderCopy(renderer_, o.texture, &o.source, &dest);
    }
    SDL_RenderPresent(renderer_);
    SDL_SetRenderTarget(renderer_, canvas_);
  }

 private:
  struct Scratch {
    Uint32 format;
    int width, height;
    SDL_Texture* texture;
  };

  // The canvas follows the client size; a new one starts black.
  bool Canvas() {
    if (!renderer_) return false;
    const Rect client = window_->ClientRect();
    if (!canvas_ || client.Width() != canvas_width_ || client.Height() != canvas_height_) {
      if (canvas_) SDL_DestroyTexture(canvas_);
      canvas_width_ = std::max(client.Width(), 1), canvas_height_ = std::max(client.Height(), 1);
      canvas_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                  canvas_width_, canvas_height_);
      if (!canvas_) return false;
      SDL_SetRenderTarget(renderer_, canvas_);
      SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
      SDL_RenderClear(renderer_);
    }
    SDL_SetRenderTarget(renderer_, canvas_);
    return true;
  }

  SDL_Texture* ScratchTexture(Uint32 format, int width, int height) {
    for (Scratch& s : scratch_)
      if (s.format == format && s.width >= width && s.height >= height) return s.texture;
    SDL_Texture* texture =
        SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, width, height);
    if (!texture) return nullptr;
    // Memory pictures stretch like GDI's colour-on-colour mode: nearest pixel.
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    if (scratch_.size() == 4) {
      SDL_DestroyTexture(scratch_.front().texture);
      scratch_.erase(scratch_.begin());
    }
    scratch_.push_back({format, width, height, texture});
    return texture;
  }

  SdlWindow* window_;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* canvas_ = nullptr;
  int canvas_width_ = 0, canvas_height_ = 0;
  std::vector<Scratch> scratch_;
};

class SdlSurface;

class SdlDevice final : public DisplayDevice {
 public:
  std::set<SdlWindow*> windows;  // every SDL window alive
  std::map<SdlWindow*, std::unique_ptr<Presenter>> presenters;
  std::set<SdlSurface*> surfaces;
  Memory primary;  // the screen, as the primary surface shows it
  bool full_screen = false;
  SDL_DisplayMode mode{};  // the full-screen mode in force

  Presenter* PresenterFor(SdlWindow* window) {
    if (!window) return nullptr;
    auto it = presenters.find(window);
    if (it == presenters.end())
      it = presenters.emplace(window, std::make_unique<Presenter>(window)).first;
    return it->second->renderer() ? it->second.get() : nullptr;
  }

  SDL_DisplayMode Current() {
    SDL_DisplayMode m{};
    if (full_screen) return mode;
    if (!SdlVideoReady() || SDL_GetDesktopDisplayMode(0, &m) != 0) return {};
    return m;
  }

  PixelFormat ScreenFormat() { return FormatFromSdl(Current().format); }

  // The primary's memory follows the screen's mode.
  Memory& Primary() {
    const SDL_DisplayMode m = Current();
    const PixelFormat f = ScreenFormat();
    if (primary.width != uint32_t(m.w) || primary.height != uint32_t(m.h) || !(primary.format == f))
      primary.Allocate(f, uint32_t(std::max(m.w, 0)), uint32_t(std::max(m.h, 0)));
    return primary;
  }

  void Present(SdlWindow* window);
  void PresentPrimary(SdlWindow* window);

  // A full-screen mode from SDL's list for the display; bits 0: any depth.
  bool Switch(uint32_t width, uint32_t height, uint32_t bits) {
    if (!SdlVideoReady() || windows.empty()) return false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
      SDL_DisplayMode m{};
      if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
      if (uint32_t(m.w) != width || uint32_t(m.h) != height) continue;
      if (bits && uint32_t(SDL_BYTESPERPIXEL(m.format)) * 8 != bits) continue;
      for (SdlWindow* w : windows) {
        SDL_SetWindowDisplayMode(w->sdl_window(), &m);
        SDL_SetWindowFullscreen(w->sdl_window(), SDL_WINDOW_FULLSCREEN);
      }
      mode = m;
      full_screen = true;
      return true;
    }
    return false;
  }
  void LeaveFullScreen() {
    if (!full_screen) return;
    for (SdlWindow* w : windows) SDL_SetWindowFullscreen(w->sdl_window(), 0);
    full_screen = false;
  }

  // --- DisplayDevice ---
  bool LoadDirectDraw() override { return SdlVideoReady(); }
  DrawResult DirectDrawCreate(DirectDraw** out) override;

  bool ChangeDisplaySettings(const DisplaySettings* m) override {
    if (!m) {
      LeaveFullScreen();
      return true;
    }
    return Switch(m->width, m->height, m->bits_per_pixel);
  }
  int32_t DeviceDepth() override { return int32_t(ScreenFormat().bits_per_pixel); }
  Size ScreenSize() override {
    const SDL_DisplayMode m = Current();
    return {m.w, m.h};
  }
  bool CompatibleBitmapFormat(WindowHandle, BitmapHeader* out) override {
    const PixelFormat f = ScreenFormat();
    *out = BitmapHeader{40, 1, 1, 1, uint16_t(f.bits_per_pixel), BITMAP_RGB, {}};
    if (f.bits_per_pixel == 16) {
      out->compression = BITMAP_BIT_FIELDS;
      out->masks[0] = f.red_mask, out->masks[1] = f.green_mask, out->masks[2] = f.blue_mask;
    }
    return f.bits_per_pixel != 0;
  }

  struct Bitmap final : GdiBitmap {
    Memory memory;
  };
  struct Context final : MemoryContext {
    GdiBitmap* selected = nullptr;
  };

  GdiBitmap* CreateDibSection(WindowHandle, const BitmapHeader& h, void** bits) override {
    *bits = nullptr;
    // Top-down DIB sections only: that is what the display buffer makes.
    if (h.size != 40 || h.planes != 1 || h.width <= 0 || h.height >= 0) return nullptr;
    PixelFormat f{0, h.bit_count, 0, 0, 0, 0};
    if (h.compression == BITMAP_BIT_FIELDS && h.bit_count != 24) {
      f.red_mask = h.masks[0], f.green_mask = h.masks[1], f.blue_mask = h.masks[2];
    } else if (h.compression == BITMAP_RGB && h.bit_count == 16) {
      f.red_mask = 0x7C00, f.green_mask = 0x03E0, f.blue_mask = 0x001F;
    } else if (h.compression == BITMAP_RGB && (h.bit_count == 24 || h.bit_count == 32)) {
      f.red_mask = 0xFF0000, f.green_mask = 0xFF00, f.blue_mask = 0xFF;
    } else {
      return nullptr;
    }
    if (SdlFromFormat(f) == SDL_PIXELFORMAT_UNKNOWN) return nullptr;
    auto bitmap = std::make_unique<Bitmap>();
    // GDI rows are rounded up to 4 bytes.
    const uint64_t stride = (uint64_t(uint32_t(h.width)) * h.bit_count + 31) / 32 * 4;
    const uint64_t rows = uint64_t(-int64_t{h.height});
    if (stride * rows > kMemoryLimit) return nullptr;
    bitmap->memory.format = f;
    bitmap->memory.width = uint32_t(h.width);
    bitmap->memory.height = uint32_t(rows);
    bitmap->memory.pitch = int32_t(stride);
    bitmap->memory.bytes.assign(size_t(stride * rows), 0);
    *bits = bitmap->memory.bytes.data();
    return bitmap.release();
  }
  MemoryContext* CreateCompatibleDC(WindowHandle) override { return new Context; }
  GdiBitmap* SelectObject(MemoryContext* context, GdiBitmap* bitmap) override {
    auto* c = static_cast<Context*>(context);
    GdiBitmap* previous = c->selected;
    c->selected = bitmap;
    return previous;
  }
  void DeleteDC(MemoryContext* context) override { delete static_cast<Context*>(context); }
  void DeleteObject(GdiBitmap* bitmap) override { delete static_cast<Bitmap*>(bitmap); }
  bool StretchBlt(WindowHandle window, const Rect& dest, MemoryContext* context,
                  const Rect& source) override {
    auto* c = static_cast<Context*>(context);
    if (!window || window->Kind() != Backend::kSdl || !c || !c->selected) return false;
    const Memory& m = static_cast<Bitmap*>(c->selected)->memory;
    if (source.left < 0 || source.top < 0 || source.right > int32_t(m.width) ||
        source.bottom > int32_t(m.height) || source.Width() <= 0 || source.Height() <= 0)
      return false;
    auto* w = static_cast<SdlWindow*>(window);
    Presenter* p = PresenterFor(w);
    if (!p) return false;
    const uint8_t* first =
        m.bytes.data() + size_t(m.pitch) * size_t(source.top) + size_t(source.left) * BytesOf(m.format);
    SDL_Texture* texture =
        p->Upload(SdlFromFormat(m.format), first, m.pitch, source.Width(), source.Height());
    if (!texture) return false;
    const SDL_Rect from{0, 0, source.Width(), source.Height()};
    p->Draw(texture, &from, ToSdl(dest));
    Present(w);
    return true;
  }

  bool HasMouse() override { return true; }
  Point CursorPos() override {
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    return {x, y};
  }
  Size CursorSize() override { return {32, 32}; }
  int32_t ShowCursor(bool show) override {
    cursor_count_ += show ? 1 : -1;
    SDL_ShowCursor(cursor_count_ >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return cursor_count_;
  }
  CursorHandle ClassCursor(WindowHandle) override { return 0; }
  CursorHandle SetCursor(CursorHandle cursor) override {
    const CursorHandle previous = shape_;
    shape_ = cursor;
    return previous;
  }
  // The cursor is the display server's: nothing is drawn into our pictures,
  // so the probe window need not exist and screen pixels are the primary's.
  bool CreateProbeWindow(const Rect&, CursorHandle) override { return true; }
  void DestroyProbeWindow() override {}
  uint32_t GetPixel(Point p) override {
    Memory& m = Primary();
    if (p.x < 0 || p.y < 0 || uint32_t(p.x) >= m.width || uint32_t(p.y) >= m.height)
      return 0xFFFFFFFF;
    const uint8_t* px = m.bytes.data() + size_t(m.pitch) * size_t(p.y) + size_t(p.x) * BytesOf(m.format);
    uint32_t v = 0;
    for (uint32_t i = 0; i < BytesOf(m.format); ++i) v |= uint32_t(px[i]) << (8 * i);
    return v;
  }
  void SetPixel(Point p, uint32_t colour) override {
    Memory& m = Primary();
    if (p.x < 0 || p.y < 0 || uint32_t(p.x) >= m.width || uint32_t(p.y) >= m.height) return;
    uint8_t* px = m.bytes.data() + size_t(m.pitch) * size_t(p.y) + size_t(p.x) * BytesOf(m.format);
    for (uint32_t i = 0; i < BytesOf(m.format); ++i) px[i] = uint8_t(colour >> (8 * i));
  }

 private:
  int32_t cursor_count_ = 0;
  CursorHandle shape_ = 0;
};

SdlDevice& Device() {
  static SdlDevice device;
  return device;
}

class SdlClipper final : public DrawClipper {
 public:
  SdlWindow* window = nullptr;
  DrawResult SetWindow(WindowHandle w) override {
    if (!w || w->Kind() != Backend::kSdl) return DrawResult::kFailed;
    window = static_cast<SdlWindow*>(w);
    return DrawResult::kOk;
  }
  void Release() override { delete this; }
};

class SdlSurface final : public DrawSurface {
 public:
  SurfaceKind kind;
  SurfaceMemory memory_kind;
  SdlWindow* window;  // the DirectDraw object's window
  Memory memory;      // not for the primary
  SDL_Texture* texture = nullptr;  // video memory
  SdlClipper* clipper = nullptr;
  bool locked = false;
  bool shown = false;
  SDL_Rect source{};
  Rect dest{};

  SdlSurface(SurfaceKind k, SurfaceMemory m, SdlWindow* w) : kind(k), memory_kind(m), window(w) {
    Device().surfaces.insert(this);
  }
  ~SdlSurface() override {
    Device().surfaces.erase(this);
    if (texture) SDL_DestroyTexture(texture);
  }

  Memory& Picture() { return kind == SurfaceKind::kPrimary ? Device().Primary() : memory; }

  DrawResult Lock(LockedSurface* out) override {
    if (locked) return DrawResult::kFailed;
    Memory& m = Picture();
    if (m.bytes.empty()) return DrawResult::kFailed;
    out->bits = m.bytes.data();
    out->pitch = m.pitch;
    locked = true;
    return DrawResult::kOk;
  }
  DrawResult Unlock() override {
    if (!locked) return DrawResult::kFailed;
    locked = false;
    if (kind == SurfaceKind::kPrimary) Device().PresentPrimary(window);
    if (texture) memory.UploadTo(texture);
    return DrawResult::kOk;
  }
  DrawResult Restore() override { return DrawResult::kOk; }
  DrawResult GetPixelFormat(PixelFormat* out) override {
    *out = kind == SurfaceKind::kPrimary ? Device().ScreenFormat() : memory.format;
    return DrawResult::kOk;
  }
  // Blits reach the screen only on the primary: drawn into the window.
  DrawResult Blt(const Rect* dest_rect, DrawSurface* source_surface,
                 const Rect* source_rect) override {
    auto* from = static_cast<SdlSurface*>(source_surface);
    SdlWindow* w = Target();
    Presenter* p = Device().PresenterFor(w);
    if (kind != SurfaceKind::kPrimary || !from || from == this || !p) return DrawResult::kFailed;
    const Memory& m = from->memory;
    const Rect s = source_rect ? *source_rect : Rect{0, 0, int32_t(m.width), int32_t(m.height)};
    if (s.left < 0 || s.top < 0 || s.right > int32_t(m.width) || s.bottom > int32_t(m.height) ||
        s.Width() <= 0 || s.Height() <= 0 || !dest_rect)
      return DrawResult::kFailed;
    const Point origin = w->ClientOrigin();
    const SDL_Rect d{dest_rect->left - origin.x, dest_rect->top - origin.y, dest_rect->Width(),
                     dest_rect->Height()};
    if (from->texture) {
      const SDL_Rect area = ToSdl(s);
      p->Draw(from->texture, &area, d);
    } else if (!m.format.fourcc) {
      const uint8_t* first =
          m.bytes.data() + size_t(m.pitch) * size_t(s.top) + size_t(s.left) * BytesOf(m.format);
      SDL_Texture* t = p->Upload(SdlFromFormat(m.format), first, m.pitch, s.Width(), s.Height());
      if (!t) return DrawResult::kFailed;
      const SDL_Rect area{0, 0, s.Width(), s.Height()};
      p->Draw(t, &area, d);
    } else {
      return DrawResult::kFailed;
    }
    Device().Present(w);
    return DrawResult::kOk;
  }
  DrawResult ColorFill(const Rect* dest_rect, uint32_t colour) override {
    SdlWindow* w = Target();
    Presenter* p = Device().PresenterFor(w);
    if (kind != SurfaceKind::kPrimary || !p || !dest_rect) return DrawResult::kFailed;
    SDL_PixelFormat* f = SDL_AllocFormat(SdlFromFormat(Device().ScreenFormat()));
    if (!f) return DrawResult::kFailed;
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetRGB(colour, f, &r, &g, &b);
    SDL_FreeFormat(f);
    const Point origin = w->ClientOrigin();
    p->Fill({dest_rect->left - origin.x, dest_rect->top - origin.y, dest_rect->Width(),
             dest_rect->Height()},
            r, g, b);
    Device().Present(w);
    return DrawResult::kOk;
  }
  DrawResult UpdateOverlay(const Rect* src, DrawSurface*, const Rect* dst, uint32_t flags,
                           uint32_t) override {
    if (kind != SurfaceKind::kOverlay || !texture) return DrawResult::kFailed;
    if (flags & OVERLAY_HIDE) {
      shown = false;
    } else {
      if (!src || !dst || src->Width() <= 0 || src->Height() <= 0 || dst->Width() <= 0 ||
          dst->Height() <= 0)
        return DrawResult::kFailed;
      source = ToSdl(*src);
      dest = *dst;
      if (flags & OVERLAY_SHOW) shown = true;
    }
    Device().Present(window);
    return DrawResult::kOk;
  }
  DrawResult SetClipper(DrawClipper* c) override {
    clipper = static_cast<SdlClipper*>(c);
    return DrawResult::kOk;
  }
  void Release() override { delete this; }

 private:
  SdlWindow* Target() const { return clipper && clipper->window ? clipper->window : window; }
};

class SdlDirectDraw final : public DirectDraw {
 public:
  DrawResult SetCooperativeLevel(WindowHandle w, uint32_t level) override {
    if (!w || w->Kind() != Backend::kSdl) return DrawResult::kFailed;
    window_ = static_cast<SdlWindow*>(w);
    if (!Device().PresenterFor(window_)) return DrawResult::kFailed;
    exclusive_ = level == COOPERATIVE_EXCLUSIVE_FULL_SCREEN;
    return DrawResult::kOk;
  }
  DrawResult SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) override {
    if (!exclusive_ || !Device().Switch(width, height, bits)) return DrawResult::kFailed;
    switched_ = true;
    return DrawResult::kOk;
  }
  DrawResult CreateSurface(const SurfaceDescription& d, DrawSurface** out) override {
    *out = nullptr;
    if (d.kind == SurfaceKind::kPrimary) {
      if (Device().Primary().bytes.empty()) return DrawResult::kFailed;
      *out = new SdlSurface(d.kind, d.memory, window_);
      return DrawResult::kOk;
    }
    if (d.fourcc && !IsYuv(d.fourcc)) return DrawResult::kFailed;
    if (d.kind == SurfaceKind::kOverlay && (!d.fourcc || d.memory != SurfaceMemory::kVideo))
      return DrawResult::kFailed;
    const PixelFormat f =
        d.fourcc ? PixelFormat{d.fourcc, d.fourcc == FOURCC_YV12 ? 12u : 16u, 0, 0, 0, 0}
                 : Device().ScreenFormat();
    const Uint32 sdl = SdlFromFormat(f);
    Presenter* p = Device().PresenterFor(window_);
    if (sdl == SDL_PIXELFORMAT_UNKNOWN || !p) return DrawResult::kFailed;
    auto s = std::make_unique<SdlSurface>(d.kind, d.memory, window_);
    if (!s->memory.Allocate(f, d.width, d.height)) return DrawResult::kFailed;
    if (d.memory == SurfaceMemory::kVideo) {
      s->texture = SDL_CreateTexture(p->renderer(), sdl, SDL_TEXTUREACCESS_STREAMING,
                                     int(d.width), int(d.height));
      if (!s->texture) return DrawResult::kFailed;
      // Video hardware stretches smoothly.
      SDL_SetTextureScaleMode(s->texture, SDL_ScaleModeLinear);
      s->memory.UploadTo(s->texture);
    } else if (d.fourcc) {
      return DrawResult::kFailed;  // YUV lives in video memory only
    }
    *out = s.release();
    return DrawResult::kOk;
  }
  DrawResult GetCaps(DrawCaps* out) override {
    // The renderer stretches and shrinks by any factor.
    *out = {FX_ALL, FX_ALL};
    return DrawResult::kOk;
  }
  DrawResult CreateClipper(DrawClipper** out) override {
    *out = new SdlClipper;
    return DrawResult::kOk;
  }
  void Release() override {
    if (switched_) Device().LeaveFullScreen();
    delete this;
  }

 private:
  SdlWindow* window_ = nullptr;
  bool exclusive_ = false;
  bool switched_ = false;
};

DrawResult SdlDevice::DirectDrawCreate(DirectDraw** out) {
  *out = SdlVideoReady() ? new SdlDirectDraw : nullptr;
  return *out ? DrawResult::kOk : DrawResult::kFailed;
}

void SdlDevice::Present(SdlWindow* window) {
  Presenter* p = PresenterFor(window);
  if (!p) return;
  std::vector<OverlayDraw> overlays;
  for (SdlSurface* s : surfaces)
    if (s->kind == SurfaceKind::kOverlay && s->shown && s->window == window && s->texture)
      overlays.push_back({s->texture, s->source, s->dest});
  p->Present(overlays);
}

// The part of the primary under the window's client area goes into the window.
void SdlDevice::PresentPrimary(SdlWindow* window) {
  Presenter* p = PresenterFor(window);
  if (!p) return;
  const Memory& m = Primary();
  const Point origin = window->ClientOrigin();
  const Rect client = window->ClientRect();
  const Rect on_screen{std::max(origin.x, 0), std::max(origin.y, 0),
                       std::min<int32_t>(origin.x + client.Width(), int32_t(m.width)),
                       std::min<int32_t>(origin.y + client.Height(), int32_t(m.height))};
  if (on_screen.Width() > 0 && on_screen.Height() > 0) {
    const uint8_t* first = m.bytes.data() + size_t(m.pitch) * size_t(on_screen.top) +
                           size_t(on_screen.left) * BytesOf(m.format);
    SDL_Texture* t =
        p->Upload(SdlFromFormat(m.format), first, m.pitch, on_screen.Width(), on_screen.Height());
    if (t) {
      const SDL_Rect area{0, 0, on_screen.Width(), on_screen.Height()};
      p->Draw(t, &area,
              {on_screen.left - origin.x, on_screen.top - origin.y, on_screen.Width(),
               on_screen.Height()});
    }
  }
  Present(window);
}

}  // namespace

DisplayDevice& SdlDisplayDevice() { return Device(); }

DesktopMode SdlDesktop() {
  SdlDevice& d = Device();
  const SDL_DisplayMode m = d.Current();
  return {m.w, m.h, int32_t(d.ScreenFormat().bits_per_pixel)};
}

void SdlRegisterWindow(SdlWindow* window) { Device().windows.insert(window); }

void SdlFillClient(SdlWindow* window, const Rect& dest, uint32_t rgb) {
  Presenter* p = Device().PresenterFor(window);
  if (!p || dest.Empty()) return;
  p->Fill(ToSdl(dest), uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
  Device().Present(window);
}

void SdlDrawClientPixels(SdlWindow* window, const Rect& dest, const void* argb, int32_t pitch) {
  Presenter* p = Device().PresenterFor(window);
  if (!p || dest.Empty() || !argb) return;
  SDL_Texture* t = p->Upload(SDL_PIXELFORMAT_ARGB8888, static_cast<const uint8_t*>(argb), pitch,
                             dest.Width(), dest.Height());
  if (!t) return;
  const SDL_Rect area{0, 0, dest.Width(), dest.Height()};
  p->Draw(t, &area, ToSdl(dest));
  Device().Present(window);
}

void SdlForgetWindow(SdlWindow* window) {
  SdlDevice& d = Device();
  // Textures die with the window's renderer: surfaces left on it lose them.
  for (SdlSurface* s : d.surfaces) {
    if (s->window != window) continue;
    if (s->texture) SDL_DestroyTexture(s->texture);
    s->texture = nullptr;
    s->window = nullptr;
  }
  d.presenters.erase(window);
  d.windows.erase(window);
}

}  // namespace vexil::platform
