#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <new>

#include "platform/threads.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#endif

namespace vexil::platform {

struct Thread {
  pthread_t handle;
  ThreadFunction function;
  void* argument;
  // The kernel id, published by the thread as it starts; 0 until then.
  std::atomic<uint64_t> id{0};
  // Asked for before the thread could take it: applied as it starts.
  std::atomic<int> priority{static_cast<int>(ThreadPriority::Normal)};
};

namespace {

void Apply(Thread* thread) {
#ifdef __linux__
  // Linux threads carry their own nice value. Raising it is always allowed;
  // lowering it below 0 needs a privilege, so "time critical" usually stays
  // where it is.
  uint64_t id = thread->id.load();
  if (id == 0) return;
  int nice = 0;
  switch (static_cast<ThreadPriority>(thread->priority.load())) {
    case ThreadPriority::BelowNormal:
      nice = 5;
      break;
    case ThreadPriority::Normal:
      nice = 0;
      break;
    case ThreadPriority::TimeCritical:
      nice = -15;
      break;
  }
  setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice);
#else
  (void)thread;
#endif
}

void* Trampoline(void* raw) {
  auto* thread = static_cast<Thread*>(raw);
#ifdef __linux__
  thread->id.store(static_cast<uint64_t>(syscall(SYS_gettid)));
  if (thread->priority.load() != static_cast<int>(ThreadPriority::Normal)) Apply(thread);
#else
  thread->id.store(1);
#endif
  thread->function(thread->argument);
  return nullptr;
}

}  // namespace

Thread* ThreadStart(ThreadFunction function, void* argument, uint32_t stack_bytes) {
  auto* thread = new (std::nothrow) Thread;
  if (!thread) return nullptr;
  thread->function = function;
  thread->argument = argument;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) {
    delete thread;
    return nullptr;
  }
  bool ok = true;
  if (stack_bytes) {
    size_t stack = stack_bytes;
    if (stack < static_cast<size_t>(PTHREAD_STACK_MIN)) stack = PTHREAD_STACK_MIN;
    long page = sysconf(_SC_PAGESIZE);
    if (page > 0) stack = (stack + page - 1) / page * page;
    ok = pthread_attr_setstacksize(&attributes, stack) == 0;
  }
  ok = ok && pthread_create(&thread->handle, &attributes, Trampoline, thread) == 0;
  pthread_attr_destroy(&attributes);
  if (!ok) {
    delete thread;
    return nullptr;
  }
  threads_detail::CountStarted();
  return thread;
}

void ThreadJoin(Thread* thread) {
  if (!thread) return;
  pthread_join(thread->handle, nullptr);
  delete thread;
  threads_detail::CountJoined();
}

void ThreadSetPriority(Thread* thread, ThreadPriority priority) {
  if (!thread) return;
  // Store first, then look for the id: either this call sees the id, or the
  // starting thread sees the new priority (or both, which is harmless).
  thread->priority.store(static_cast<int>(priority));
  Apply(thread);
}

uint64_t ThreadId(const Thread* thread) {
  return thread ? thread->id.load() : 0;
}

}  // namespace vexil::platform
