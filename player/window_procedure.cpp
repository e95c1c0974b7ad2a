#include "player/window_procedure.h"

#include <algorithm>

#include "display/display_buffer.h"
#include "engine/frame_clock.h"
#include "platform/shell.h"
#include "platform/timer.h"
#include "player/player_state.h"
#include "player/screensaver_end.h"

namespace vexil {
namespace {

using platform::MessageKind;
using platform::Rect;

Rect Intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// Black over `area` except `hole`.
void FillBlackAround(platform::Window* window, const Rect& area, const Rect& hole) {
  const Rect h = Intersect(hole, area);
  if (h.Empty()) {
    if (!area.Empty()) window->FillBlack(area);
    return;
  }
  const Rect parts[4] = {
      {area.left, area.top, area.right, h.top},
      {area.left, h.bottom, area.right, area.bottom},
      {area.left, h.top, h.left, h.bottom},
      {h.right, h.top, area.right, h.bottom},
  };
  for (const Rect& r : parts)
    if (!r.Empty()) window->FillBlack(r);
}

Player& PlayerOf(platform::Window* window) {
  return *static_cast<Player*>(window->user_data());
}

bool Disabled(const Player& p, uint32_t control) {
  return (p.settings.disabled_controls & control) != 0;
}

}  // namespace

bool RegisterPlayerWindowClass(bool hide_cursor) {
  platform::WindowClass c;
  c.name = kWindowClassName;
  c.procedure = PlayerWindowProcedure;
  c.icon = platform::kIconResource;
  c.cursor = hide_cursor ? platform::kBlankCursorResource : 0;
  return platform::RegisterWindowClass(c);
}

void UnregisterPlayerWindowClass() {
  platform::UnregisterWindowClass(kWindowClassName);
}

uint32_t PlayerWindowStyle(int32_t window_style, bool child) {
  if (child) return platform::WINDOW_CHILD;
  uint32_t style = platform::WINDOW_POPUP | platform::WINDOW_CLIP_CHILDREN |
                   platform::WINDOW_SYSTEM_MENU | platform::WINDOW_MINIMIZE_BOX;
  if (window_style == kWindowNormal) style |= platform::WINDOW_CAPTION;
  return style;
}

uint32_t PlayerWindowExStyle(int32_t window_style, int32_t always_on_top) {
  uint32_t ex = window_style != kWindowBare ? platform::WINDOW_EX_DIALOG_FRAME : 0;
  if (always_on_top) ex |= platform::WINDOW_EX_TOPMOST;
  return ex;
}

void QuitAction(Player& p) {
  p.list_loops = 1;
  p.names.Clear();
  if (p.closing_picture) {
    p.end_request = kEndAtOnce;
  } else {
    p.end_request = kEndMovie;
    if (p.movie()) {
      p.summary = CaptureSummary(p.movie(), Timer());
      p.summary_captured = true;
    }
  }
  // Resumed, so that the loop reaches the end.
  Pause(p.movie(), 0);
}

void PaintWindow(Player& p) {
  platform::Window* window = p.window;
  const Rect area = Intersect(window->BeginPaint(), window->ClientRect());
  DisplayBuffer* b = p.buffer;
  if (!p.hold_black_fill) {
    if (b && !p.interlace_fill) {
      const Rect picture{p.picture.x, p.picture.y, p.picture.x + b->stretch_width,
                         p.picture.y + b->stretch_height};
      FillBlackAround(window, area, picture);
    } else if (!area.Empty()) {
      window->FillBlack(area);
    }
  }
  p.copy_flags |= COPY_ALL;
  if (b) BufferBlit(b, nullptr, 1);
}

intptr_t PlayerWindowProcedure(platform::Window* window, const platform::Message& m) {
  Player& p = PlayerOf(window);
  // A screen saver ends on what the user does, before anything else sees it.
  if (SaverWindowMessage(p, m)) return 0;
  switch (m.kind) {
    case MessageKind::kDestroy:
      platform::PostQuit(0);
      return 0;
    case MessageKind::kFocusGained:
      if (!p.settings.keep_playing) Pause(p.movie(), p.user_paused ? 1 : 0);
      p.has_focus = 1;
      return 0;
    case MessageKind::kFocusLost:
      if (!p.settings.keep_playing) Pause(p.movie(), 1);
      p.has_focus = 0;
      return 0;
    case MessageKind::kPaint:
      PaintWindow(p);
      return 0;
    case MessageKind::kEraseBackground:
      return 1;
    case MessageKind::kPositionChanging:
      if (m.position && !(m.position->flags & platform::POSITION_NO_MOVE) && p.buffer) {
        int32_t x = m.position->x + p.picture.x;
        int32_t y = m.position->y + p.picture.y;
        BufferCheckWindowPosition(p.buffer, &x, &y);
        m.position->x = x - p.picture.x;
        m.position->y = y - p.picture.y;
      }
      return 0;
    case MessageKind::kPositionChanged:
      BufferSetOffset(p.buffer, p.picture.x, p.picture.y);
      return 0;
    case MessageKind::kChar:
      switch (m.code) {
        case platform::CHAR_ENTER:
          // Ends the user's pause, as a second space would.
          if (!Disabled(p, CONTROL_PAUSE)) {
            p.user_paused = 0;
            Pause(p.movie(), 0);
          }
          break;
        case platform::CHAR_ESCAPE:
          if (!Disabled(p, CONTROL_QUIT)) QuitAction(p);
          break;
        case platform::CHAR_SPACE:
          if (!Disabled(p, CONTROL_PAUSE)) {
            p.user_paused = ~p.user_paused;
            Pause(p.movie(), p.user_paused ? 1 : 0);
          }
          break;
        case platform::CHAR_PERIOD:
          if (!Disabled(p, CONTROL_SKIP) && !p.closing_picture) p.end_of_movie = 1;
          break;
        default:
          break;
      }
      return 0;
    case MessageKind::kLeftButtonUp:
      if (p.closing_picture) platform::ShellOpen(kClosingPage);
      return 0;
    default:
      return platform::DefaultWindowProcedure(window, m);
  }
}

}  // namespace vexil
