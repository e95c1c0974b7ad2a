// The display buffers' use of what they share on the active display device
// (the DirectDraw object and primary surface, the desktop as measured, the
// capabilities, the requested display mode and its change): the state itself
// is the device's (platform::DisplayState), each piece reference-counted by
// the buffers that took it. Player thread only.
#pragma once

#include <cstdint>

#include "platform/display_device.h"

namespace vexil {

using platform::CursorProbeCache;
using platform::DisplayState;

// The active display device's shared state.
DisplayState& TheDisplayState();

// The DirectDraw start-up: the first call creates the object (in exclusive
// full-screen cooperation with a display-mode switch when `full_screen` and a
// mode was requested), the primary surface, and measures the desktop; later
// calls only count. True when a reference was taken.
bool StartDirectDraw(platform::WindowHandle window, bool full_screen);
// Drops a reference; the last one releases the primary and the object.
void DropDirectDraw();

// The GDI display-mode change for the DIB style. Declines (false) unless
// `full_screen`, a mode was requested and DirectDraw is not open; otherwise
// switches, measures the desktop and takes a reference (true).
bool StartGdiDisplayMode(bool full_screen);
// Drops a reference; the last one goes back to the system's mode if any
// switch was made.
void DropDisplayMode();

// Measures the desktop through GDI (size and depth), when DirectDraw did not.
void MeasureDesktopWithGdi();

// Forgets the active device's shared state (tests, between device
// configurations). Only while no buffer is open.
void ResetDisplayStateForTest();

}  // namespace vexil
