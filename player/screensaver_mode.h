// Screensaver mode: the same program runs as a screen saver when its own
// file name ends in "scr". The saver's arguments then decide what it does:
//
//   none (no '/' or '-')    mode 1: a saver run without the password check
//   /s                      mode 2: the full saver run, with the check
//   /c                      mode 3: the settings box, then the end
//   /p N                    mode N: a preview in the window numbered N
//   /p without a number     mode 0: the end at once
//
// Player thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "player/settings.h"

namespace vexil {

constexpr int32_t kSaverEnd = 0;  // not a saver; after the arguments: end at once
constexpr int32_t kSaverRun = 1;
constexpr int32_t kSaverFull = 2;
constexpr int32_t kSaverSettings = 3;
// Preview window numbers above this make the player window a child of it.
constexpr int32_t kSaverChildAbove = 16;
// Modes 1 to this one end on the user's keys, buttons and moves.
constexpr int32_t kSaverLastEnding = 15;

// How long a preview shows nothing before it starts to play.
constexpr uint32_t kPreviewDelayMs = 500;

inline constexpr const char kSaverSettingsCaption[] = "Vexil Video Player";
inline constexpr const char kSaverSettingsText[] = "There are no settings for this screensaver.";

// Whether the program file `path` (as the system reports it; a trailing
// double quote is ignored) ends in "scr", letters in either case.
bool IsScreensaverProgram(std::string_view path);

// The mode the saver's arguments on the real command line ask for.
int32_t EvaluateScreensaverArguments(std::string_view command_line);

inline bool IsPreviewMode(int32_t mode) {
  return mode > kSaverSettings;
}
// Whether the saver ends on user activity in this mode.
inline bool SaverEndsOnInput(int32_t mode) {
  return mode >= kSaverRun && mode <= kSaverLastEnding;
}

// The settings a saver run (modes 1 and 2) or a preview changes: always on
// top with every control disabled; or for a preview no full screen, no
// sound, the preview window as parent, the picture at 0, 0 and sized to the
// preview's client area (`preview_width` x `preview_height`).
void ApplyScreensaverSettings(int32_t mode, int32_t preview_width, int32_t preview_height,
                              PlayerSettings& settings);

}  // namespace vexil
