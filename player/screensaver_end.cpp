#include "player/screensaver_end.h"

#include "engine/frame_clock.h"
#include "platform/screensaver.h"
#include "player/player_state.h"
#include "player/screensaver_mode.h"
#include "player/window_procedure.h"

namespace vexil {
namespace {

using platform::MessageKind;

// A key or a button: paused while the password is asked; a wrong password
// leaves the saver running as the user had it.
void EndOnInput(Player& p) {
  Pause(p.movie(), 1);
  if (p.screensaver_mode == kSaverFull && !SaverPasswordCheck(p)) {
    Pause(p.movie(), p.user_paused ? 1 : 0);
    return;
  }
  QuitAction(p);
}

bool SwallowedCommand(uint32_t code) {
  // The low four bits are the system's own.
  switch (code & 0xFFF0) {
    case platform::SYSTEM_COMMAND_NEXT_WINDOW:
    case platform::SYSTEM_COMMAND_PREVIOUS_WINDOW:
    case platform::SYSTEM_COMMAND_CLOSE:
    case platform::SYSTEM_COMMAND_SCREEN_SAVE:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool SaverPasswordCheck(Player& p) {
  if (p.password_passed) return true;
  if (!platform::ScreenSaverPasswordCheck()) return false;
  p.password_passed = true;
  return true;
}

bool SaverWindowMessage(Player& p, const platform::Message& m) {
  if (!SaverEndsOnInput(p.screensaver_mode)) return false;
  switch (m.kind) {
    case MessageKind::kKeyDown:
    case MessageKind::kLeftButtonDown:
    case MessageKind::kRightButtonDown:
    case MessageKind::kMiddleButtonDown:
      EndOnInput(p);
      return true;
    case MessageKind::kMouseMove:
      if (p.mouse_recorded && m.point == p.last_mouse) return true;
      p.mouse_recorded = true;
      p.last_mouse = m.point;
      if (++p.mouse_moves >= kSaverEndingMoves) {
        p.mouse_moves = 0;
        EndOnInput(p);
      }
      return true;
    case MessageKind::kActivateApp:
      if (m.code != 0) return false;
      if (p.screensaver_mode == kSaverFull && !SaverPasswordCheck(p)) return true;
      QuitAction(p);
      return true;
    case MessageKind::kSystemCommand:
      return SwallowedCommand(m.code);
    case MessageKind::kPowerBroadcast:
      if (m.code != platform::POWER_SUSPEND) return false;
      QuitAction(p);
      return true;
    default:
      return false;
  }
}

}  // namespace vexil
