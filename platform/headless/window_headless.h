// The headless window: a plain record on the headless screen. Tests place,
// resize, hide and iconify it, move it as a user would, and send it
// messages; its black fills go onto the headless display's screen and, with
// the lines of text it is asked to draw, into a paint log.
//
// The frame around the client area follows the styles: a caption gives
// 3, 22, 3, 3 pixels (left, top, right, bottom), a dialog frame alone 3 on
// every side, neither (or a child window) none.
//
// Player thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"

namespace vexil::platform {

class HeadlessWindow final : public Window {
 public:
  // A window whose client area is `client_width` x `client_height` at the
  // screen position (x, y), framed by the given widths.
  HeadlessWindow(int32_t x, int32_t y, int32_t client_width, int32_t client_height,
                 int32_t frame_left = 0, int32_t frame_top = 0, int32_t frame_right = 0,
                 int32_t frame_bottom = 0);
  ~HeadlessWindow() override;

  void MoveTo(int32_t x, int32_t y);  // the outer top-left corner
  void SetClientSize(int32_t width, int32_t height);
  void SetVisible(bool visible) { visible_ = visible; }
  void SetIconic(bool iconic) { iconic_ = iconic; }
  // Moves the window as a user dragging it would: the procedure sees the
  // proposed position first and may change it.
  void UserMove(int32_t x, int32_t y);

  Backend Kind() const override { return Backend::kHeadless; }
  Rect OuterRect() const override;
  Point ClientOrigin() const override;
  Rect ClientRect() const override;
  bool IsVisible() const override { return visible_; }
  bool IsIconic() const override { return iconic_; }

  void SetTitle(const std::string& title) override { title_ = title; }
  void Show(ShowCommand command) override;
  void FillBlack(const Rect& client_rect) override;
  Point TextExtent(const std::string& text) override;
  void DrawTextLine(const std::string& text, const Rect& client_rect, uint32_t colour,
                    uint32_t background) override;

  const std::string& title() const { return title_; }
  // The window it was made in (the /# or preview window's number), 0: none.
  intptr_t parent() const { return parent_; }
  // "FillBlack l,t,r,b" and "Text l,t,r,b #RRGGBB on #RRGGBB: text" lines,
  // the latest 256.
  const std::vector<std::string>& paint_log() const { return paint_log_; }
  void ClearPaintLog() { paint_log_.clear(); }
  bool has_focus() const { return focus_; }

  // Character cell of the headless font.
  static constexpr int32_t kCharWidth = 7;
  static constexpr int32_t kLineHeight = 16;

 protected:
  void Place(const WindowPosition& position) override;
  void OnDestroy() override;

 private:
  friend std::unique_ptr<Window> HeadlessOpenWindow(const WindowClass&, const WindowCreation&);
  void Log(std::string line);

  int32_t x_, y_, client_width_, client_height_;
  int32_t frame_left_, frame_top_, frame_right_, frame_bottom_;
  bool visible_ = true;
  bool iconic_ = false;
  bool focus_ = false;
  std::string title_;
  intptr_t parent_ = 0;
  std::vector<std::string> paint_log_;
};

// The back end's part of OpenWindow.
std::unique_ptr<Window> HeadlessOpenWindow(const WindowClass& window_class,
                                           const WindowCreation& creation);
// The back end's part of TakeMessage: runs the test's hook.
void HeadlessPumpEvents();

// --- for tests ---

// Called at every TakeMessage before the queue is looked at: a test posts the
// messages a user would make there (keys at a time, a move after some frames).
void SetHeadlessMessageHook(std::function<void()> hook);
// The window OpenWindow made last (null before the first and after it is
// released).
HeadlessWindow* HeadlessLastWindow();
// While set, OpenWindow fails.
void SetHeadlessWindowRefused(bool refused);
// The frame widths OpenWindow gives for these styles (left, top, right, bottom).
Rect HeadlessFrameFor(uint32_t style, uint32_t ex_style);

}  // namespace vexil::platform
