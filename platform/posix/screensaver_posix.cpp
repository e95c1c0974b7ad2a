#include "platform/screensaver.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/window_sdl.h"
#endif

namespace vexil::platform {

// No system here wants to hear that a saver runs.
void SystemSetScreenSaverRunning(bool) {}

// Locking the screen is the desktop's business, not the saver's: there is
// nothing to ask, as on every Windows but the 9x line.
bool SystemScreenSaverPasswordCheck() {
  return true;
}

bool SystemPreviewClientSize(intptr_t window, int32_t* width, int32_t* height) {
#ifdef VEXIL_HAVE_SDL
  return SdlForeignClientSize(window, width, height);
#else
  (void)window, (void)width, (void)height;
  return false;
#endif
}

}  // namespace vexil::platform
