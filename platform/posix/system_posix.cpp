#include <unistd.h>

#include "platform/system.h"

namespace vexil::platform {

uint32_t ProcessorCount() {
  long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n < 1 ? 1u : static_cast<uint32_t>(n);
}

bool RunsUnderWow64() { return false; }

}  // namespace vexil::platform
