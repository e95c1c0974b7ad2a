// The process entry of vexilplay.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "player/command_line.h"
#include "player/startup.h"

int main(int argc, char** argv) {
  // The player parses one raw command line, as on Windows; rebuild it.
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  vexil::RawCommandLine raw = vexil::RebuildCommandLine(arguments, vexil::platform::FileExists);

  vexil::PlayerStart start;
  start.command_line = raw.text;
  start.movie_names = raw.movie_names;
  start.show_command = vexil::kShowDefault;
  int code = vexil::RunPlayer(start);
  if (code == vexil::kExitNoPlayback) {
    std::fputs(
        "vexilplay: the movies open, but playback is not available in this build yet "
        "(no window, sound or playback loop).\n",
        stderr);
  }
  return code;
}
