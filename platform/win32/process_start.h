// What the Windows process entry takes from the system: the command line and
// the show command it was started with.
#pragma once

#include <string>

namespace vexil::platform::win32 {

// The process command line as the system keeps it, program name included.
std::string ProcessCommandLine();

// The start-up information's show-window value when it carries one, else
// `fallback`.
int StartupShowCommand(int fallback);

}  // namespace vexil::platform::win32
