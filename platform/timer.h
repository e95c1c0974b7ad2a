// The engine timer: 32-bit wrapping milliseconds from the performance counter,
// kept in step with the tick count, never stepping backwards and never 0
// (0 means "unset" in the clock fields). Safe to call from any thread.
#pragma once

#include <cstdint>

namespace vexil {

uint32_t Timer();

// Forgets the timer's origin so the next call starts again (tests install a
// driven time source and then reset).
void TimerReset();

}  // namespace vexil
