#include <process.h>

#include <new>

#include "platform/threads.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform {

struct Thread {
  HANDLE handle = nullptr;
  unsigned id = 0;
  ThreadFunction function = nullptr;
  void* argument = nullptr;
};

namespace {

unsigned __stdcall Trampoline(void* raw) {
  auto* thread = static_cast<Thread*>(raw);
  thread->function(thread->argument);
  return 0;
}

}  // namespace

Thread* ThreadStart(ThreadFunction function, void* argument, uint32_t stack_bytes) {
  auto* thread = new (std::nothrow) Thread;
  if (!thread) return nullptr;
  thread->function = function;
  thread->argument = argument;
  // Through the C run-time, so that the thread's own run-time data is set up
  // and freed with it. The size is the stack's reservation: without the flag
  // it would be the committed part, and the reservation the program's default.
  const uintptr_t handle = _beginthreadex(nullptr, stack_bytes, Trampoline, thread,
                                          STACK_SIZE_PARAM_IS_A_RESERVATION, &thread->id);
  if (handle == 0) {
    delete thread;
    return nullptr;
  }
  thread->handle = reinterpret_cast<HANDLE>(handle);
  threads_detail::CountStarted();
  return thread;
}

void ThreadJoin(Thread* thread) {
  if (!thread) return;
  WaitForSingleObject(thread->handle, INFINITE);
  CloseHandle(thread->handle);
  delete thread;
  threads_detail::CountJoined();
}

void ThreadSetPriority(Thread* thread, ThreadPriority priority) {
  if (!thread) return;
  int level = THREAD_PRIORITY_NORMAL;
  switch (priority) {
    case ThreadPriority::BelowNormal:
      level = THREAD_PRIORITY_BELOW_NORMAL;
      break;
    case ThreadPriority::Normal:
      level = THREAD_PRIORITY_NORMAL;
      break;
    case ThreadPriority::TimeCritical:
      level = THREAD_PRIORITY_TIME_CRITICAL;
      break;
  }
  SetThreadPriority(thread->handle, level);
}

uint64_t ThreadId(const Thread* thread) {
  return thread ? thread->id : 0;
}

}  // namespace vexil::platform
