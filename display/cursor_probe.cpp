#include "display/cursor_probe.h"

#include <cstddef>

#include "display/display_state.h"

namespace vexil {
namespace {

using platform::DrawResult;

// Bounds every display-count loop: a count cannot be far from 0 in practice.
constexpr int32_t kMostCursorSteps = 64;

// Locks the primary, restoring it once when it was lost.
DrawResult LockPrimary(platform::DrawSurface* primary, platform::LockedSurface* locked) {
  DrawResult r = primary->Lock(locked);
  if (r == DrawResult::kSurfaceLost && primary->Restore() == DrawResult::kOk)
    r = primary->Lock(locked);
  return r;
}

// Moves the cursor's display count, remembering by how much.
class CursorCount {
 public:
  explicit CursorCount(platform::DisplayDevice& device) : device_(device) {}
  void HideFully() {
    for (int32_t i = 0; i < kMostCursorSteps && Step(false) >= 0; ++i) {
    }
  }
  void Show() {
    for (int32_t i = 0; i < kMostCursorSteps && Step(true) < 0; ++i) {
    }
  }
  // Puts the count back where it was.
  void Restore() {
    while (moved_ < 0) Step(true);
    while (moved_ > 0) Step(false);
  }

 private:
  int32_t Step(bool show) {
    moved_ += show ? 1 : -1;
    return device_.ShowCursor(show);
  }
  platform::DisplayDevice& device_;
  int32_t moved_ = 0;
};

}  // namespace

int32_t ProbeSoftwareCursor(platform::WindowHandle window) {
  DisplayState& s = TheDisplayState();
  platform::DisplayDevice& device = *s.device;
  if (!s.primary || !device.HasMouse()) return 0;

  platform::LockedSurface locked{};
  if (LockPrimary(s.primary, &locked) != DrawResult::kOk) return 0;
  s.primary->Unlock();
  const uint8_t* surface = locked.bits;
  const platform::CursorHandle cursor = device.ClassCursor(window);
  const CursorProbeCache& cache = s.cursor_probe;
  if (cache.valid && cache.cursor == cursor && cache.surface == surface &&
      cache.bits_per_pixel == s.desktop_bits)
    return cache.software;

  // The byte written below must land on the screen.
  const platform::Point hot = device.CursorPos();
  if (hot.x < 0 || hot.y < 0 || hot.x >= s.screen_width || hot.y >= s.screen_height ||
      s.desktop_bytes == 0)
    return 0;
  if (!device.CreateProbeWindow({hot.x - 16, hot.y - 16, hot.x + 16, hot.y + 16}, cursor)) return 0;

  CursorCount count(device);
  count.HideFully();
  const uint32_t before = device.GetPixel(hot);
  const platform::CursorHandle previous = device.SetCursor(cursor);
  count.Show();
  // Write under the shown cursor; a software cursor puts back what it saved
  // when it hides, a hardware one leaves the write alone. The write is made
  // under a lock of its own: the address is only valid while locked.
  const bool wrote = LockPrimary(s.primary, &locked) == DrawResult::kOk;
  if (wrote) {
    locked.bits[ptrdiff_t(locked.pitch) * hot.y + ptrdiff_t(hot.x) * s.desktop_bytes] =
        before == 0 ? 0xFF : 0;
    s.primary->Unlock();
  }
  count.HideFully();
  const uint32_t after = device.GetPixel(hot);
  int32_t software = wrote ? 1 : 0;
  if (after != before) {
    device.SetPixel(hot, before);
    software = 0;
  }
  device.DestroyProbeWindow();
  count.Restore();
  device.SetCursor(previous);

  if (wrote) s.cursor_probe = {true, cursor, surface, s.desktop_bits, software};
  return software;
}

}  // namespace vexil
