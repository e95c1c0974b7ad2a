// The SDL window: an SDL_Window with the queries the display buffer makes,
// and, for the player, the message table made from SDL's events:
//
//   focus gained / lost        kFocusGained / kActivateApp 0 + kFocusLost
//   exposed, resized           the client area is invalid (kPaint follows)
//   moved                      kPositionChanging (the procedure may move it
//                              on) and kPositionChanged
//   key down                   kKeyDown, and kChar for Enter, Escape, space,
//                              period and the other printable keys
//   button down / left up      kLeft/Right/MiddleButtonDown / kLeftButtonUp
//   mouse motion               kMouseMove
//   close request, quit event  kClose
//
// A child window (the screensaver preview) is not made: the player draws
// straight into the system window it was given by number (on X11 the
// window id), which stays where and as large as its owner made it.
//
// Window styles map to SDL's flags: no caption means no border, always on top
// is SDL's own flag; the blank cursor is an empty SDL cursor. Text is drawn
// with SDL2_ttf in a DejaVu font.
//
// Player thread only. Close the display buffers on a window before the window
// goes: the window takes its renderer, and every texture made for it, along.
#pragma once

#include <memory>
#include <string>

#include "platform/window.h"

struct SDL_Window;
struct _TTF_Font;

namespace vexil::platform {

// Starts SDL's video subsystem once for the process; false while no display
// can be opened (a later call tries again).
bool SdlVideoReady();

// The font of the windows' text (SDL2_ttf), opened on first use and kept
// until exit; null when no font can be opened.
_TTF_Font* SdlTextFont();

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
  uint32_t sdl_id() const;

  Backend Kind() const override { return Backend::kSdl; }
  Rect OuterRect() const override;
  Point ClientOrigin() const override;
  Rect ClientRect() const override;
  bool IsVisible() const override;
  bool IsIconic() const override;

  void SetTitle(const std::string& title) override;
  void Show(ShowCommand command) override;
  void FillBlack(const Rect& client_rect) override;
  Point TextExtent(const std::string& text) override;
  void DrawTextLine(const std::string& text, const Rect& client_rect, uint32_t colour,
                    uint32_t background) override;

  // An SDL event for this window, as messages.
  void Translate(const void* sdl_event);

 protected:
  void Place(const WindowPosition& position) override;
  void OnDestroy() override;

 private:
  friend std::unique_ptr<Window> SdlOpenWindow(const WindowClass&, const WindowCreation&);
  explicit SdlWindow(SDL_Window* window) : window_(window) {}
  void Post(MessageKind kind, uint32_t code = 0, Point point = {0, 0});
  // Frame widths (left, top, right, bottom); 0 without a window manager.
  Rect Borders() const;

  SDL_Window* window_;
  bool foreign_ = false;  // another program's window: never moved, hidden or sized
  Point last_position_ = {INT32_MIN, INT32_MIN};
};

// The back end's part of OpenWindow.
std::unique_ptr<Window> SdlOpenWindow(const WindowClass& window_class,
                                      const WindowCreation& creation);
// The back end's part of TakeMessage: SDL's pending events become messages.
void SdlPumpEvents();
// The client size of another program's window given by its system number;
// false when SDL cannot find it.
bool SdlForeignClientSize(intptr_t window, int32_t* width, int32_t* height);

}  // namespace vexil::platform
