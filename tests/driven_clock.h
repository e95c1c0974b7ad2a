// A time source the test drives: the performance counter counts in
// milliseconds (frequency 1000), the tick count follows it unless a test makes
// them drift, and sleeping advances both.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/time.h"
#include "platform/timer.h"

namespace vexil::test {

class DrivenClock {
 public:
  DrivenClock() {
    counter_ = 5000;
    tick_ = 777000;
    instance_ = this;
    platform::SetTimeSource(&kSource);
    TimerReset();
  }
  ~DrivenClock() {
    platform::SetTimeSource(nullptr);
    TimerReset();
    instance_ = nullptr;
  }
  DrivenClock(const DrivenClock&) = delete;
  DrivenClock& operator=(const DrivenClock&) = delete;

  // Moves both clocks forward.
  void Advance(uint32_t ms) {
    counter_ += ms;
    tick_ += ms;
  }
  // Moves only one of them (drift between the two).
  void AdvanceCounter(int64_t ms) { counter_ += ms; }
  void AdvanceTick(uint32_t ms) { tick_ += ms; }
  uint64_t slept() const { return slept_; }

 private:
  static bool Frequency(int64_t* f) {
    *f = 1000;
    return true;
  }
  static bool Counter(int64_t* c) {
    *c = instance_->counter_;
    return true;
  }
  static uint32_t Tick() { return instance_->tick_; }
  static void SleepFor(uint32_t ms) {
    instance_->Advance(ms ? ms : 1);
    instance_->slept_ += ms ? ms : 1;
  }
  static inline const platform::TimeSource kSource = {Frequency, Counter, Tick, Tick, SleepFor};
  static inline DrivenClock* instance_ = nullptr;
  std::atomic<int64_t> counter_{0};
  std::atomic<uint32_t> tick_{0};
  std::atomic<uint64_t> slept_{0};
};

}  // namespace vexil::test
