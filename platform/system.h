// Facts about the machine the player asks for at start-up.
#pragma once

#include <cstdint>

namespace vexil::platform {

// Number of processors the process may run on; at least 1.
uint32_t ProcessorCount();

}  // namespace vexil::platform
