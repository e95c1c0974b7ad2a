// The SDL display device (Linux desktop): the window's renderer stands in for
// DirectDraw and GDI.
//
// - The primary surface is a desktop-sized memory picture; the part of it
//   under the window's client area is what the window shows after an unlock.
// - Overlays are streaming YUV textures (YV12, YUY2, UYVY) drawn into their
//   destination rectangle over the window's picture.
// - Video-memory off-screen surfaces are streaming textures; system-memory
//   off-screen surfaces and DIB sections are memory pictures uploaded when
//   blitted. The renderer does every stretch.
// - Full-screen display modes are the desktop display modes SDL lists.
//
// Each surface keeps its pixels in memory, so a lock always finds what the
// last unlock left (the copy rewrites only changed blocks). Only the video
// subsystem of SDL is initialised here.
//
// Player thread only.
#pragma once

#include "platform/desktop.h"
#include "platform/display_device.h"

namespace vexil::platform {

DisplayDevice& SdlDisplayDevice();

// The desktop's size and depth as SDL reports them (display 0), or the
// full-screen mode in force.
DesktopMode SdlDesktop();

class SdlWindow;
// The SDL windows the device knows (a full-screen switch applies to them);
// forgetting one drops what the device made for it.
void SdlRegisterWindow(SdlWindow* window);
void SdlForgetWindow(SdlWindow* window);

// The window's own drawing (painting, the statistics line) onto the picture
// the device keeps for it, shown at once. `dest` is in client pixels; `argb`
// holds dest's rows of 32-bit 0xAARRGGBB pixels at `pitch` bytes.
void SdlFillClient(SdlWindow* window, const Rect& dest, uint32_t rgb);
void SdlDrawClientPixels(SdlWindow* window, const Rect& dest, const void* argb, int32_t pitch);

}  // namespace vexil::platform
