#include "platform/resources.h"

namespace vexil::platform {

// ELF programs have no string resources; what they carry (the default
// command) lives in sections of their own.
std::optional<std::string> ProgramString(uint32_t, uint32_t) {
  return std::nullopt;
}

}  // namespace vexil::platform
