// The Win32 display device: GDI and the window system called directly, and
// DirectDraw loaded from "DDRAW.DLL" when it is first asked for. Every call is
// a plain translation of the mirror's arguments and results.
#include "platform/win32/display_win32.h"

#include <memory>

#include "platform/win32/window_win32.h"
#include "platform/win32/windows_api.h"
// (after windows.h)
#include <ddraw.h>

// The device's own member of that name, not the system's A/W switch.
#undef ChangeDisplaySettings

namespace vexil::platform::win32 {
namespace {

HWND HwndOf(WindowHandle window) { return static_cast<HWND>(WindowHandleOf(window)); }

DrawResult ResultOf(HRESULT hr) {
  if (SUCCEEDED(hr)) return DrawResult::kOk;
  if (hr == DDERR_SURFACELOST) return DrawResult::kSurfaceLost;
  if (hr == DDERR_CANTLOCKSURFACE) return DrawResult::kCannotLock;
  return DrawResult::kFailed;
}

RECT ToRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// --- GDI objects ---

class Win32Bitmap final : public GdiBitmap {
 public:
  explicit Win32Bitmap(HBITMAP bitmap, bool owned) : bitmap(bitmap), owned(owned) {}
  ~Win32Bitmap() override {
    if (owned && bitmap) ::DeleteObject(bitmap);
  }
  HBITMAP bitmap;
  bool owned;
};

class Win32Context final : public MemoryContext {
 public:
  explicit Win32Context(HDC dc) : dc(dc) {}
  ~Win32Context() override {
    if (dc) ::DeleteDC(dc);
  }
  HDC dc;
  // The bitmap a new context holds, handed out by the first SelectObject so
  // that it can be selected back before the context goes.
  Win32Bitmap original{nullptr, false};
};

// --- DirectDraw objects ---

class Win32Clipper final : public DrawClipper {
 public:
  explicit Win32Clipper(IDirectDrawClipper* clipper) : clipper(clipper) {}
  DrawResult SetWindow(WindowHandle window) override {
    return ResultOf(clipper->SetHWnd(0, HwndOf(window)));
  }
  void Release() override {
    clipper->Release();
    delete this;
  }
  IDirectDrawClipper* clipper;
};

class Win32Surface final : public DrawSurface {
 public:
  explicit Win32Surface(IDirectDrawSurface* surface) : surface(surface) {}

  DrawResult Lock(LockedSurface* out) override {
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    const HRESULT hr = surface->Lock(nullptr, &d, DDLOCK_WAIT, nullptr);
    if (FAILED(hr)) return ResultOf(hr);
    out->bits = static_cast<uint8_t*>(d.lpSurface);
    out->pitch = d.lPitch;
    return DrawResult::kOk;
  }
  DrawResult Unlock() override { return ResultOf(surface->Unlock(nullptr)); }
  DrawResult Restore() override { return ResultOf(surface->Restore()); }
  DrawResult GetPixelFormat(PixelFormat* out) override {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof f;
    const HRESULT hr = surface->GetPixelFormat(&f);
    if (FAILED(hr)) return ResultOf(hr);
    *out = {};
    if (f.dwFlags & DDPF_FOURCC) {
      out->fourcc = f.dwFourCC;
      out->bits_per_pixel = f.dwYUVBitCount;
      return DrawResult::kOk;
    }
    out->bits_per_pixel = f.dwRGBBitCount;
    out->red_mask = f.dwRBitMask;
    out->green_mask = f.dwGBitMask;
    out->blue_mask = f.dwBBitMask;
    out->alpha_mask = (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0;
    return DrawResult::kOk;
  }
  DrawResult Blt(const Rect* dest, DrawSurface* source, const Rect* source_rect) override {
    RECT d{}, s{};
    if (dest) d = ToRect(*dest);
    if (source_rect) s = ToRect(*source_rect);
    IDirectDrawSurface* from = source ? static_cast<Win32Surface*>(source)->surface : nullptr;
    return ResultOf(surface->Blt(dest ? &d : nullptr, from, source_rect ? &s : nullptr,
                                 DDBLT_WAIT, nullptr));
  }
  DrawResult ColorFill(const Rect* dest, uint32_t colour) override {
    RECT d{};
    if (dest) d = ToRect(*dest);
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = colour;
    return ResultOf(
        surface->Blt(dest ? &d : nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx));
  }
  DrawResult UpdateOverlay(const Rect* source, DrawSurface* destination, const Rect* dest,
                           uint32_t flags, uint32_t colour_key) override {
    RECT s{}, d{};
    if (source) s = ToRect(*source);
    if (dest) d = ToRect(*dest);
    DWORD system_flags = 0;
    if (flags & OVERLAY_SHOW) system_flags |= DDOVER_SHOW;
    if (flags & OVERLAY_HIDE) system_flags |= DDOVER_HIDE;
    DDOVERLAYFX fx{};
    fx.dwSize = sizeof fx;
    if (flags & OVERLAY_KEY_DEST_OVERRIDE) {
      system_flags |= DDOVER_KEYDESTOVERRIDE;
      fx.dckDestColorkey.dwColorSpaceLowValue = colour_key;
      fx.dckDestColorkey.dwColorSpaceHighValue = colour_key;
    }
    IDirectDrawSurface* to =
        destination ? static_cast<Win32Surface*>(destination)->surface : nullptr;
    return ResultOf(surface->UpdateOverlay(source ? &s : nullptr, to, dest ? &d : nullptr,
                                           system_flags, &fx));
  }
  DrawResult SetClipper(DrawClipper* clipper) override {
    IDirectDrawClipper* c = clipper ? static_cast<Win32Clipper*>(clipper)->clipper : nullptr;
    return ResultOf(surface->SetClipper(c));
  }
  void Release() override {
    surface->Release();
    delete this;
  }

  IDirectDrawSurface* surface;
};

class Win32DirectDraw final : public DirectDraw {
 public:
  explicit Win32DirectDraw(IDirectDraw* draw) : draw_(draw) {}

  DrawResult SetCooperativeLevel(WindowHandle window, uint32_t level) override {
    return ResultOf(draw_->SetCooperativeLevel(HwndOf(window), level));
  }
  DrawResult SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits) override {
    return ResultOf(draw_->SetDisplayMode(width, height, bits));
  }
  DrawResult CreateSurface(const SurfaceDescription& d, DrawSurface** out) override {
    *out = nullptr;
    DDSURFACEDESC s{};
    s.dwSize = sizeof s;
    s.dwFlags = DDSD_CAPS;
    switch (d.kind) {
      case SurfaceKind::kPrimary:
        s.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        break;
      case SurfaceKind::kOverlay:
      case SurfaceKind::kOffscreen:
        s.dwFlags |= DDSD_WIDTH | DDSD_HEIGHT;
        s.dwWidth = d.width;
        s.dwHeight = d.height;
        s.ddsCaps.dwCaps = d.kind == SurfaceKind::kOverlay ? DDSCAPS_OVERLAY : DDSCAPS_OFFSCREENPLAIN;
        s.ddsCaps.dwCaps |=
            d.memory == SurfaceMemory::kSystem ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY;
        if (d.fourcc) {
          s.dwFlags |= DDSD_PIXELFORMAT;
          s.ddpfPixelFormat.dwSize = sizeof s.ddpfPixelFormat;
          s.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
          s.ddpfPixelFormat.dwFourCC = d.fourcc;
        }
        break;
    }
    IDirectDrawSurface* surface = nullptr;
    const HRESULT hr = draw_->CreateSurface(&s, &surface, nullptr);
    if (FAILED(hr) || !surface) return FAILED(hr) ? ResultOf(hr) : DrawResult::kFailed;
    *out = new Win32Surface(surface);
    return DrawResult::kOk;
  }
  DrawResult GetCaps(DrawCaps* out) override {
    DDCAPS caps{};
    caps.dwSize = sizeof caps;
    const HRESULT hr = draw_->GetCaps(&caps, nullptr);
    if (FAILED(hr)) return ResultOf(hr);
    *out = {FxBits(caps.dwFXCaps, true), FxBits(caps.dwFXCaps, false)};
    // Without overlay hardware there is nothing to scale.
    if (!(caps.dwCaps & DDCAPS_OVERLAY)) out->overlay_fx = 0;
    return DrawResult::kOk;
  }
  DrawResult CreateClipper(DrawClipper** out) override {
    *out = nullptr;
    IDirectDrawClipper* clipper = nullptr;
    const HRESULT hr = draw_->CreateClipper(0, &clipper, nullptr);
    if (FAILED(hr) || !clipper) return DrawResult::kFailed;
    *out = new Win32Clipper(clipper);
    return DrawResult::kOk;
  }
  void Release() override {
    draw_->Release();
    delete this;
  }

 private:
  static uint32_t FxBits(DWORD fx, bool overlay) {
    struct Bit {
      DWORD overlay;
      DWORD blit;
      uint32_t ours;
    };
    static constexpr Bit kBits[] = {
        {DDFXCAPS_OVERLAYSTRETCHX, DDFXCAPS_BLTSTRETCHX, FX_STRETCH_X},
        {DDFXCAPS_OVERLAYSTRETCHXN, DDFXCAPS_BLTSTRETCHXN, FX_STRETCH_X_INT},
        {DDFXCAPS_OVERLAYSHRINKX, DDFXCAPS_BLTSHRINKX, FX_SHRINK_X},
        {DDFXCAPS_OVERLAYSHRINKXN, DDFXCAPS_BLTSHRINKXN, FX_SHRINK_X_INT},
        {DDFXCAPS_OVERLAYSTRETCHY, DDFXCAPS_BLTSTRETCHY, FX_STRETCH_Y},
        {DDFXCAPS_OVERLAYSTRETCHYN, DDFXCAPS_BLTSTRETCHYN, FX_STRETCH_Y_INT},
        {DDFXCAPS_OVERLAYSHRINKY, DDFXCAPS_BLTSHRINKY, FX_SHRINK_Y},
        {DDFXCAPS_OVERLAYSHRINKYN, DDFXCAPS_BLTSHRINKYN, FX_SHRINK_Y_INT},
    };
    uint32_t bits = 0;
    for (const Bit& b : kBits)
      if (fx & (overlay ? b.overlay : b.blit)) bits |= b.ours;
    return bits;
  }

  IDirectDraw* draw_;
};

using DirectDrawCreateEntry = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);

class Win32DisplayDevice final : public DisplayDevice {
 public:
  bool LoadDirectDraw() override {
    if (create_) return true;
    // A missing library must not put up the system's error box.
    const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    library_ = LoadLibraryA("DDRAW.DLL");
    SetErrorMode(old_mode);
    if (!library_) return false;
    create_ = reinterpret_cast<DirectDrawCreateEntry>(
        reinterpret_cast<void*>(GetProcAddress(library_, "DirectDrawCreate")));
    return create_ != nullptr;
  }
  DrawResult DirectDrawCreate(DirectDraw** out) override {
    *out = nullptr;
    if (!create_) return DrawResult::kFailed;
    IDirectDraw* draw = nullptr;
    const HRESULT hr = create_(nullptr, &draw, nullptr);
    if (FAILED(hr) || !draw) return DrawResult::kFailed;
    *out = new Win32DirectDraw(draw);
    return DrawResult::kOk;
  }

  bool ChangeDisplaySettings(const DisplaySettings* mode) override {
    if (!mode) return ChangeDisplaySettingsA(nullptr, 0) == DISP_CHANGE_SUCCESSFUL;
    DEVMODEA m{};
    m.dmSize = sizeof m;
    m.dmPelsWidth = mode->width;
    m.dmPelsHeight = mode->height;
    m.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    if (mode->bits_per_pixel) {
      m.dmBitsPerPel = mode->bits_per_pixel;
      m.dmFields |= DM_BITSPERPEL;
    }
    return ChangeDisplaySettingsA(&m, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
  }
  int32_t DeviceDepth() override {
    HDC screen = GetDC(nullptr);
    if (!screen) return 0;
    const int32_t depth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    return depth;
  }
  Size ScreenSize() override {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  bool CompatibleBitmapFormat(WindowHandle window, BitmapHeader* out) override {
    HWND hwnd = HwndOf(window);
    HDC dc = GetDC(hwnd);
    if (!dc) return false;
    bool ok = false;
    if (HBITMAP probe = CreateCompatibleBitmap(dc, 1, 1)) {
      // The header, then (second call) the bit-field masks behind it.
      struct {
        BITMAPINFOHEADER header;
        DWORD masks[256];
      } info{};
      info.header.biSize = sizeof info.header;
      if (GetDIBits(dc, probe, 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                    DIB_RGB_COLORS)) {
        if (info.header.biCompression == BI_BITFIELDS)
          GetDIBits(dc, probe, 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                    DIB_RGB_COLORS);
        *out = {};
        out->size = info.header.biSize;
        out->width = info.header.biWidth;
        out->height = info.header.biHeight;
        out->planes = info.header.biPlanes;
        out->bit_count = info.header.biBitCount;
        out->compression = info.header.biCompression;
        if (out->compression == BI_BITFIELDS)
          for (int i = 0; i < 3; ++i) out->masks[i] = info.masks[i];
        ok = true;
      }
      ::DeleteObject(probe);
    }
    ReleaseDC(hwnd, dc);
    return ok;
  }
  GdiBitmap* CreateDibSection(WindowHandle window, const BitmapHeader& h, void** bits) override {
    *bits = nullptr;
    struct {
      BITMAPINFOHEADER header;
      DWORD masks[3];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = h.width;
    info.header.biHeight = h.height;
    info.header.biPlanes = h.planes;
    info.header.biBitCount = h.bit_count;
    info.header.biCompression = h.compression;
    for (int i = 0; i < 3; ++i) info.masks[i] = h.masks[i];
    HWND hwnd = HwndOf(window);
    HDC dc = GetDC(hwnd);
    if (!dc) return nullptr;
    HBITMAP bitmap = ::CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                        bits, nullptr, 0);
    ReleaseDC(hwnd, dc);
    if (!bitmap) {
      *bits = nullptr;
      return nullptr;
    }
    return new Win32Bitmap(bitmap, true);
  }
  MemoryContext* CreateCompatibleDC(WindowHandle window) override {
    HWND hwnd = HwndOf(window);
    HDC dc = GetDC(hwnd);
    if (!dc) return nullptr;
    HDC memory = ::CreateCompatibleDC(dc);
    ReleaseDC(hwnd, dc);
    return memory ? new Win32Context(memory) : nullptr;
  }
  GdiBitmap* SelectObject(MemoryContext* context, GdiBitmap* bitmap) override {
    auto* c = static_cast<Win32Context*>(context);
    auto* b = static_cast<Win32Bitmap*>(bitmap);
    HGDIOBJ previous = ::SelectObject(c->dc, b->bitmap);
    if (b == &c->original) return nullptr;
    if (!c->original.bitmap) {
      c->original.bitmap = static_cast<HBITMAP>(previous);
      return &c->original;
    }
    return nullptr;
  }
  void DeleteDC(MemoryContext* context) override { delete static_cast<Win32Context*>(context); }
  void DeleteObject(GdiBitmap* bitmap) override { delete static_cast<Win32Bitmap*>(bitmap); }
  bool StretchBlt(WindowHandle window, const Rect& dest, MemoryContext* context,
                  const Rect& source) override {
    HWND hwnd = HwndOf(window);
    if (!hwnd) return false;
    HDC dc = GetDC(hwnd);
    if (!dc) return false;
    SetStretchBltMode(dc, COLORONCOLOR);
    const BOOL ok = ::StretchBlt(dc, dest.left, dest.top, dest.Width(), dest.Height(),
                                 static_cast<Win32Context*>(context)->dc, source.left, source.top,
                                 source.Width(), source.Height(), SRCCOPY);
    ReleaseDC(hwnd, dc);
    return ok != 0;
  }

  bool HasMouse() override { return GetSystemMetrics(SM_MOUSEPRESENT) != 0; }
  Point CursorPos() override {
    POINT p{0, 0};
    GetCursorPos(&p);
    return {p.x, p.y};
  }
  Size CursorSize() override {
    return {GetSystemMetrics(SM_CXCURSOR), GetSystemMetrics(SM_CYCURSOR)};
  }
  int32_t ShowCursor(bool show) override { return ::ShowCursor(show ? TRUE : FALSE); }
  CursorHandle ClassCursor(WindowHandle window) override {
    HWND hwnd = HwndOf(window);
    // A handle fills a pointer: the class's 32-bit long would cut it in two on 64-bit Windows.
    return hwnd ? static_cast<CursorHandle>(GetClassLongPtrA(hwnd, GCLP_HCURSOR)) : 0;
  }
  CursorHandle SetCursor(CursorHandle cursor) override {
    return reinterpret_cast<CursorHandle>(::SetCursor(reinterpret_cast<HCURSOR>(cursor)));
  }
  bool CreateProbeWindow(const Rect& r, CursorHandle cursor) override {
    DestroyProbeWindow();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA c{};
    c.lpfnWndProc = DefWindowProcA;
    c.hInstance = instance;
    c.hCursor = reinterpret_cast<HCURSOR>(cursor);
    c.lpszClassName = kProbeClass;
    if (!RegisterClassA(&c)) return false;
    probe_ = CreateWindowExA(WS_EX_TOPMOST, kProbeClass, "", WS_POPUP | WS_VISIBLE, r.left, r.top,
                             r.Width(), r.Height(), nullptr, nullptr, instance, nullptr);
    if (!probe_) UnregisterClassA(kProbeClass, instance);
    return probe_ != nullptr;
  }
  void DestroyProbeWindow() override {
    if (!probe_) return;
    DestroyWindow(probe_);
    probe_ = nullptr;
    UnregisterClassA(kProbeClass, GetModuleHandleA(nullptr));
  }
  uint32_t GetPixel(Point p) override {
    HDC screen = GetDC(nullptr);
    if (!screen) return CLR_INVALID;
    const COLORREF c = ::GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
  }
  void SetPixel(Point p, uint32_t colour) override {
    HDC screen = GetDC(nullptr);
    if (!screen) return;
    ::SetPixel(screen, p.x, p.y, colour);
    ReleaseDC(nullptr, screen);
  }

 private:
  static constexpr const char* kProbeClass = "MouseTypeWind";
  HMODULE library_ = nullptr;
  DirectDrawCreateEntry create_ = nullptr;
  HWND probe_ = nullptr;
};

}  // namespace

DisplayDevice& TheDisplayDevice() {
  static Win32DisplayDevice device;
  return device;
}

}  // namespace vexil::platform::win32
