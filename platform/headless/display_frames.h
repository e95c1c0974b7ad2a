// The headless display's frame keeper: after each presentation it takes the
// window's client area off the memory screen (with shown overlays keyed in),
// keeps the latest frames and, when VEXIL_DUMP_FRAMES names a folder, writes
// each one there as frame_NNNNNN.png.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/headless/display_headless.h"
#include "platform/headless/display_pixels.h"
#include "platform/window.h"

namespace vexil::platform {

// A shown overlay: `source` of its picture appears in `dest` of the screen
// wherever the screen holds `key`.
struct OverlayView {
  PixelPicture picture;
  Rect source;
  Rect dest;
  uint32_t key;
};

class FrameKeeper {
 public:
  void Capture(const Window* window, const PixelPicture& screen,
               const std::vector<OverlayView>& overlays);
  void Clear();
  const std::vector<KeptFrame>& Frames() const { return frames_; }
  uint64_t Presented() const { return presented_; }

 private:
  std::vector<KeptFrame> frames_;
  uint64_t presented_ = 0;
};

}  // namespace vexil::platform
