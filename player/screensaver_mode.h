// Screensaver mode: the same program runs as a screen saver when its own
// file name ends in "scr".
#pragma once

#include <string_view>

namespace vexil {

// Whether the program file `path` (as the system reports it; a trailing
// double quote is ignored) ends in "scr", letters in either case.
bool IsScreensaverProgram(std::string_view path);

}  // namespace vexil
