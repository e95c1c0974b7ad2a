#include "platform/sdl/dialogs_sdl.h"

#include <SDL.h>

namespace vexil::platform {

namespace {

Uint32 IconFlags(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError:
      return SDL_MESSAGEBOX_ERROR;
    case MessageIcon::kQuestion:
      return SDL_MESSAGEBOX_WARNING;
    case MessageIcon::kInformation:
    case MessageIcon::kNone:
      break;
  }
  return SDL_MESSAGEBOX_INFORMATION;
}

}  // namespace

bool SdlAskYesNo(const std::string& caption, const std::string& text, MessageIcon icon, bool* yes) {
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
  };
  SDL_MessageBoxData box{};
  box.flags = IconFlags(icon);
  box.title = caption.c_str();
  box.message = text.c_str();
  box.numbuttons = 2;
  box.buttons = buttons;
  int chosen = 0;
  if (SDL_ShowMessageBox(&box, &chosen) != 0) return false;
  *yes = chosen == 1;
  return true;
}

bool SdlShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  return SDL_ShowSimpleMessageBox(IconFlags(icon), caption.c_str(), text.c_str(), nullptr) == 0;
}

}  // namespace vexil::platform
