#include <vector>

#include "platform/resources.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform {

std::optional<std::string> ProgramString(uint32_t id, uint32_t room) {
  if (room == 0) return std::nullopt;
  std::vector<char> buffer(room, '\0');
  const int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer.data(), static_cast<int>(room));
  if (n <= 0) return std::nullopt;
  return std::string(buffer.data(), static_cast<size_t>(n));
}

}  // namespace vexil::platform
