#include "platform/sdl/window_sdl.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/sdl/display_sdl.h"

namespace vexil::platform {
namespace {

// Where Debian and other systems keep the DejaVu font; VEXIL_FONT names another.
constexpr const char* kFontPaths[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/TTF/DejaVuSans.ttf",
};
// About the size of a desktop's default window font.
constexpr int kFontPixels = 12;
// Without a font, text is measured as if each character took this much.
constexpr Point kFallbackCell = {7, 15};

std::vector<SdlWindow*>& Windows() {
  static std::vector<SdlWindow*> windows;
  return windows;
}

SdlWindow* FindWindow(Uint32 id) {
  for (SdlWindow* w : Windows())
    if (w->sdl_id() == id) return w;
  return nullptr;
}

// The font, opened on first use and closed at exit.
struct FontHolder {
  bool tried = false;
  TTF_Font* font = nullptr;
  ~FontHolder() {
    if (font) TTF_CloseFont(font);
    if (tried) TTF_Quit();
  }
};

}  // namespace

TTF_Font* SdlTextFont() {
  static FontHolder holder;
  if (holder.tried) return holder.font;
  holder.tried = true;
  if (TTF_Init() != 0) return nullptr;
  std::vector<const char*> paths;
  if (const char* own = std::getenv("VEXIL_FONT")) paths.push_back(own);
  paths.insert(paths.end(), std::begin(kFontPaths), std::end(kFontPaths));
  for (const char* path : paths)
    if ((holder.font = TTF_OpenFont(path, kFontPixels)) != nullptr) break;
  return holder.font;
}

namespace {

// The program's icon: a yellow V on dark blue.
SDL_Surface* MakeIcon() {
  constexpr int kSize = 32;
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, kSize, kSize, 32, SDL_PIXELFORMAT_ARGB8888);
  if (!icon) return nullptr;
  for (int y = 0; y < kSize; ++y) {
    auto* row = reinterpret_cast<Uint32*>(static_cast<uint8_t*>(icon->pixels) + y * icon->pitch);
    for (int x = 0; x < kSize; ++x) {
      // Two strokes from the top corners meeting at the bottom middle.
      const int centre_left = 4 + (y * 12) / 31, centre_right = 27 - (y * 12) / 31;
      const bool stroke =
          y >= 4 && y <= 28 && (std::abs(x - centre_left) <= 2 || std::abs(x - centre_right) <= 2);
      row[x] = stroke ? 0xFFFFFF00u : 0xFF202050u;
    }
  }
  return icon;
}

SDL_Cursor* BlankCursor() {
  static SDL_Cursor* cursor = nullptr;
  if (!cursor) {
    static const Uint8 kEmpty[32] = {};
    cursor = SDL_CreateCursor(kEmpty, kEmpty, 16, 16, 0, 0);
  }
  return cursor;
}

// The character a key makes, as the system's translation would (0: none).
uint32_t CharacterOf(SDL_Keycode key) {
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return CHAR_ENTER;
    case SDLK_ESCAPE:
      return CHAR_ESCAPE;
    case SDLK_KP_PERIOD:
      return CHAR_PERIOD;
    default:
      return key >= 32 && key < 127 ? uint32_t(key) : 0;
  }
}

Rect Clip(const Rect& r, const Rect& client) {
  return {std::max(r.left, client.left), std::max(r.top, client.top),
          std::min(r.right, client.right), std::min(r.bottom, client.bottom)};
}

}  // namespace

bool SdlVideoReady() {
  // A display that is not there yet may be there on a later call.
  static bool ready = false;
  if (!ready) ready = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  return ready;
}

std::unique_ptr<SdlWindow> SdlWindow::Create(const char* title, int32_t x, int32_t y, int32_t width,
                                             int32_t height) {
  if (!SdlVideoReady()) return nullptr;
  SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_SHOWN);
  if (!window) return nullptr;
  std::unique_ptr<SdlWindow> result(new SdlWindow(window));
  SdlRegisterWindow(result.get());
  Windows().push_back(result.get());
  return result;
}

bool SdlForeignClientSize(intptr_t window, int32_t* width, int32_t* height) {
  if (!window || !SdlVideoReady()) return false;
  SDL_Window* foreign = SDL_CreateWindowFrom(reinterpret_cast<const void*>(window));
  if (!foreign) return false;
  int w = 0, h = 0;
  SDL_GetWindowSize(foreign, &w, &h);
  // SDL leaves a window it did not make in place.
  SDL_DestroyWindow(foreign);
  *width = w;
  *height = h;
  return true;
}

std::unique_ptr<Window> SdlOpenWindow(const WindowClass& window_class, const WindowCreation& c) {
  if (!SdlVideoReady()) return nullptr;
  if ((c.style & WINDOW_CHILD) && c.parent) {
    SDL_Window* foreign = SDL_CreateWindowFrom(reinterpret_cast<const void*>(c.parent));
    if (!foreign) return nullptr;
    if (window_class.cursor == kBlankCursorResource) {
      if (SDL_Cursor* blank = BlankCursor()) SDL_SetCursor(blank);
    }
    std::unique_ptr<SdlWindow> window(new SdlWindow(foreign));
    window->foreign_ = true;
    window->Attach(window_class, c);
    SdlRegisterWindow(window.get());
    Windows().push_back(window.get());
    return window;
  }
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if ((c.style & WINDOW_CAPTION) != WINDOW_CAPTION) flags |= SDL_WINDOW_BORDERLESS;
  if (c.ex_style & WINDOW_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  const int x = c.x == kDefaultWindowPosition ? int(SDL_WINDOWPOS_UNDEFINED) : c.x;
  const int y = c.y == kDefaultWindowPosition ? int(SDL_WINDOWPOS_UNDEFINED) : c.y;
  SDL_Window* sdl =
      SDL_CreateWindow(c.title.c_str(), x, y, std::max(c.width, 1), std::max(c.height, 1), flags);
  if (!sdl) return nullptr;
  if (window_class.icon == kIconResource) {
    if (SDL_Surface* icon = MakeIcon()) {
      SDL_SetWindowIcon(sdl, icon);
      SDL_FreeSurface(icon);
    }
  }
  if (window_class.cursor == kBlankCursorResource) {
    if (SDL_Cursor* blank = BlankCursor()) SDL_SetCursor(blank);
  }
  std::unique_ptr<SdlWindow> window(new SdlWindow(sdl));
  window->Attach(window_class, c);
  SdlRegisterWindow(window.get());
  Windows().push_back(window.get());
  return window;
}

SdlWindow::~SdlWindow() {
  std::erase(Windows(), this);
  SdlForgetWindow(this);
  SDL_DestroyWindow(window_);
}

uint32_t SdlWindow::sdl_id() const {
  return SDL_GetWindowID(window_);
}

Rect SdlWindow::Borders() const {
  int top = 0, left = 0, bottom = 0, right = 0;
  // No window manager, no frame: the call fails and the frame stays 0.
  if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0)
    top = left = bottom = right = 0;
  return {left, top, right, bottom};
}

Rect SdlWindow::OuterRect() const {
  const Rect b = Borders();
  const Point origin = ClientOrigin();
  const Rect client = ClientRect();
  return {origin.x - b.left, origin.y - b.top, origin.x + client.right + b.right,
          origin.y + client.bottom + b.bottom};
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

bool SdlWindow::IsIconic() const {
  return (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) != 0;
}

void SdlWindow::SetTitle(const std::string& title) {
  if (foreign_) return;
  SDL_SetWindowTitle(window_, title.c_str());
}

void SdlWindow::Show(ShowCommand command) {
  if (foreign_) {
    if (command != ShowCommand::kHide) Invalidate(nullptr);
    return;
  }
  if (command == ShowCommand::kHide) {
    SDL_HideWindow(window_);
    return;
  }
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
  Invalidate(nullptr);
}

void SdlWindow::FillBlack(const Rect& client_rect) {
  const Rect r = Clip(client_rect, ClientRect());
  if (!r.Empty()) SdlFillClient(this, r, 0);
}

Point SdlWindow::TextExtent(const std::string& text) {
  TTF_Font* font = SdlTextFont();
  int w = 0, h = 0;
  if (!font || TTF_SizeUTF8(font, text.c_str(), &w, &h) != 0)
    return {int32_t(std::min<size_t>(text.size(), 1u << 20)) * kFallbackCell.x, kFallbackCell.y};
  return {w, h};
}

void SdlWindow::DrawTextLine(const std::string& text, const Rect& client_rect, uint32_t colour,
                             uint32_t background) {
  const Rect area = Clip(client_rect, ClientRect());
  if (area.Empty()) return;
  SdlFillClient(this, area, background);
  TTF_Font* font = SdlTextFont();
  if (!font || text.empty()) return;
  const SDL_Color fg{Uint8(colour >> 16), Uint8(colour >> 8), Uint8(colour), 255};
  const SDL_Color bg{Uint8(background >> 16), Uint8(background >> 8), Uint8(background), 255};
  SDL_Surface* rendered = TTF_RenderUTF8_Shaded(font, text.c_str(), fg, bg);
  if (!rendered) return;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(rendered);
  if (!argb) return;
  // Centred on the rectangle's middle, top-aligned, clipped to it.
  const int32_t x = client_rect.left + (client_rect.Width() - argb->w) / 2;
  const int32_t y = client_rect.top;
  const Rect shown = Clip({x, y, x + argb->w, y + argb->h}, area);
  if (!shown.Empty() && SDL_LockSurface(argb) == 0) {
    const uint8_t* first = static_cast<const uint8_t*>(argb->pixels) +
                           size_t(shown.top - y) * size_t(argb->pitch) + size_t(shown.left - x) * 4;
    SdlDrawClientPixels(this, shown, first, argb->pitch);
    SDL_UnlockSurface(argb);
  }
  SDL_FreeSurface(argb);
}

void SdlWindow::Place(const WindowPosition& p) {
  if (foreign_) return;
  const Rect b = Borders();
  if (!(p.flags & POSITION_NO_MOVE)) SDL_SetWindowPosition(window_, p.x + b.left, p.y + b.top);
  if (!(p.flags & POSITION_NO_SIZE)) {
    SDL_SetWindowSize(window_, std::max(p.width - b.left - b.right, 1),
                      std::max(p.height - b.top - b.bottom, 1));
  }
}

void SdlWindow::OnDestroy() {
  if (!foreign_) SDL_HideWindow(window_);
}

void SdlWindow::Post(MessageKind kind, uint32_t code, Point point) {
  Message m;
  m.window = this;
  m.kind = kind;
  m.code = code;
  m.point = point;
  PostWindowMessage(m);
}

void SdlWindow::Translate(const void* event) {
  const SDL_Event& e = *static_cast<const SDL_Event*>(event);
  switch (e.type) {
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          Post(MessageKind::kActivateApp, 1);
          Post(MessageKind::kFocusGained);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          Post(MessageKind::kActivateApp, 0);
          Post(MessageKind::kFocusLost);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          Invalidate(nullptr);
          break;
        case SDL_WINDOWEVENT_MOVED: {
          // The move has happened; the procedure sees it as proposed and
          // may move the window on, as it could before a system move.
          const Rect outer = OuterRect();
          WindowPosition p{outer.left, outer.top, outer.Width(), outer.Height(),
                           POSITION_NO_SIZE | POSITION_NO_Z_ORDER};
          Message m;
          m.kind = MessageKind::kPositionChanging;
          m.position = &p;
          Send(m);
          if (p.x != outer.left || p.y != outer.top) Place(p);
          m.kind = MessageKind::kPositionChanged;
          Send(m);
          break;
        }
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN: {
          const Rect outer = OuterRect();
          WindowPosition p{outer.left, outer.top, outer.Width(), outer.Height(),
                           POSITION_NO_SIZE | POSITION_NO_MOVE | POSITION_NO_Z_ORDER};
          Message m;
          m.kind = MessageKind::kPositionChanged;
          m.position = &p;
          Send(m);
          if (e.window.event != SDL_WINDOWEVENT_MINIMIZED) Invalidate(nullptr);
          break;
        }
        case SDL_WINDOWEVENT_CLOSE:
          Post(MessageKind::kClose);
          break;
        default:
          break;
      }
      break;
    case SDL_KEYDOWN: {
      Post(MessageKind::kKeyDown, uint32_t(e.key.keysym.sym));
      if (const uint32_t c = CharacterOf(e.key.keysym.sym)) Post(MessageKind::kChar, c);
      break;
    }
    case SDL_MOUSEBUTTONDOWN: {
      const Point at{e.button.x, e.button.y};
      if (e.button.button == SDL_BUTTON_LEFT) Post(MessageKind::kLeftButtonDown, 0, at);
      if (e.button.button == SDL_BUTTON_RIGHT) Post(MessageKind::kRightButtonDown, 0, at);
      if (e.button.button == SDL_BUTTON_MIDDLE) Post(MessageKind::kMiddleButtonDown, 0, at);
      break;
    }
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT)
        Post(MessageKind::kLeftButtonUp, 0, {e.button.x, e.button.y});
      break;
    case SDL_MOUSEMOTION:
      Post(MessageKind::kMouseMove, 0, {e.motion.x, e.motion.y});
      break;
    default:
      break;
  }
}

void SdlPumpEvents() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    Uint32 id = 0;
    switch (e.type) {
      case SDL_QUIT:
        // The last window was closed, or the process was interrupted.
        for (SdlWindow* w : Windows()) {
          if (w->window_class().procedure && !w->destroyed()) {
            Message m;
            m.window = w;
            m.kind = MessageKind::kClose;
            PostWindowMessage(m);
          }
        }
        continue;
      case SDL_WINDOWEVENT:
        id = e.window.windowID;
        break;
      case SDL_KEYDOWN:
        id = e.key.windowID;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        id = e.button.windowID;
        break;
      case SDL_MOUSEMOTION:
        id = e.motion.windowID;
        break;
      default:
        continue;
    }
    SdlWindow* w = FindWindow(id);
    // Windows made without a class (display tests) take no messages.
    if (w && w->window_class().procedure && !w->destroyed()) w->Translate(&e);
  }
}

}  // namespace vexil::platform
