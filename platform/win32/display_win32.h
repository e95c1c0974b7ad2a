// The Win32 display device: GDI, the window system and DirectDraw from
// "DDRAW.DLL" (loaded on first use, with the system's error boxes
// suppressed). Player thread only.
#pragma once

#include "platform/display_device.h"

namespace vexil::platform::win32 {

DisplayDevice& TheDisplayDevice();

}  // namespace vexil::platform::win32
