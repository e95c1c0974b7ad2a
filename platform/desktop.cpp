#include "platform/desktop.h"

#include "platform/backend.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/display_sdl.h"
#endif

namespace vexil::platform {

DesktopMode Desktop() {
#ifdef VEXIL_HAVE_SDL
  if (ActiveBackend() == Backend::kSdl) return SdlDesktop();
#endif
  return HeadlessDesktop();
}

}  // namespace vexil::platform
