#include <atomic>

#include "platform/time.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform {
namespace {

bool SystemFrequency(int64_t* frequency) {
  LARGE_INTEGER value;
  if (!QueryPerformanceFrequency(&value) || value.QuadPart <= 0) return false;
  *frequency = value.QuadPart;
  return true;
}

bool SystemCounter(int64_t* count) {
  LARGE_INTEGER value;
  if (!QueryPerformanceCounter(&value)) return false;
  *count = value.QuadPart;
  return true;
}

uint32_t SystemTickCount() {
  return GetTickCount();
}
uint32_t SystemMultimediaTime() {
  return timeGetTime();
}
void SystemSleep(uint32_t ms) {
  ::Sleep(ms);
}

const TimeSource kSystemTime = {SystemFrequency, SystemCounter, SystemTickCount,
                                SystemMultimediaTime, SystemSleep};
std::atomic<const TimeSource*> g_source{&kSystemTime};

}  // namespace

const TimeSource& Time() {
  return *g_source.load(std::memory_order_acquire);
}
void SetTimeSource(const TimeSource* source) {
  g_source.store(source ? source : &kSystemTime, std::memory_order_release);
}

// The system counts the requests itself; every begin is matched by an end.
void TimeBeginPeriod(uint32_t ms) {
  timeBeginPeriod(ms);
}
void TimeEndPeriod(uint32_t ms) {
  timeEndPeriod(ms);
}

}  // namespace vexil::platform
