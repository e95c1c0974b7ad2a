#include "platform/win32/process_start.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform::win32 {

std::string ProcessCommandLine() {
  const char* line = GetCommandLineA();
  return line ? std::string(line) : std::string();
}

int StartupShowCommand(int fallback) {
  STARTUPINFOA info{};
  info.cb = sizeof info;
  GetStartupInfoA(&info);
  return (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : fallback;
}

}  // namespace vexil::platform::win32
