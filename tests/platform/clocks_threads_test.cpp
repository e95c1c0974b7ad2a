// The system clocks, threads and processor count of this system's back end.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "platform/system.h"
#include "platform/threads.h"
#include "platform/time.h"

namespace vexil::platform {
namespace {

TEST(SystemTime, ClocksMoveWithSleep) {
  const TimeSource& t = Time();
  int64_t frequency = 0, before = 0, after = 0;
  ASSERT_TRUE(t.performance_frequency(&frequency));
  ASSERT_GT(frequency, 0);
  ASSERT_TRUE(t.performance_counter(&before));
  const uint32_t tick = t.tick_count();
  const uint32_t media = t.multimedia_time();
  TimeBeginPeriod(1);
  Sleep(40);
  TimeEndPeriod(1);
  ASSERT_TRUE(t.performance_counter(&after));
  // Lower bounds only, allowing for the coarse tick of some systems.
  EXPECT_GE((after - before) * 1000 / frequency, 30);
  EXPECT_GE(static_cast<uint32_t>(t.tick_count() - tick), 20u);
  EXPECT_GE(static_cast<uint32_t>(t.multimedia_time() - media), 20u);
  Sleep(0);  // a yield
}

struct Work {
  uint32_t stack_use;
  std::atomic<int> done{0};
  std::atomic<uint64_t> checksum{0};
};

void UseStack(void* raw) {
  auto* work = static_cast<Work*>(raw);
  // Touch every page of a local array as large as the test asks for.
  volatile uint8_t* area = static_cast<uint8_t*>(__builtin_alloca(work->stack_use));
  uint64_t sum = 0;
  for (uint32_t i = 0; i < work->stack_use; i += 512) {
    area[i] = static_cast<uint8_t>(i >> 9);
    sum += area[i];
  }
  work->checksum = sum;
  Sleep(20);
  work->done = 1;
}

TEST(SystemThreads, StackSizeAndJoin) {
  // More than a system's default stack of 1 or 2 MiB: the size asked for
  // must be what the thread gets.
  Work work;
  work.stack_use = 6u << 20;
  Thread* thread = ThreadStart(UseStack, &work, 8u << 20);
  ASSERT_NE(thread, nullptr);
  ThreadSetPriority(thread, ThreadPriority::BelowNormal);
  ThreadJoin(thread);
  EXPECT_EQ(work.done, 1);
  uint64_t sum = 0;
  for (uint32_t i = 0; i < work.stack_use; i += 512) sum += static_cast<uint8_t>(i >> 9);
  EXPECT_EQ(work.checksum, sum);
}

void WaitForGo(void* raw) {
  auto* go = static_cast<std::atomic<int>*>(raw);
  while (go->load() == 0) Sleep(1);
  go->store(2);
}

TEST(SystemThreads, PrioritiesAndIdWhileRunning) {
  std::atomic<int> go{0};
  Thread* thread = ThreadStart(WaitForGo, &go, 64u << 10);
  ASSERT_NE(thread, nullptr);
  for (ThreadPriority p :
       {ThreadPriority::TimeCritical, ThreadPriority::BelowNormal, ThreadPriority::Normal})
    ThreadSetPriority(thread, p);
  // The id is known once the thread runs.
  for (int i = 0; i < 2000 && ThreadId(thread) == 0; ++i) Sleep(1);
  EXPECT_NE(ThreadId(thread), 0u);
  go = 1;
  ThreadJoin(thread);
  EXPECT_EQ(go, 2);
  ThreadJoin(nullptr);
  ThreadSetPriority(nullptr, ThreadPriority::Normal);
  EXPECT_EQ(ThreadId(nullptr), 0u);
}

TEST(SystemFacts, ProcessorsAndWow64) {
  EXPECT_GE(ProcessorCount(), 1u);
#ifndef _WIN32
  EXPECT_FALSE(RunsUnderWow64());  // answered as a modern Windows would
#endif
  // A 64-bit process never runs under WOW64.
  if (sizeof(void*) == 8) {
    EXPECT_FALSE(RunsUnderWow64());
  }
}

}  // namespace
}  // namespace vexil::platform
