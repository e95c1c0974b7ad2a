#include "platform/shell.h"
#include "platform/win32/windows_api.h"
// (after windows.h, which it needs)
#include <shellapi.h>

namespace vexil::platform {

void SystemShellOpen(const std::string& address) {
  ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace vexil::platform
