#include "platform/window.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <vector>

#include "platform/headless/window_headless.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/window_sdl.h"
#endif
#ifdef _WIN32
#include "platform/win32/window_win32.h"
#endif

namespace vexil::platform {
namespace {

struct WindowSystem {
  std::map<std::string, WindowClass> classes;
  std::deque<Message> queue;
  std::vector<Window*> windows;  // alive, in creation order
};

// Lock-free, so that a signal handler may set it.
std::atomic<bool> g_close_requested{false};

WindowSystem& System() {
  static WindowSystem system;
  return system;
}

Rect Union(const Rect& a, const Rect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

Rect Intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// The back end's pending events become queued messages.
void PumpEvents() {
  switch (ActiveBackend()) {
    case Backend::kHeadless:
      HeadlessPumpEvents();
      break;
    case Backend::kSdl:
#ifdef VEXIL_HAVE_SDL
      SdlPumpEvents();
#endif
      break;
    case Backend::kWin32:
#ifdef _WIN32
      win32::PumpEvents();
#endif
      break;
  }
}

}  // namespace

intptr_t DefaultWindowProcedure(Window* window, const Message& message) {
#ifdef _WIN32
  // A message the system sent gets the system's own default.
  if (intptr_t result = 0; win32::DefaultProcedure(window, message, &result)) return result;
#endif
  switch (message.kind) {
    case MessageKind::kClose:
      window->Destroy();
      return 0;
    case MessageKind::kSystemCommand:
      if (message.code == SYSTEM_COMMAND_CLOSE) window->Send(MessageKind::kClose);
      return 0;
    case MessageKind::kPaint:
      window->BeginPaint();
      return 0;
    default:
      return 0;
  }
}

bool RegisterWindowClass(const WindowClass& window_class) {
  if (window_class.name.empty() || !window_class.procedure) return false;
  return System().classes.emplace(window_class.name, window_class).second;
}

void UnregisterWindowClass(const std::string& name) {
  System().classes.erase(name);
}

std::unique_ptr<Window> OpenWindow(const WindowCreation& creation) {
  const auto found = System().classes.find(creation.class_name);
  if (found == System().classes.end()) return nullptr;
  switch (ActiveBackend()) {
    case Backend::kHeadless:
      return HeadlessOpenWindow(found->second, creation);
    case Backend::kSdl:
#ifdef VEXIL_HAVE_SDL
      return SdlOpenWindow(found->second, creation);
#else
      return nullptr;
#endif
    case Backend::kWin32:
#ifdef _WIN32
      return win32::OpenWindow(found->second, creation);
#else
      return nullptr;
#endif
  }
  return nullptr;
}

bool TakeMessage(Message* message) {
  WindowSystem& s = System();
  PumpEvents();
  if (g_close_requested.exchange(false)) {
    for (Window* w : s.windows)
      if (!w->destroyed()) s.queue.push_back(Message{w, MessageKind::kClose});
  }
  while (!s.queue.empty()) {
    const Message next = s.queue.front();
    s.queue.pop_front();
    // A destroyed window gets no more messages.
    if (next.window && next.window->destroyed()) continue;
    *message = next;
    return true;
  }
  for (Window* w : s.windows) {
    if (!w->destroyed() && w->invalid()) {
      *message = Message{w, MessageKind::kPaint};
      return true;
    }
  }
  return false;
}

void DispatchWindowMessage(const Message& message) {
  if (message.window && message.kind != MessageKind::kQuit) message.window->Send(message);
}

void PostWindowMessage(const Message& message) {
  System().queue.push_back(message);
}

void PostQuit(int32_t exit_code) {
  Message quit;
  quit.kind = MessageKind::kQuit;
  quit.code = static_cast<uint32_t>(exit_code);
  System().queue.push_back(quit);
}

void ClearMessages() {
  System().queue.clear();
}

void RequestWindowsClose() {
  g_close_requested.store(true);
}

bool WindowsCloseRequested() {
  return g_close_requested.load();
}

// --- Window ---

Window::~Window() {
  WindowSystem& s = System();
  std::erase(s.windows, this);
  std::erase_if(s.queue, [this](const Message& m) { return m.window == this; });
}

void Window::Attach(const WindowClass& window_class, const WindowCreation& creation) {
  class_ = window_class;
  user_data_ = creation.user_data;
  style_ = creation.style;
  ex_style_ = creation.ex_style;
  System().windows.push_back(this);
}

intptr_t Window::Send(const Message& message) {
  if (destroyed_ && message.kind != MessageKind::kDestroy) return 0;
  Message m = message;
  m.window = this;
  return class_.procedure ? class_.procedure(this, m) : DefaultWindowProcedure(this, m);
}

intptr_t Window::Send(MessageKind kind, uint32_t code) {
  Message m;
  m.kind = kind;
  m.code = code;
  return Send(m);
}

void Window::SetPosition(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags) {
  if (destroyed_) return;
  WindowPosition position{x, y, width, height, flags};
  Message m;
  m.kind = MessageKind::kPositionChanging;
  m.position = &position;
  Send(m);
  Place(position);
  m.kind = MessageKind::kPositionChanged;
  Send(m);
  // A new size shows new client pixels.
  if (!(flags & POSITION_NO_SIZE)) Invalidate(nullptr);
}

void Window::Invalidate(const Rect* client_rect) {
  if (destroyed_) return;
  const Rect client = ClientRect();
  const Rect r = client_rect ? Intersect(*client_rect, client) : client;
  if (!r.Empty()) invalid_ = Union(invalid_, r);
}

void Window::Update() {
  if (!destroyed_ && invalid()) Send(MessageKind::kPaint);
}

Rect Window::BeginPaint() {
  const Rect r = invalid_;
  invalid_ = {0, 0, 0, 0};
  return r;
}

void Window::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  invalid_ = {0, 0, 0, 0};
  OnDestroy();
  Send(MessageKind::kDestroy);
}

}  // namespace vexil::platform
