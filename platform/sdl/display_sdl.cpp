#include "platform/sdl/display_sdl.h"

#include "platform/headless/display_headless.h"

namespace vexil::platform {
DisplayDevice& SdlDisplayDevice() { return HeadlessDisplayDevice(); }
DesktopMode SdlDesktop() { return HeadlessDesktop(); }
}  // namespace vexil::platform
