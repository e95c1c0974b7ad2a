// Facts about the machine the player asks for at start-up.
#pragma once

#include <cstdint>

namespace vexil::platform {

// Number of processors the process may run on; at least 1.
uint32_t ProcessorCount();

// Whether this is a 32-bit process on 64-bit Windows. Asked of the system
// once and remembered; false on other systems.
bool RunsUnderWow64();

}  // namespace vexil::platform
