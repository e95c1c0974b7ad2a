// The headless window: a plain record that tests place, resize, hide and
// iconify. Its client area sits inside a frame of fixed widths.
#pragma once

#include "platform/window.h"

namespace vexil::platform {

class HeadlessWindow final : public Window {
 public:
  // A window whose client area is `client_width` x `client_height` at the
  // screen position (x, y), framed by the given widths.
  HeadlessWindow(int32_t x, int32_t y, int32_t client_width, int32_t client_height,
                 int32_t frame_left = 0, int32_t frame_top = 0, int32_t frame_right = 0,
                 int32_t frame_bottom = 0);

  void MoveTo(int32_t x, int32_t y);  // the outer top-left corner
  void SetClientSize(int32_t width, int32_t height);
  void SetVisible(bool visible) { visible_ = visible; }
  void SetIconic(bool iconic) { iconic_ = iconic; }

  Backend Kind() const override { return Backend::kHeadless; }
  Rect OuterRect() const override;
  Point ClientOrigin() const override;
  Rect ClientRect() const override;
  bool IsVisible() const override { return visible_; }
  bool IsIconic() const override { return iconic_; }

 private:
  int32_t x_, y_, client_width_, client_height_;
  int32_t frame_left_, frame_top_, frame_right_, frame_bottom_;
  bool visible_ = true;
  bool iconic_ = false;
};

}  // namespace vexil::platform
