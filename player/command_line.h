// The real command line as the player's main routine receives it: the raw
// text behind the program name, the same on every system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vexil {

// The show command the window uses when the system gives none.
constexpr int kShowDefault = 10;

// Windows: the process command line with the program name skipped (quoted:
// up to and including the closing quote; otherwise up to the first character
// at or below blank) and the characters at or below blank after it.
std::string_view SkipProgramName(std::string_view line);

struct RawCommandLine {
  std::string text;                      // the arguments joined as one line
  std::vector<std::string> movie_names;  // arguments kept out of switch parsing
};

// POSIX: rebuilds the raw command line from the arguments after the program
// name, quoting those that contain blanks. An argument that names an existing
// file (as given, with ".vxl" added, or before a `|`), and every argument
// after `--`, is a movie name: `/home/u/a.vxl` must not be read as switches.
// An empty argument, or one of blanks only, counts as none.
RawCommandLine RebuildCommandLine(const std::vector<std::string>& arguments,
                                  bool (*file_exists)(const char* name));

// POSIX: what the arguments ask before any playing. The first of -h/--help
// and -V/--version before `--` decides; these are options even where a file
// of that name exists (`./-h` or `-- -h` names the file).
enum class ProgramRequest { kPlay, kHelp, kVersion };
ProgramRequest FindProgramRequest(const std::vector<std::string>& arguments);

// "vexilplay" and the project's version, with a line feed.
std::string VersionText();

}  // namespace vexil
