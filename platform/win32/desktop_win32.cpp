#include "platform/win32/win32_backend.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform::win32 {

DesktopMode Desktop() {
  DesktopMode mode{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 0};
  if (HDC screen = GetDC(nullptr)) {
    mode.bits_per_pixel = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
  }
  return mode;
}

}  // namespace vexil::platform::win32
