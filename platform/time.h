// The clocks the engine's timer is built on, and sleeping. Tests replace the
// source with one they drive (see SetTimeSource), so the frame clock, the read
// speed simulation and the sound service can be tested without real waiting.
#pragma once

#include <cstdint>

namespace vexil::platform {

struct TimeSource {
  // High-resolution counter; both return false when there is none.
  bool (*performance_frequency)(int64_t* frequency);
  bool (*performance_counter)(int64_t* count);
  // Milliseconds since boot, 32-bit wrapping.
  uint32_t (*tick_count)();
  // Multimedia time in milliseconds, 32-bit wrapping.
  uint32_t (*multimedia_time)();
  // Gives up the processor for at least ms milliseconds (0: just yield).
  void (*sleep)(uint32_t ms);
};

// The source in use: the system's, unless a test installed its own.
const TimeSource& Time();
// Installs a source (null restores the system's). Not thread-safe: call it
// while no engine thread runs.
void SetTimeSource(const TimeSource* source);

inline void Sleep(uint32_t ms) { Time().sleep(ms); }

// Raises and lowers the system timer resolution (counted; a no-op where the
// system has no such setting).
void TimeBeginPeriod(uint32_t ms);
void TimeEndPeriod(uint32_t ms);

}  // namespace vexil::platform
