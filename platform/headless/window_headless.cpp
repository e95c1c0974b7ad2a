#include "platform/headless/window_headless.h"

#include <algorithm>
#include <cstdio>

#include "platform/desktop.h"
#include "platform/headless/display_headless.h"

namespace vexil::platform {
namespace {

constexpr size_t kPaintLogLines = 256;
// Where the system puts a window that asks for the default position.
constexpr Point kDefaultOrigin = {60, 40};

std::function<void()>& Hook() {
  static std::function<void()> hook;
  return hook;
}

HeadlessWindow* g_last_window = nullptr;
bool g_refused = false;

std::string RectText(const Rect& r) {
  char text[64];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
  return text;
}

}  // namespace

HeadlessWindow::HeadlessWindow(int32_t x, int32_t y, int32_t client_width, int32_t client_height,
                               int32_t frame_left, int32_t frame_top, int32_t frame_right,
                               int32_t frame_bottom)
    : x_(x),
      y_(y),
      client_width_(client_width),
      client_height_(client_height),
      frame_left_(frame_left),
      frame_top_(frame_top),
      frame_right_(frame_right),
      frame_bottom_(frame_bottom) {}

HeadlessWindow::~HeadlessWindow() {
  if (g_last_window == this) g_last_window = nullptr;
}

void HeadlessWindow::MoveTo(int32_t x, int32_t y) {
  x_ = x, y_ = y;
}

void HeadlessWindow::SetClientSize(int32_t width, int32_t height) {
  client_width_ = width, client_height_ = height;
}

void HeadlessWindow::UserMove(int32_t x, int32_t y) {
  // A drag is the same pair of position messages a program's move makes.
  const Rect outer = OuterRect();
  SetPosition(x, y, outer.Width(), outer.Height(), POSITION_NO_SIZE | POSITION_NO_Z_ORDER);
}

Rect HeadlessWindow::OuterRect() const {
  return {x_, y_, x_ + frame_left_ + client_width_ + frame_right_,
          y_ + frame_top_ + client_height_ + frame_bottom_};
}

Point HeadlessWindow::ClientOrigin() const {
  return {x_ + frame_left_, y_ + frame_top_};
}

Rect HeadlessWindow::ClientRect() const {
  return {0, 0, client_width_, client_height_};
}

void HeadlessWindow::Show(ShowCommand command) {
  const bool show = command != ShowCommand::kHide;
  const bool was_visible = visible_;
  visible_ = show;
  if (show && !was_visible) Invalidate(nullptr);
  // Showing activates the window; hiding it gives the focus away.
  if (show && !focus_) {
    focus_ = true;
    Send(MessageKind::kFocusGained);
  } else if (!show && focus_) {
    focus_ = false;
    Send(MessageKind::kFocusLost);
  }
}

void HeadlessWindow::FillBlack(const Rect& r) {
  Log("FillBlack " + RectText(r));
  if (!visible_) return;
  const Point origin = ClientOrigin();
  const DesktopMode screen = HeadlessDesktop();
  const int32_t left = std::max({r.left, 0, -origin.x});
  const int32_t top = std::max({r.top, 0, -origin.y});
  const int32_t right = std::min({r.right, client_width_, screen.width - origin.x});
  const int32_t bottom = std::min({r.bottom, client_height_, screen.height - origin.y});
  DisplayDevice& device = HeadlessDisplayDevice();
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = left; x < right; ++x) device.SetPixel({origin.x + x, origin.y + y}, 0);
}

Point HeadlessWindow::TextExtent(const std::string& text) {
  return {static_cast<int32_t>(std::min<size_t>(text.size(), 1u << 20)) * kCharWidth, kLineHeight};
}

void HeadlessWindow::DrawTextLine(const std::string& text, const Rect& r, uint32_t colour,
                                  uint32_t background) {
  char colours[48];
  std::snprintf(colours, sizeof colours, " #%06X on #%06X: ", colour & 0xFFFFFF,
                background & 0xFFFFFF);
  Log("Text " + RectText(r) + colours + text);
}

void HeadlessWindow::Place(const WindowPosition& p) {
  if (!(p.flags & POSITION_NO_MOVE)) x_ = p.x, y_ = p.y;
  if (!(p.flags & POSITION_NO_SIZE)) {
    client_width_ = std::max(p.width - frame_left_ - frame_right_, 0);
    client_height_ = std::max(p.height - frame_top_ - frame_bottom_, 0);
  }
}

void HeadlessWindow::OnDestroy() {
  visible_ = false;
  focus_ = false;
  if (g_last_window == this) g_last_window = nullptr;
}

void HeadlessWindow::Log(std::string line) {
  if (paint_log_.size() == kPaintLogLines) paint_log_.erase(paint_log_.begin());
  paint_log_.push_back(std::move(line));
}

Rect HeadlessFrameFor(uint32_t style, uint32_t ex_style) {
  if (style & WINDOW_CHILD) return {0, 0, 0, 0};
  if ((style & WINDOW_CAPTION) == WINDOW_CAPTION) return {3, 22, 3, 3};
  if (ex_style & WINDOW_EX_DIALOG_FRAME) return {3, 3, 3, 3};
  return {0, 0, 0, 0};
}

std::unique_ptr<Window> HeadlessOpenWindow(const WindowClass& window_class,
                                           const WindowCreation& c) {
  if (g_refused) return nullptr;
  const Rect frame = HeadlessFrameFor(c.style, c.ex_style);
  const int32_t x = c.x == kDefaultWindowPosition ? kDefaultOrigin.x : c.x;
  const int32_t y = c.y == kDefaultWindowPosition ? kDefaultOrigin.y : c.y;
  auto window =
      std::make_unique<HeadlessWindow>(x, y, std::max(c.width - frame.left - frame.right, 0),
                                       std::max(c.height - frame.top - frame.bottom, 0), frame.left,
                                       frame.top, frame.right, frame.bottom);
  window->visible_ = false;
  window->title_ = c.title;
  window->parent_ = c.parent;
  window->Attach(window_class, c);
  g_last_window = window.get();
  return window;
}

void HeadlessPumpEvents() {
  // A copy: the hook may replace itself.
  if (std::function<void()> hook = Hook()) hook();
}

void SetHeadlessMessageHook(std::function<void()> hook) {
  Hook() = std::move(hook);
}

HeadlessWindow* HeadlessLastWindow() {
  return g_last_window;
}

void SetHeadlessWindowRefused(bool refused) {
  g_refused = refused;
}

}  // namespace vexil::platform
