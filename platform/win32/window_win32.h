// The Win32 window: an HWND of a registered system class whose procedure
// turns the system's messages into the player's messages:
//
//   WM_SETFOCUS / WM_KILLFOCUS        kFocusGained / kFocusLost
//   WM_PAINT                          kPaint, between BeginPaint and EndPaint
//   WM_ERASEBKGND                     kEraseBackground
//   WM_ACTIVATEAPP                    kActivateApp (1 active, 0 deactivated)
//   WM_WINDOWPOSCHANGING / CHANGED    kPositionChanging / kPositionChanged
//   WM_KEYDOWN, WM_CHAR               kKeyDown (virtual key), kChar
//   WM_L/R/MBUTTONDOWN, WM_LBUTTONUP  the button messages (client pixels)
//   WM_MOUSEMOVE                      kMouseMove
//   WM_SYSCOMMAND                     kSystemCommand (the command, low 4 bits cut)
//   WM_POWERBROADCAST                 kPowerBroadcast
//   WM_CLOSE, WM_DESTROY              kClose, kDestroy
//   WM_QUIT (taken from the queue)    kQuit
//
// The system calls the procedure directly, so every message reaches the
// player's procedure at once; what that passes on goes to DefWindowProcA with
// the system's own parameters. Messages the portable code posts itself go
// through the portable queue as on every back end.
//
// Player thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/window.h"

namespace vexil::platform::win32 {

// The back end's part of OpenWindow: registers the system class (icon and
// cursor from the program's resources) and creates the hidden window.
std::unique_ptr<Window> OpenWindow(const WindowClass& window_class, const WindowCreation& creation);

// The back end's part of TakeMessage: dispatches what the system's queue
// holds; its quit message becomes kQuit.
void PumpEvents();

// The system's default for the message the window is handling now; false when
// `message` is not one the system sent (the portable default then applies).
bool DefaultProcedure(Window* window, const Message& message, intptr_t* result);

// The HWND behind a window of this back end (null for any other window).
void* WindowHandleOf(const Window* window);

}  // namespace vexil::platform::win32
