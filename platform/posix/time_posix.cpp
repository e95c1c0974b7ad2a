#include <sched.h>
#include <time.h>

#include <atomic>

#include "platform/time.h"

namespace vexil::platform {
namespace {

int64_t MonotonicNanoseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool SystemFrequency(int64_t* frequency) {
  *frequency = 1000000000;
  return true;
}

bool SystemCounter(int64_t* count) {
  *count = MonotonicNanoseconds();
  return true;
}

uint32_t SystemTickCount() { return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000); }

void SystemSleep(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

const TimeSource kSystemTime = {SystemFrequency, SystemCounter, SystemTickCount, SystemTickCount,
                                SystemSleep};
std::atomic<const TimeSource*> g_source{&kSystemTime};

}  // namespace

const TimeSource& Time() { return *g_source.load(std::memory_order_acquire); }
void SetTimeSource(const TimeSource* source) {
  g_source.store(source ? source : &kSystemTime, std::memory_order_release);
}

void TimeBeginPeriod(uint32_t) {}
void TimeEndPeriod(uint32_t) {}

}  // namespace vexil::platform
