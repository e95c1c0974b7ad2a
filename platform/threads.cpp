#include "platform/threads.h"

#include <atomic>

namespace vexil::platform {
namespace {

// The operating system's own view: threads of the process that we started.
std::atomic<int> g_alive{0};

}  // namespace

int ThreadsAlive() {
  return g_alive.load();
}

namespace threads_detail {
void CountStarted() {
  g_alive.fetch_add(1);
}
void CountJoined() {
  g_alive.fetch_sub(1);
}
}  // namespace threads_detail

}  // namespace vexil::platform
