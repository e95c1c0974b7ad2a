// The player's main routine: decode threads, default command, screensaver
// decision, command text and switches, the window, the help box, then the
// movies of the name list played one after the other.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/command_line.h"

namespace vexil {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the help box, or a movie that failed to open

inline constexpr const char kQuickPlayValue[] = "VexilQuickPlay";

struct PlayerStart {
  std::string command_line;              // behind the program name
  std::vector<std::string> movie_names;  // POSIX file-name arguments
  int show_command = kShowDefault;
  // Tests: a default command and program file in place of the running
  // program's own.
  std::optional<std::string> default_command;
  std::optional<std::string> program_path;
  // Tests: another closing picture (a movie followed by 1 KiB of zero bytes;
  // empty: none) in place of the built-in one.
  std::optional<std::span<const uint8_t>> closing_picture;
};

inline constexpr const char kWindowErrorCaption[] = "Windows";
inline constexpr const char kErrCreatingWindow[] = "Error creating window.";

// Runs the player; returns the process exit code. Every thread it started is
// stopped and joined by then, on every path.
int RunPlayer(const PlayerStart& start);

}  // namespace vexil
