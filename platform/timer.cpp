#include "platform/timer.h"

#include <mutex>

#include "platform/time.h"

namespace vexil {
namespace {

struct TimerState {
  std::mutex lock;
  bool started = false;
  bool have_counter = false;
  int64_t frequency = 0;
  int64_t first_count = 0;
  int64_t correction = 0;
  uint32_t last_tick = 0;
  uint32_t last_result = 0;
};

TimerState& State() {
  static TimerState state;
  return state;
}

uint32_t NotZero(uint32_t t) { return t ? t : 1; }

}  // namespace

uint32_t Timer() {
  const platform::TimeSource& time = platform::Time();
  TimerState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.started) {
    s.started = true;
    s.have_counter = time.performance_frequency(&s.frequency) && s.frequency > 0 &&
                     time.performance_counter(&s.first_count);
    s.correction = 1;  // start at 1: 0 is "unset"
    s.last_tick = time.tick_count();
    s.last_result = 1;
    if (!s.have_counter) s.last_result = NotZero(time.multimedia_time());
    return s.last_result;
  }
  if (!s.have_counter) return NotZero(time.multimedia_time());

  int64_t count = 0;
  time.performance_counter(&count);
  uint32_t tick = time.tick_count();
  // Elapsed counter milliseconds, split so the product cannot overflow.
  int64_t elapsed = count - s.first_count;
  int64_t ms = (elapsed / s.frequency) * 1000 + (elapsed % s.frequency) * 1000 / s.frequency;
  uint32_t counter_ms = static_cast<uint32_t>(ms + s.correction);
  int32_t drift = static_cast<int32_t>((tick - s.last_tick) + s.last_result - counter_ms);
  uint32_t result = counter_ms;
  if (drift > 200 || drift < -200) {
    s.correction += drift;
    result = s.last_result + (tick - s.last_tick);
  }
  if (result - s.last_result > 0xC0000000u) return s.last_result;  // went backwards
  if (result == 0) {
    // Skip 0 on the wrap; the next reading continues from the counter.
    result = 1;
  }
  s.last_tick = tick;
  s.last_result = result;
  return result;
}

void TimerReset() {
  TimerState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  s.started = false;
}

}  // namespace vexil
