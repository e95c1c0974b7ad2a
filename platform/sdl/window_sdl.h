// The SDL window: an SDL_Window with the queries the display buffer makes.
// Creation is minimal (a shown window of a given client size); the player
// adds its own flags, events and painting.
//
// Player thread only. Close the display buffers on a window before the window
// goes: the window takes its renderer, and every texture made for it, along.
#pragma once

#include <memory>

#include "platform/window.h"

struct SDL_Window;

namespace vexil::platform {

// Starts SDL's video subsystem once for the process; false while no display
// can be opened (a later call tries again).
bool SdlVideoReady();

class SdlWindow final : public Window {
 public:
  // A shown window whose client area is `width` x `height` at the screen
  // position (x, y); null when SDL cannot make one.
  static std::unique_ptr<SdlWindow> Create(const char* title, int32_t x, int32_t y, int32_t width,
                                           int32_t height);
  ~SdlWindow() override;
  SdlWindow(const SdlWindow&) = delete;
  SdlWindow& operator=(const SdlWindow&) = delete;

  SDL_Window* sdl_window() const { return window_; }

  Backend Kind() const override { return Backend::kSdl; }
  Rect OuterRect() const override;
  Point ClientOrigin() const override;
  Rect ClientRect() const override;
  bool IsVisible() const override;
  bool IsIconic() const override;

 private:
  explicit SdlWindow(SDL_Window* window) : window_(window) {}
  SDL_Window* window_;
};

}  // namespace vexil::platform
