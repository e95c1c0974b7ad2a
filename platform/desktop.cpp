#include "platform/desktop.h"

#include "platform/backend.h"
#include "platform/headless/headless_backend.h"
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
    default:
      return headless::Desktop();
  }
}

}  // namespace vexil::platform
