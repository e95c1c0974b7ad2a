#include "platform/win32/window_win32.h"

#include <algorithm>
#include <vector>

#include "platform/win32/windows_api.h"

namespace vexil::platform::win32 {
namespace {

// One system message being handled, for DefaultProcedure.
struct RawMessage {
  MessageKind kind;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

// Each pump dispatches at most this many system messages, so that a flood of
// them cannot keep the playback loop from its frames.
constexpr int kMessagesPerPump = 64;

LRESULT CALLBACK SystemProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

class Win32Window final : public Window {
 public:
  Win32Window() = default;
  ~Win32Window() override {
    if (hwnd_) {
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
      system_destroying_ = true;
      DestroyWindow(hwnd_);
    }
  }
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  bool Create(const WindowClass& window_class, const WindowCreation& c) {
    Attach(window_class, c);
    const int x = c.x == kDefaultWindowPosition ? CW_USEDEFAULT : c.x;
    const int y = c.y == kDefaultWindowPosition ? CW_USEDEFAULT : c.y;
    HWND hwnd = CreateWindowExA(c.ex_style, c.class_name.c_str(), c.title.c_str(), c.style, x, y,
                                c.width, c.height, reinterpret_cast<HWND>(c.parent), nullptr,
                                GetModuleHandleA(nullptr), this);
    if (!hwnd) return false;
    hwnd_ = hwnd;
    return true;
  }

  HWND hwnd() const { return hwnd_; }

  Backend Kind() const override { return Backend::kWin32; }
  Rect OuterRect() const override {
    RECT r{};
    if (!hwnd_ || !GetWindowRect(hwnd_, &r)) return {0, 0, 0, 0};
    return {r.left, r.top, r.right, r.bottom};
  }
  Point ClientOrigin() const override {
    POINT p{0, 0};
    if (hwnd_) ClientToScreen(hwnd_, &p);
    return {p.x, p.y};
  }
  Rect ClientRect() const override {
    RECT r{};
    if (!hwnd_ || !GetClientRect(hwnd_, &r)) return {0, 0, 0, 0};
    return {0, 0, r.right, r.bottom};
  }
  bool IsVisible() const override { return hwnd_ && IsWindowVisible(hwnd_); }
  bool IsIconic() const override { return hwnd_ && ::IsIconic(hwnd_); }

  void SetTitle(const std::string& title) override {
    if (hwnd_) SetWindowTextA(hwnd_, title.c_str());
  }
  void Show(ShowCommand command) override {
    if (!hwnd_) return;
    ShowWindow(hwnd_, command == ShowCommand::kHide ? SW_HIDE : SW_SHOWNORMAL);
  }
  void FillBlack(const Rect& client_rect) override {
    HDC dc = hwnd_ ? GetDC(hwnd_) : nullptr;
    if (!dc) return;
    const RECT r{client_rect.left, client_rect.top, client_rect.right, client_rect.bottom};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(hwnd_, dc);
  }
  Point TextExtent(const std::string& text) override {
    HDC dc = hwnd_ ? GetDC(hwnd_) : nullptr;
    if (!dc) return {0, 0};
    SIZE size{0, 0};
    const int length = static_cast<int>(std::min<size_t>(text.size(), 1u << 20));
    if (!GetTextExtentPoint32A(dc, text.c_str(), length, &size)) size = {0, 0};
    ReleaseDC(hwnd_, dc);
    return {size.cx, size.cy};
  }
  void DrawTextLine(const std::string& text, const Rect& client_rect, uint32_t colour,
                    uint32_t background) override {
    HDC dc = hwnd_ ? GetDC(hwnd_) : nullptr;
    if (!dc) return;
    RECT r{client_rect.left, client_rect.top, client_rect.right, client_rect.bottom};
    // 0xRRGGBB to the system's 0x00BBGGRR.
    const auto to_colorref = [](uint32_t c) {
      return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
    };
    HBRUSH brush = CreateSolidBrush(to_colorref(background));
    if (brush) {
      FillRect(dc, &r, brush);
      DeleteObject(brush);
    }
    SetTextColor(dc, to_colorref(colour));
    SetBkColor(dc, to_colorref(background));
    SetBkMode(dc, OPAQUE);
    const int length = static_cast<int>(std::min<size_t>(text.size(), 1u << 20));
    DrawTextA(dc, text.c_str(), length, &r, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    ReleaseDC(hwnd_, dc);
  }

  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  bool Default(const Message& m, intptr_t* result) {
    if (raw_.empty() || raw_.back().kind != m.kind) return false;
    const RawMessage& raw = raw_.back();
    *result = DefWindowProcA(hwnd_, raw.message, raw.wparam, raw.lparam);
    return true;
  }

 protected:
  void Place(const WindowPosition& p) override {
    if (!hwnd_) return;
    // The portable SetPosition has sent the position messages already.
    placing_ = true;
    SetWindowPos(hwnd_, nullptr, p.x, p.y, p.width, p.height,
                 (p.flags & (SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED)) |
                     SWP_NOACTIVATE);
    placing_ = false;
  }
  void OnDestroy() override {
    if (!hwnd_) return;
    ShowWindow(hwnd_, SW_HIDE);
    if (!system_destroying_) {
      HWND hwnd = hwnd_;
      system_destroying_ = true;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      DestroyWindow(hwnd);
    } else {
      hwnd_ = nullptr;
    }
  }

 private:
  LRESULT SendRaw(const Message& m, UINT message, WPARAM wparam, LPARAM lparam) {
    raw_.push_back(RawMessage{m.kind, message, wparam, lparam});
    const intptr_t result = Send(m);
    raw_.pop_back();
    return static_cast<LRESULT>(result);
  }

  HWND hwnd_ = nullptr;
  bool placing_ = false;
  bool system_destroying_ = false;
  std::vector<RawMessage> raw_;  // nested sends, innermost last
};

Point PointOf(LPARAM lparam) {
  // Client coordinates are signed 16-bit halves.
  return {static_cast<int16_t>(LOWORD(lparam)), static_cast<int16_t>(HIWORD(lparam))};
}

LRESULT Win32Window::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  Message m;
  m.window = this;
  switch (message) {
    case WM_DESTROY:
      if (!destroyed()) {
        system_destroying_ = true;
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        Destroy();
      }
      return 0;
    case WM_SETFOCUS:
      m.kind = MessageKind::kFocusGained;
      break;
    case WM_KILLFOCUS:
      m.kind = MessageKind::kFocusLost;
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (::BeginPaint(hwnd_, &ps)) {
        const Rect area{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
        Invalidate(&area);
        m.kind = MessageKind::kPaint;
        raw_.push_back(RawMessage{m.kind, message, wparam, lparam});
        Send(m);
        raw_.pop_back();
        // A procedure that did not paint leaves nothing marked.
        Window::BeginPaint();
        ::EndPaint(hwnd_, &ps);
      }
      return 0;
    }
    case WM_ERASEBKGND:
      m.kind = MessageKind::kEraseBackground;
      break;
    case WM_ACTIVATEAPP:
      m.kind = MessageKind::kActivateApp;
      m.code = wparam ? 1 : 0;
      break;
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lparam);
      if (placing_ || !pos) return DefWindowProcA(hwnd_, message, wparam, lparam);
      WindowPosition p{pos->x, pos->y, pos->cx, pos->cy, pos->flags};
      m.kind = message == WM_WINDOWPOSCHANGING ? MessageKind::kPositionChanging
                                               : MessageKind::kPositionChanged;
      m.position = &p;
      const LRESULT result = SendRaw(m, message, wparam, lparam);
      if (message == WM_WINDOWPOSCHANGING) {
        pos->x = p.x;
        pos->y = p.y;
      }
      return result;
    }
    case WM_KEYDOWN:
      m.kind = MessageKind::kKeyDown;
      m.code = static_cast<uint32_t>(wparam);
      break;
    case WM_CHAR:
      m.kind = MessageKind::kChar;
      m.code = static_cast<uint32_t>(wparam);
      break;
    case WM_LBUTTONDOWN:
      m.kind = MessageKind::kLeftButtonDown;
      m.point = PointOf(lparam);
      break;
    case WM_RBUTTONDOWN:
      m.kind = MessageKind::kRightButtonDown;
      m.point = PointOf(lparam);
      break;
    case WM_MBUTTONDOWN:
      m.kind = MessageKind::kMiddleButtonDown;
      m.point = PointOf(lparam);
      break;
    case WM_LBUTTONUP:
      m.kind = MessageKind::kLeftButtonUp;
      m.point = PointOf(lparam);
      break;
    case WM_MOUSEMOVE:
      m.kind = MessageKind::kMouseMove;
      m.point = PointOf(lparam);
      break;
    case WM_SYSCOMMAND:
      m.kind = MessageKind::kSystemCommand;
      m.code = static_cast<uint32_t>(wparam & 0xFFF0);
      break;
    case WM_POWERBROADCAST:
      m.kind = MessageKind::kPowerBroadcast;
      m.code = static_cast<uint32_t>(wparam);
      break;
    case WM_CLOSE:
      m.kind = MessageKind::kClose;
      break;
    default:
      return DefWindowProcA(hwnd_, message, wparam, lparam);
  }
  return SendRaw(m, message, wparam, lparam);
}

LRESULT CALLBACK SystemProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  // Messages of the creation itself go by before the window is ready.
  if (!window || window->hwnd() != hwnd) return DefWindowProcA(hwnd, message, wparam, lparam);
  return window->Handle(message, wparam, lparam);
}

}  // namespace

std::unique_ptr<Window> OpenWindow(const WindowClass& window_class, const WindowCreation& creation) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA c{};
  c.lpfnWndProc = SystemProcedure;
  c.hInstance = instance;
  c.hIcon = window_class.icon ? LoadIconA(instance, MAKEINTRESOURCEA(window_class.icon)) : nullptr;
  c.hCursor = window_class.cursor ? LoadCursorA(instance, MAKEINTRESOURCEA(window_class.cursor))
                                  : LoadCursorA(nullptr, IDC_ARROW);
  c.hbrBackground = nullptr;
  c.lpszClassName = window_class.name.c_str();
  // A class left from an earlier run of the player in this process may carry
  // another cursor: replace it when no window uses it any more.
  UnregisterClassA(window_class.name.c_str(), instance);
  if (!RegisterClassA(&c) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  auto window = std::make_unique<Win32Window>();
  if (!window->Create(window_class, creation)) return nullptr;
  return window;
}

void PumpEvents() {
  MSG msg;
  for (int i = 0; i < kMessagesPerPump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT) {
      PostQuit(static_cast<int32_t>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool DefaultProcedure(Window* window, const Message& message, intptr_t* result) {
  if (!window || window->Kind() != Backend::kWin32) return false;
  return static_cast<Win32Window*>(window)->Default(message, result);
}

void* WindowHandleOf(const Window* window) {
  if (!window || window->Kind() != Backend::kWin32) return nullptr;
  return static_cast<const Win32Window*>(window)->hwnd();
}

}  // namespace vexil::platform::win32
