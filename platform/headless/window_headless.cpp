#include "platform/headless/window_headless.h"

namespace vexil::platform {

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

void HeadlessWindow::MoveTo(int32_t x, int32_t y) { x_ = x, y_ = y; }

void HeadlessWindow::SetClientSize(int32_t width, int32_t height) {
  client_width_ = width, client_height_ = height;
}

Rect HeadlessWindow::OuterRect() const {
  return {x_, y_, x_ + frame_left_ + client_width_ + frame_right_,
          y_ + frame_top_ + client_height_ + frame_bottom_};
}

Point HeadlessWindow::ClientOrigin() const { return {x_ + frame_left_, y_ + frame_top_}; }

Rect HeadlessWindow::ClientRect() const { return {0, 0, client_width_, client_height_}; }

}  // namespace vexil::platform
