#include "platform/headless/display_frames.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/png_file.h"

namespace vexil::platform {
namespace {

constexpr size_t kKeptFrames = 8;
constexpr int32_t kLargestFrameSide = 16384;

bool Contains(const Rect& r, int32_t x, int32_t y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace

void FrameKeeper::Capture(const Window* window, const PixelPicture& screen,
                          const std::vector<OverlayView>& overlays, bool keep) {
  ++presented_;
  // Converting the screen would be most of a headless player's work.
  if (!keep && dump_folder_.empty()) return;
  const Point origin = window->ClientOrigin();
  const Rect client = window->ClientRect();
  KeptFrame frame;
  frame.width = std::clamp(client.Width(), 0, kLargestFrameSide);
  frame.height = std::clamp(client.Height(), 0, kLargestFrameSide);
  frame.rgb.assign(size_t(frame.width) * size_t(frame.height) * 3, 0);
  // The usual screen (32-bit RGB) without overlays: straight byte moves.
  const bool plain = overlays.empty() && screen.format.fourcc == 0 &&
                     screen.format.bits_per_pixel == 32 && screen.format.red_mask == 0xFF0000 &&
                     screen.format.green_mask == 0xFF00 && screen.format.blue_mask == 0xFF;
  for (int32_t y = 0; plain && y < frame.height; ++y) {
    const int64_t sy = int64_t{origin.y} + y;
    if (sy < 0 || sy >= screen.height) continue;
    const int64_t first = std::max<int64_t>(0, -int64_t{origin.x});
    const int64_t last = std::min<int64_t>(frame.width, int64_t{screen.width} - origin.x);
    const uint8_t* in = screen.bits + ptrdiff_t(screen.pitch) * sy + (origin.x + first) * 4;
    uint8_t* out = &frame.rgb[(size_t(y) * size_t(frame.width) + size_t(first)) * 3];
    for (int64_t x = first; x < last; ++x, in += 4, out += 3) {
      out[0] = in[2], out[1] = in[1], out[2] = in[0];
    }
  }
  for (int32_t y = 0; !plain && y < frame.height; ++y) {
    const int64_t sy = int64_t{origin.y} + y;
    for (int32_t x = 0; x < frame.width; ++x) {
      const int64_t sx = int64_t{origin.x} + x;
      if (sx < 0 || sy < 0 || sx >= screen.width || sy >= screen.height) continue;
      const uint32_t raw = ReadRaw(screen, uint32_t(sx), uint32_t(sy));
      uint32_t rgb = DecodeRgb(screen.format, raw);
      for (const OverlayView& o : overlays) {
        if (!Contains(o.dest, int32_t(sx), int32_t(sy)) || raw != o.key) continue;
        const int64_t ox = o.source.left + (sx - o.dest.left) * o.source.Width() / o.dest.Width();
        const int64_t oy = o.source.top + (sy - o.dest.top) * o.source.Height() / o.dest.Height();
        rgb = ReadRgb(o.picture, uint32_t(ox), uint32_t(oy));
      }
      uint8_t* out = &frame.rgb[(size_t(y) * size_t(frame.width) + size_t(x)) * 3];
      out[0] = uint8_t(rgb >> 16), out[1] = uint8_t(rgb >> 8), out[2] = uint8_t(rgb);
    }
  }
  if (!dump_folder_.empty() && frame.width && frame.height) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%06llu.png",
                  static_cast<unsigned long long>(presented_));
    WritePngRgb(dump_folder_ + name, uint32_t(frame.width), uint32_t(frame.height),
                frame.rgb.data());
  }
  if (!keep) return;
  if (frames_.size() == kKeptFrames) frames_.erase(frames_.begin());
  frames_.push_back(std::move(frame));
}

void FrameKeeper::Restart() {
  frames_.clear();
  presented_ = 0;
  const char* folder = std::getenv("VEXIL_DUMP_FRAMES");
  dump_folder_ = folder ? folder : "";
}

}  // namespace vexil::platform
