// The player window's class and procedure: focus, painting, the window's
// moves, the keys and mouse buttons, and the quit action.
//
// Player thread only.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace vexil {

struct Player;

inline constexpr const char kWindowClassName[] = "VexilWin";

// Registers the class (blank cursor with /C); false when that fails.
bool RegisterPlayerWindowClass(bool hide_cursor);
void UnregisterPlayerWindowClass();

// Styles of the player window for its window style (/I mod 100), always on
// top (/I div 100) and the screensaver preview (a child window).
uint32_t PlayerWindowStyle(int32_t window_style, bool child);
uint32_t PlayerWindowExStyle(int32_t window_style, int32_t always_on_top);

// The window procedure; the window's user data is the Player.
intptr_t PlayerWindowProcedure(platform::Window* window, const platform::Message& message);

// Ends the current movie (or the closing picture at once) and empties the
// name list, capturing the summary figures of the movie playing.
void QuitAction(Player& player);

// The client area black (except the picture, unless the picture area must be
// blackened too) and the whole buffer shown again.
void PaintWindow(Player& player);

}  // namespace vexil
