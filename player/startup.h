// The player's main routine, start-up half: default command, screensaver
// decision, command text and switches, the help box, then the movies of the
// name list opened one after the other.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "player/command_line.h"

namespace vexil {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the help box, or a movie that failed to open
// The movies opened but this build has no window, sound or playback loop yet.
constexpr int kExitNoPlayback = 2;

inline constexpr const char kQuickPlayValue[] = "VexilQuickPlay";

struct PlayerStart {
  std::string command_line;              // behind the program name
  std::vector<std::string> movie_names;  // POSIX file-name arguments
  int show_command = kShowDefault;
  // Tests: a default command and program file in place of the running
  // program's own.
  std::optional<std::string> default_command;
  std::optional<std::string> program_path;
};

// Runs the player; returns the process exit code.
int RunPlayer(const PlayerStart& start);

}  // namespace vexil
