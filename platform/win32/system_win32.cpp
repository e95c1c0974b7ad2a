#include "platform/system.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform {

uint32_t ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors < 1 ? 1u : static_cast<uint32_t>(info.dwNumberOfProcessors);
}

bool RunsUnderWow64() {
  // Looked up at run time: systems before the 64-bit ones have no such call
  // (and then no WOW64 either).
  static const bool wow64 = [] {
    using Query = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel) return false;
    auto query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
    BOOL answer = FALSE;
    return query && query(GetCurrentProcess(), &answer) && answer;
  }();
  return wow64;
}

}  // namespace vexil::platform
