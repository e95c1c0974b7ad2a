// The process entry of vexilplay.
#include <csignal>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/posix/system_stores.h"
#include "platform/window.h"
#include "player/command_line.h"
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
