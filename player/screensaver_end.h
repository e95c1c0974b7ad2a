// How a screen saver ends: on a key, a mouse button, the sixth mouse move to
// a new position, the application losing the activation, or the system
// suspending; in the full saver run (mode 2) only once the system's password
// check lets it. System commands that would switch away or close the saver
// are swallowed.
//
// Player thread only (the window procedure).
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace vexil {

struct Player;

// The moves to new positions that end the saver; the ones before are taken
// as the mouse settling (a window made under the pointer reports one).
constexpr int32_t kSaverEndingMoves = 6;

// The password check with the player's flag: passes at once once it has
// passed, else asks the system and remembers a pass.
bool SaverPasswordCheck(Player& player);

// The saver's part of the window procedure for `message`, while the mode
// ends on input. True when the message was the saver's (the procedure
// answers 0); false when it goes on as usual.
bool SaverWindowMessage(Player& player, const platform::Message& message);

}  // namespace vexil
