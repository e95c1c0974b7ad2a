#include "platform/display_device.h"

#include "platform/backend.h"
#include "platform/headless/display_headless.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/display_sdl.h"
#endif

namespace vexil::platform {

DisplayDevice& ActiveDisplayDevice() {
#ifdef VEXIL_HAVE_SDL
  if (ActiveBackend() == Backend::kSdl) return SdlDisplayDevice();
#endif
  // The Win32 device arrives with the Windows port; until then every other
  // back end draws into memory.
  return HeadlessDisplayDevice();
}

}  // namespace vexil::platform
