// Threads the engine starts itself (the service and decode threads): a stack
// size the caller chooses and a scheduling priority, neither of which
// std::thread can set, and a count of the threads alive.
#pragma once

#include <cstdint>

namespace vexil::platform {

enum class ThreadPriority { BelowNormal, Normal, TimeCritical };

struct Thread;
using ThreadFunction = void (*)(void* argument);

// Runs function(argument) on a new thread with at least stack_bytes of stack
// (0: the system's default). Null when the thread cannot be created.
Thread* ThreadStart(ThreadFunction function, void* argument, uint32_t stack_bytes);

// Waits for the thread to end and releases it. Not from the thread itself.
void ThreadJoin(Thread* thread);

// Best effort: where the system refuses (raising a priority usually needs
// privileges) or has no per-thread priority, the thread keeps the one it has.
// May be called before the thread has begun to run.
void ThreadSetPriority(Thread* thread, ThreadPriority priority);

// The system's id of the thread (0 where there is none), for diagnostics.
uint64_t ThreadId(const Thread* thread);

// Threads started by ThreadStart and not yet joined, in the whole process:
// a program that has stopped everything it started sees 0.
int ThreadsAlive();

namespace threads_detail {
// The back ends count their threads with these.
void CountStarted();
void CountJoined();
}  // namespace threads_detail

}  // namespace vexil::platform
