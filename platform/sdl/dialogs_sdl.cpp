#include "platform/sdl/dialogs_sdl.h"

#include <SDL.h>

namespace vexil::platform {

bool SdlShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  Uint32 flags = 0;
  switch (icon) {
    case MessageIcon::kError:
      flags = SDL_MESSAGEBOX_ERROR;
      break;
    case MessageIcon::kQuestion:
      flags = SDL_MESSAGEBOX_WARNING;
      break;
    case MessageIcon::kInformation:
    case MessageIcon::kNone:
      flags = SDL_MESSAGEBOX_INFORMATION;
      break;
  }
  return SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), nullptr) == 0;
}

}  // namespace vexil::platform
