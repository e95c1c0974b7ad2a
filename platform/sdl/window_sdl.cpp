#include "platform/sdl/window_sdl.h"

#include <SDL.h>

#include "platform/sdl/display_sdl.h"

namespace vexil::platform {

bool SdlVideoReady() {
  // A display that is not there yet may be there on a later call.
  static bool ready = false;
  if (!ready) ready = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  return ready;
}

std::unique_ptr<SdlWindow> SdlWindow::Create(const char* title, int32_t x, int32_t y,
                                             int32_t width, int32_t height) {
  if (!SdlVideoReady()) return nullptr;
  SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_SHOWN);
  if (!window) return nullptr;
  std::unique_ptr<SdlWindow> result(new SdlWindow(window));
  SdlRegisterWindow(result.get());
  return result;
}

SdlWindow::~SdlWindow() {
  SdlForgetWindow(this);
  SDL_DestroyWindow(window_);
}

Rect SdlWindow::OuterRect() const {
  int top = 0, left = 0, bottom = 0, right = 0;
  // No window manager, no frame: the call fails and the frame stays 0.
  if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0)
    top = left = bottom = right = 0;
  const Point origin = ClientOrigin();
  const Rect client = ClientRect();
  return {origin.x - left, origin.y - top, origin.x + client.right + right,
          origin.y + client.bottom + bottom};
}

Point SdlWindow::ClientOrigin() const {
  int x = 0, y = 0;
  SDL_GetWindowPosition(window_, &x, &y);
  return {x, y};
}

Rect SdlWindow::ClientRect() const {
  int w = 0, h = 0;
  SDL_GetWindowSize(window_, &w, &h);
  return {0, 0, w, h};
}

bool SdlWindow::IsVisible() const {
  const Uint32 flags = SDL_GetWindowFlags(window_);
  return (flags & SDL_WINDOW_SHOWN) && !(flags & SDL_WINDOW_HIDDEN);
}

bool SdlWindow::IsIconic() const { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) != 0; }

}  // namespace vexil::platform
