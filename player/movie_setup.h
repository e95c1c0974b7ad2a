// Getting a movie on the screen: the picture's size, the display buffer (made
// before the previous movie's is closed), the window's place and the closing
// picture that follows the last movie.
//
// Player thread only.
#pragma once

#include "player/player_state.h"

namespace vexil {

// After a successful open: starts decoding frame 1, sizes the picture, makes
// the display buffer and places the window. False when the buffer cannot be
// made: the error box was shown, the window destroyed and the movie closed.
bool SetUpMovie(Player& player);

// Captures the summary figures, replaces the movie by the built-in closing
// picture for 2250 ms and puts it in the middle of the previous picture. When
// it cannot be opened or shown, the movie is gone and the loop ends.
void StartClosingPicture(Player& player);

}  // namespace vexil
