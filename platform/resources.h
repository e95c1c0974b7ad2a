// Text the program file carries for itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vexil::platform {

// String resource `id` of the running program, at most room - 1 characters
// of it. Nothing when the program has no such string, or on systems without
// string resources.
std::optional<std::string> ProgramString(uint32_t id, uint32_t room);

}  // namespace vexil::platform
