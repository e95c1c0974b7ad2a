#include "platform/display_device.h"

#include "platform/backend.h"
#include "platform/headless/display_headless.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/display_sdl.h"
#endif
#ifdef _WIN32
#include "platform/win32/display_win32.h"
#endif

namespace vexil::platform {

DisplayDevice& ActiveDisplayDevice() {
#ifdef VEXIL_HAVE_SDL
  if (ActiveBackend() == Backend::kSdl) return SdlDisplayDevice();
#endif
#ifdef _WIN32
  if (ActiveBackend() == Backend::kWin32) return win32::TheDisplayDevice();
#endif
  return HeadlessDisplayDevice();
}

}  // namespace vexil::platform
