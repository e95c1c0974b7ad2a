// The playback loop: window messages between frames, the engine asked when
// the next frame is due, short sleeps while it is not, one frame processed
// when it is; then the next movie, the list again, the closing picture, or
// the end with the summary.
//
// Player thread only.
#pragma once

#include <string>

#include "player/player_state.h"

namespace vexil {

// The loop never sleeps longer than this at once.
constexpr int32_t kLongestSleep = 10;
// Sleep debt is never more than this far in credit.
constexpr int32_t kSleepCredit = -100;

// Plays `first` and the names after it; returns the exit code: 0 when the
// user or the end of the list ended playback, 1 after a failed open or a
// display buffer that could not be made. Everything opened is closed.
int PlayMovies(Player& player, std::string first);

// One frame: waits for its decode, steps on (or ends the movie at its last
// frame when the play count runs out), starts the next decode, copies the
// frame into the display buffer and shows it.
void ProcessOneFrame(Player& player);

}  // namespace vexil
