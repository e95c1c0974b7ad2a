// The process entry of vexilplay.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/posix/system_stores.h"
#include "platform/window.h"
#include "player/command_line.h"
#include "player/help_text.h"
#include "player/screensaver_mode.h"
#include "player/startup.h"

namespace {

// An interrupted player closes its window and ends as the user would have
// ended it: movies closed, threads joined.
extern "C" void OnInterrupt(int) {
  vexil::platform::RequestWindowsClose();
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  // The player parses one raw command line, as on Windows; rebuild it.
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  // Help and version as every command-line program gives them: on standard
  // output, exit code 0. A screen saver takes only its host's arguments.
  if (!vexil::IsScreensaverProgram(vexil::platform::ModulePath())) {
    switch (vexil::FindProgramRequest(arguments)) {
      case vexil::ProgramRequest::kHelp:
        std::fputs(vexil::HelpText().c_str(), stdout);
        return vexil::kExitSuccess;
      case vexil::ProgramRequest::kVersion:
        std::fputs(vexil::VersionText().c_str(), stdout);
        return vexil::kExitSuccess;
      case vexil::ProgramRequest::kPlay:
        break;
    }
  }
  vexil::RawCommandLine raw = vexil::RebuildCommandLine(arguments, vexil::platform::FileExists);

  // The quick-play switches and the reminder's date live in the user's and
  // the machine's configuration files.
  vexil::platform::posix::UseSystemStores();

  vexil::PlayerStart start;
  start.command_line = raw.text;
  start.movie_names = raw.movie_names;
  start.show_command = vexil::kShowDefault;
  return vexil::RunPlayer(start);
}
