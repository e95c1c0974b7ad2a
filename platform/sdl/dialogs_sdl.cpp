#include "platform/sdl/dialogs_sdl.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/sdl/window_sdl.h"
#include "platform/window.h"

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

// SDL's own box on X11 draws with the display server's core fonts, and a
// plain X server may have none; it then shows nothing. This box is drawn with
// the windows' own font instead: the text in lines (tabs at fixed stops), the
// buttons below it. Enter chooses the highlighted button (the first at the
// start), Escape and closing the window the last one; the arrow keys and Tab
// move the highlight, a click chooses a button.
class OwnBox {
 public:
  OwnBox(const std::string& caption, const std::string& text, std::vector<const char*> buttons)
      : caption_(caption), buttons_(std::move(buttons)) {
    for (size_t start = 0; start <= text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      lines_.emplace_back(text, start, end - start);
      start = end + 1;
    }
    // A text that ends its last line with a line feed has no empty line after it.
    if (lines_.size() > 1 && lines_.back().empty()) lines_.pop_back();
  }
  ~OwnBox() {
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
  }
  OwnBox(const OwnBox&) = delete;
  OwnBox& operator=(const OwnBox&) = delete;

  // The button chosen (0 the first), or -1 when the box cannot be shown.
  int Run() {
    font_ = SdlTextFont();
    if (!font_ || !SdlVideoReady()) return -1;
    Measure();
    window_ = SDL_CreateWindow(caption_.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               width_, height_, SDL_WINDOW_SHOWN | SDL_WINDOW_ALWAYS_ON_TOP);
    if (!window_) return -1;
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) return -1;
    SDL_RaiseWindow(window_);
    const Uint32 id = SDL_GetWindowID(window_);
    const int last = int(buttons_.size()) - 1;
    for (;;) {
      Draw();
      SDL_Event e;
      if (!SDL_WaitEventTimeout(&e, 100)) {
        if (WindowsCloseRequested()) return last;
        continue;
      }
      switch (e.type) {
        case SDL_QUIT:
          SDL_PushEvent(&e);  // the program's own loop ends on it too
          return last;
        case SDL_WINDOWEVENT:
          if (e.window.windowID == id && e.window.event == SDL_WINDOWEVENT_CLOSE) return last;
          break;
        case SDL_KEYDOWN:
          if (e.key.windowID != id) break;
          switch (e.key.keysym.sym) {
            case SDLK_RETURN:
            case SDLK_KP_ENTER:
            case SDLK_SPACE:
              return chosen_;
            case SDLK_ESCAPE:
              return last;
            case SDLK_LEFT:
              chosen_ = std::max(chosen_ - 1, 0);
              break;
            case SDLK_RIGHT:
            case SDLK_TAB:
              chosen_ = chosen_ == last ? 0 : chosen_ + 1;
              break;
            default:
              break;
          }
          break;
        case SDL_MOUSEBUTTONUP:
          if (e.button.windowID != id || e.button.button != SDL_BUTTON_LEFT) break;
          for (int k = 0; k <= last; ++k) {
            const SDL_Point at{e.button.x, e.button.y};
            const SDL_Rect r = ButtonRect(k);
            if (SDL_PointInRect(&at, &r)) return k;
          }
          break;
        default:
          break;
      }
    }
  }

 private:
  static constexpr int kMargin = 16;
  static constexpr int kButtonWidth = 80;
  static constexpr int kButtonHeight = 26;
  static constexpr int kButtonGap = 8;

  int TextWidth(const std::string& text) const {
    int w = 0, h = 0;
    return text.empty() || TTF_SizeUTF8(font_, text.c_str(), &w, &h) != 0 ? 0 : w;
  }
  // The x of each tab-separated piece of a line.
  std::vector<std::pair<std::string, int>> Pieces(const std::string& line) const {
    std::vector<std::pair<std::string, int>> pieces;
    int x = 0;
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      const std::string piece = line.substr(start, tab == std::string::npos ? tab : tab - start);
      pieces.emplace_back(piece, x);
      if (tab == std::string::npos) break;
      x += TextWidth(piece);
      x = (x / tab_stop_ + 1) * tab_stop_;
      start = tab + 1;
    }
    return pieces;
  }
  void Measure() {
    tab_stop_ = std::max(TextWidth("nnnnnnnn"), 8);
    line_height_ = std::max(TTF_FontLineSkip(font_), 1);
    int text_width = 0;
    for (const std::string& line : lines_) {
      const auto pieces = Pieces(line);
      text_width = std::max(text_width, pieces.back().second + TextWidth(pieces.back().first));
    }
    const int buttons = int(buttons_.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
    width_ = std::max(text_width, buttons) + 2 * kMargin;
    height_ = int(lines_.size()) * line_height_ + 3 * kMargin + kButtonHeight;
    // No larger than the screen: the rest of a very long text is cut off.
    SDL_Rect screen{};
    if (SDL_GetDisplayUsableBounds(0, &screen) == 0 && screen.w > 0 && screen.h > 0) {
      width_ = std::min(width_, screen.w);
      height_ = std::min(height_, screen.h);
    }
  }
  SDL_Rect ButtonRect(int k) const {
    const int all = int(buttons_.size()) * (kButtonWidth + kButtonGap) - kButtonGap;
    return {(width_ - all) / 2 + k * (kButtonWidth + kButtonGap), height_ - kMargin - kButtonHeight,
            kButtonWidth, kButtonHeight};
  }
  void Text(const std::string& text, int x, int y) {
    if (text.empty()) return;
    SDL_Surface* s = TTF_RenderUTF8_Blended(font_, text.c_str(), SDL_Color{0, 0, 0, 255});
    if (!s) return;
    if (SDL_Texture* t = SDL_CreateTextureFromSurface(renderer_, s)) {
      const SDL_Rect to{x, y, s->w, s->h};
      SDL_RenderCopy(renderer_, t, nullptr, &to);
      SDL_DestroyTexture(t);
    }
    SDL_FreeSurface(s);
  }
  void Draw() {
    SDL_SetRenderDrawColor(renderer_, 240, 240, 240, 255);
    SDL_RenderClear(renderer_);
    int y = kMargin;
    for (const std::string& line : lines_) {
      for (const auto& [piece, x] : Pieces(line)) Text(piece, kMargin + x, y);
      y += line_height_;
    }
    for (int k = 0; k < int(buttons_.size()); ++k) {
      const SDL_Rect r = ButtonRect(k);
      SDL_SetRenderDrawColor(renderer_, 225, 225, 225, 255);
      SDL_RenderFillRect(renderer_, &r);
      const Uint8 edge = k == chosen_ ? 0 : 160;
      SDL_SetRenderDrawColor(renderer_, edge, edge, edge == 0 ? 200 : edge, 255);
      SDL_RenderDrawRect(renderer_, &r);
      const int w = TextWidth(buttons_[size_t(k)]);
      Text(buttons_[size_t(k)], r.x + (r.w - w) / 2, r.y + (r.h - line_height_) / 2);
    }
    SDL_RenderPresent(renderer_);
  }

  std::string caption_;
  std::vector<std::string> lines_;
  std::vector<const char*> buttons_;
  TTF_Font* font_ = nullptr;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  int width_ = 0, height_ = 0, line_height_ = 1, tab_stop_ = 8;
  int chosen_ = 0;
};

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
  if (SDL_ShowMessageBox(&box, &chosen) == 0) {
    *yes = chosen == 1;
    return true;
  }
  const int own = OwnBox(caption, text, {"Yes", "No"}).Run();
  if (own < 0) return false;
  *yes = own == 0;
  return true;
}

bool SdlShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  if (SDL_ShowSimpleMessageBox(IconFlags(icon), caption.c_str(), text.c_str(), nullptr) == 0)
    return true;
  return OwnBox(caption, text, {"OK"}).Run() >= 0;
}

}  // namespace vexil::platform
