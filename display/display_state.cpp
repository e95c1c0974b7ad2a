#include "display/display_state.h"

#include "display/buffer_geometry.h"
#include "display/display_buffer.h"
#include "display/surface_format.h"

namespace vexil {
namespace {

using platform::DrawResult;

void MeasureFromPrimary(DisplayState& s) {
  platform::PixelFormat format{};
  if (s.primary->GetPixelFormat(&format) != DrawResult::kOk) format = {};
  s.primary_format = format;
  s.desktop_bits = int32_t(format.bits_per_pixel);
  s.desktop_bytes = format.bits_per_pixel / 8;
  const platform::Size screen = s.device->ScreenSize();
  s.screen_width = screen.width;
  s.screen_height = screen.height;
  s.overlay_colour_key = OverlayColourKey(format.bits_per_pixel, format.red_mask, format.blue_mask);
}

}  // namespace

DisplayState& TheDisplayState() {
  return platform::ActiveDisplayDevice().state();
}

bool StartDirectDraw(platform::WindowHandle window, bool full_screen) {
  DisplayState& s = TheDisplayState();
  if (s.directdraw_refs > 0) {
    ++s.directdraw_refs;
    return true;
  }
  if (s.directdraw_load_failed) return false;
  if (!s.device->LoadDirectDraw()) {
    s.directdraw_load_failed = true;
    return false;
  }
  platform::DirectDraw* directdraw = nullptr;
  if (s.device->DirectDrawCreate(&directdraw) != DrawResult::kOk || !directdraw) return false;

  const bool exclusive = full_screen && s.mode_width && s.mode_height && s.mode_depth;
  bool ok = directdraw->SetCooperativeLevel(
                window, exclusive ? platform::COOPERATIVE_EXCLUSIVE_FULL_SCREEN
                                  : platform::COOPERATIVE_NORMAL) == DrawResult::kOk;
  if (ok && exclusive) {
    const DepthCandidates order = DepthOrder(s.mode_depth);
    for (int32_t i = 0; i < order.count; ++i) {
      const int32_t depth = order.depth[i];
      if (directdraw->SetDisplayMode(uint32_t(s.mode_width), uint32_t(s.mode_height),
                                     uint32_t(depth)) != DrawResult::kOk)
        continue;
      if (s.device->DeviceDepth() == depth) break;
    }
  }
  s.mode_width = s.mode_height = s.mode_depth = 0;

  platform::DrawSurface* primary = nullptr;
  if (ok) {
    const platform::SurfaceDescription description{
        platform::SurfaceKind::kPrimary, platform::SurfaceMemory::kVideo, 0, 0, 0};
    ok = directdraw->CreateSurface(description, &primary) == DrawResult::kOk && primary;
  }
  if (!ok) {
    directdraw->Release();
    return false;
  }
  platform::DrawCaps caps{};
  if (directdraw->GetCaps(&caps) != DrawResult::kOk) caps = {};
  s.overlay_caps = ScaleBitsFromCaps(caps.overlay_fx);
  s.blit_caps = ScaleBitsFromCaps(caps.blit_fx);
  s.directdraw = directdraw;
  s.primary = primary;
  MeasureFromPrimary(s);
  s.directdraw_refs = 1;
  return true;
}

void DropDirectDraw() {
  DisplayState& s = TheDisplayState();
  if (s.directdraw_refs <= 0 || --s.directdraw_refs > 0) return;
  s.primary->Release();
  s.directdraw->Release();
  s.primary = nullptr;
  s.directdraw = nullptr;
  // The probe's answer belongs to the primary that is gone.
  s.cursor_probe = {};
}

bool StartGdiDisplayMode(bool full_screen) {
  DisplayState& s = TheDisplayState();
  if (!full_screen || !s.mode_width || !s.mode_height || !s.mode_depth || s.directdraw_refs > 0)
    return false;
  const DepthCandidates order = DepthOrder(s.mode_depth);
  bool matched = false;
  for (int32_t i = 0; i < order.count && !matched; ++i) {
    const platform::DisplaySettings mode{uint32_t(s.mode_width), uint32_t(s.mode_height),
                                         uint32_t(order.depth[i])};
    if (!s.device->ChangeDisplaySettings(&mode)) continue;
    s.mode_changed = true;
    matched = s.device->DeviceDepth() == order.depth[i];
    if (!matched) s.device->ChangeDisplaySettings(nullptr);
  }
  if (!matched) {
    const platform::DisplaySettings size_only{uint32_t(s.mode_width), uint32_t(s.mode_height), 0};
    if (s.device->ChangeDisplaySettings(&size_only)) s.mode_changed = true;
  }
  s.mode_width = s.mode_height = s.mode_depth = 0;
  MeasureDesktopWithGdi();
  ++s.mode_refs;
  return true;
}

void DropDisplayMode() {
  DisplayState& s = TheDisplayState();
  if (s.mode_refs <= 0 || --s.mode_refs > 0) return;
  if (s.mode_changed) s.device->ChangeDisplaySettings(nullptr);
  s.mode_changed = false;
}

void MeasureDesktopWithGdi() {
  DisplayState& s = TheDisplayState();
  const platform::Size screen = s.device->ScreenSize();
  s.screen_width = screen.width;
  s.screen_height = screen.height;
  s.desktop_bits = s.device->DeviceDepth();
  s.desktop_bytes = s.desktop_bits > 0 ? uint32_t(s.desktop_bits) / 8 : 0;
}

void ResetDisplayStateForTest() {
  platform::ActiveDisplayDevice().ResetState();
}

}  // namespace vexil
