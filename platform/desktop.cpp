#include "platform/desktop.h"

#include "platform/backend.h"
#include "platform/headless/headless_backend.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/display_sdl.h"
#endif
#ifdef _WIN32
#include "platform/win32/win32_backend.h"
#endif

namespace vexil::platform {

DesktopMode Desktop() {
  switch (ActiveBackend()) {
#ifdef _WIN32
    case Backend::kWin32:
      return win32::Desktop();
#endif
#ifdef VEXIL_HAVE_SDL
    case Backend::kSdl:
      return SdlDesktop();
#endif
    default:
      return headless::Desktop();
  }
}

DesktopMode HeadlessDesktop() { return headless::Desktop(); }

}  // namespace vexil::platform
