#include <cstdio>

#include "platform/backend.h"
#include "platform/dialogs.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/dialogs_sdl.h"
#endif

namespace vexil::platform {
namespace {

std::vector<ShownMessage>* g_capture = nullptr;

}  // namespace

void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  if (g_capture) {
    g_capture->push_back(ShownMessage{caption, text, icon});
    return;
  }
#ifdef VEXIL_HAVE_SDL
  if (ActiveBackend() == Backend::kSdl && SdlShowMessageBox(caption, text, icon)) return;
#endif
  // Without a screen the text is all the user gets; it goes out verbatim so
  // scripts can compare it (the help text already ends with a line feed).
  std::fwrite(text.data(), 1, text.size(), stderr);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
}

void CaptureMessageBoxes(std::vector<ShownMessage>* into) { g_capture = into; }

}  // namespace vexil::platform
