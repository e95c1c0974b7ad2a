// The headless display's frame keeper: it counts every presentation and, when
// someone looks, takes the window's client area off the memory screen (with
// shown overlays keyed in): it keeps the latest frames for a caller that asked
// for them, and writes each one as frame_NNNNNN.png to the folder
// VEXIL_DUMP_FRAMES names. Nobody looking, nothing is converted.
#pragma once

#include <cstdint>
#include <string>
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
  FrameKeeper() { Restart(); }

  // A presentation; the frame is kept when `keep`.
  void Capture(const Window* window, const PixelPicture& screen,
               const std::vector<OverlayView>& overlays, bool keep);
  // Forgets the frames and the count, and reads VEXIL_DUMP_FRAMES (once here,
  // not per frame).
  void Restart();
  const std::vector<KeptFrame>& Frames() const { return frames_; }
  uint64_t Presented() const { return presented_; }

 private:
  std::vector<KeptFrame> frames_;
  uint64_t presented_ = 0;
  std::string dump_folder_;  // empty: no dumps
};

}  // namespace vexil::platform
