// The process entry of VexilPlay.exe: the command line as the system keeps it,
// with the program name skipped, and the show command the process was
// started with.
#include <string>

#include "platform/win32/process_start.h"
#include "platform/win32/system_stores.h"
#include "player/command_line.h"
#include "player/startup.h"

int main() {
  namespace win32 = vexil::platform::win32;
  const std::string line = win32::ProcessCommandLine();
  win32::UseSystemStores();

  vexil::PlayerStart start;
  start.command_line = std::string(vexil::SkipProgramName(line));
  start.show_command = win32::StartupShowCommand(vexil::kShowDefault);
  return vexil::RunPlayer(start);
}
