// Movie sources: how a name from the name list becomes an open movie.
//
//   :N        the movie that starts at byte N of the player's own program file
//   name|N    the movie that starts at byte N of the file `name`
//   name      a movie file; ".vxl" is added when the name has no extension
//
// Player thread only (the per-open settings are process-wide).
#pragma once

#include <functional>
#include <string>

#include "platform/files.h"
#include "player/settings.h"

namespace vexil {

struct MovieHandle;

inline constexpr const char kWindowTitle[] = "Vexil Video Player";
inline constexpr const char kTitleSuffix[] = " - Vexil Video Player";
inline constexpr const char kErrorCaption[] = "Vexil Error";
inline constexpr const char kErrOpeningExe[] = "Error opening EXE file.";
inline constexpr const char kMovieExtension[] = ".vxl";

struct SourceContext {
  // The player's own program file, for colon sources.
  std::string program_path;
  // Runs before a bar or plain source is opened; returns true when the user
  // chose to end the player (then nothing is opened). Empty: nothing runs.
  std::function<bool()> version_reminder;
};

struct OpenedSource {
  MovieHandle* movie = nullptr;  // null: failed, the reason in LastError()
  std::string title;             // the window title while this movie plays
  std::string file_name;         // the file the movie is read from, for messages
  // The source file of a colon or bar source: close it with the movie.
  platform::FileHandle file = platform::kNoFile;
  bool quit = false;  // the version reminder ended the player
};

// Hands the engine the per-open settings it consumes at every open.
void HandOverOpenSettings(const PlayerSettings& settings);

// The file name a plain source opens: ".vxl" added when there is no '.' after
// the last path separator.
std::string MovieFileName(const std::string& name);

// Opens the named source with the settings' open flags.
OpenedSource OpenMovieSource(const std::string& name, const PlayerSettings& settings,
                             const SourceContext& context);

// Closes what OpenMovieSource opened.
void CloseMovieSource(OpenedSource& source);

}  // namespace vexil
