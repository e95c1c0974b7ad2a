#include "engine/service_thread.h"

#include <chrono>
#include <condition_variable>
#include <new>
#include <thread>

#include "platform/threads.h"
#include "platform/time.h"

namespace vexil {
namespace {

// A settable event with an optional time-out; auto-reset events are cleared by
// the wait that sees them.
class Event {
 public:
  explicit Event(bool auto_reset) : auto_reset_(auto_reset) {}

  void Set() {
    std::lock_guard<std::mutex> guard(lock_);
    signaled_ = true;
    changed_.notify_all();
  }
  // True when the event was set, false when the time ran out first.
  bool WaitFor(uint32_t ms) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!changed_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return signaled_; }))
      return false;
    if (auto_reset_) signaled_ = false;
    return true;
  }
  void Wait() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return signaled_; });
    if (auto_reset_) signaled_ = false;
  }

 private:
  const bool auto_reset_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool signaled_ = false;
};

}  // namespace

struct ServiceThread {
  std::atomic<uint32_t> state{SERVICE_CREATED};
  int32_t rate = 0;
  uint32_t period = 0;  // milliseconds between ticks
  Event stop_event{true};
  Event start_gate{false};  // "created suspended": the thread waits here until started
  platform::Thread* thread = nullptr;
  // Taken by the thread at every tick and by a controller that holds it.
  std::mutex mutex;
  ServiceNode* nodes = nullptr;  // guarded by `mutex`
  uint32_t tick = 1;             // service thread only
  uint32_t node_count = 0;       // registry lock
  // Controller side, under the registry lock:
  bool started = false;  // the start gate is open
  bool held = false;     // the controller holds `mutex`
};

namespace {

using Slots = ServiceThread* [kMaxServiceThreads];

void ServiceMain(void* raw) {
  auto* t = static_cast<ServiceThread*>(raw);
  t->start_gate.Wait();
  for (;;) {
    if (t->stop_event.WaitFor(t->period)) return;
    std::lock_guard<std::mutex> guard(t->mutex);
    const uint32_t state = t->state.load();
    if (state == SERVICE_ENDING) return;
    if (state == SERVICE_RUNNING && t->nodes) {
      ++t->tick;
      service_detail::RunRound(t->nodes, t->tick, t->state);
    }
  }
}

// The steps below run under the registry lock of the object whose slots they
// are given.

ServiceThread* Create(Slots& slots, int32_t rate) {
  if (rate == 0) return nullptr;
  int slot = 0;
  while (slot < kMaxServiceThreads && slots[slot]) ++slot;
  if (slot == kMaxServiceThreads) return nullptr;
  auto* t = new (std::nothrow) ServiceThread;
  if (!t) return nullptr;
  t->rate = rate;
  const int64_t magnitude = rate < 0 ? -int64_t{rate} : int64_t{rate};
  // More than 1000 a second would be a period of 0: a thread that never sleeps.
  t->period = magnitude >= 1000 ? 1 : static_cast<uint32_t>(1000 / magnitude);
  t->thread = platform::ThreadStart(ServiceMain, t, kServiceStackBytes);
  if (!t->thread) {
    delete t;
    return nullptr;
  }
  if (rate < 0) platform::ThreadSetPriority(t->thread, platform::ThreadPriority::BelowNormal);
  platform::TimeBeginPeriod(1);
  slots[slot] = t;
  return t;
}

// Running again: the start gate opens the first time, a held mutex is released.
void Start(ServiceThread* t) {
  t->state.store(SERVICE_RUNNING);
  if (t->held) {
    t->held = false;
    t->mutex.unlock();
  }
  if (!t->started) {
    t->started = true;
    t->start_gate.Set();
  }
}

// Takes the thread's mutex; the state first tells a running round to end.
void Hold(ServiceThread* t, uint32_t held_state) {
  if (t->held) return;
  t->state.store(SERVICE_HOLDING);
  t->mutex.lock();
  t->held = true;
  t->state.store(held_state);
}

void Stop(Slots& slots, ServiceThread* t) {
  t->stop_event.Set();
  t->state.store(SERVICE_ENDING);
  platform::ThreadSetPriority(t->thread, platform::ThreadPriority::TimeCritical);
  if (t->held) {
    t->held = false;
    t->mutex.unlock();
  }
  if (!t->started) {
    t->started = true;
    t->start_gate.Set();
  }
  platform::ThreadJoin(t->thread);
  for (ServiceThread*& slot : slots) {
    if (slot == t) slot = nullptr;
  }
  for (ServiceNode* n = t->nodes; n; n = n->next) n->thread = nullptr;
  platform::TimeEndPeriod(1);
  delete t;
}

void Unlink(ServiceNode* node) {
  ServiceThread* t = node->thread;
  for (ServiceNode** p = &t->nodes; *p; p = &(*p)->next) {
    if (*p == node) {
      *p = node->next;
      --t->node_count;
      break;
    }
  }
  node->next = nullptr;
  node->thread = nullptr;
}

}  // namespace

namespace service_detail {

uint32_t RunRound(ServiceNode* nodes, uint32_t tick, const std::atomic<uint32_t>& state) {
  uint32_t calls = 0;
  for (;;) {
    // Rank the nodes that answer: largest first, unsigned; a later node of the
    // list goes ahead of an earlier one with the same answer.
    ServiceNode* ranked = nullptr;
    for (ServiceNode* n = nodes; n; n = n->next) {
      if (state.load() != SERVICE_RUNNING) return calls;
      const uint32_t answer = n->query(n, tick);
      if (answer == 0) continue;
      n->answer = answer;
      ServiceNode** p = &ranked;
      while (*p && (*p)->answer > answer) p = &(*p)->sort_link;
      n->sort_link = *p;
      *p = n;
    }
    if (!ranked) return calls;
    // The first of the best 16 whose mutex comes free within about 1 ms. The
    // sweep is repeated rather than waiting on one mutex: any of them will do,
    // and a timed lock that the thread checker cannot see would hide the
    // node's lock from it.
    ServiceNode* chosen = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
    for (;;) {
      int tried = 0;
      for (ServiceNode* n = ranked; n && tried < kServiceTryNodes; n = n->sort_link, ++tried) {
        if (n->mutex->try_lock()) {
          chosen = n;
          break;
        }
      }
      if (chosen || std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    if (chosen) {
      chosen->work(chosen, tick);
      chosen->mutex->unlock();
      ++calls;
    }
  }
}

}  // namespace service_detail

ServiceNode* ServiceThreads::Join(int32_t rate, std::recursive_timed_mutex* mutex,
                                  ServiceQuery query, ServiceWork work, void* context) {
  if (!mutex || !query || !work) return nullptr;
  std::lock_guard<std::mutex> guard(registry_);
  ServiceThread* t = nullptr;
  for (ServiceThread* slot : slots_) {
    if (slot && slot->rate == rate) t = slot;
  }
  const bool created = !t;
  if (created && !(t = Create(slots_, rate))) return nullptr;
  auto* node = new (std::nothrow) ServiceNode{};
  if (!node) {
    if (created) Stop(slots_, t);
    return nullptr;
  }
  node->mutex = mutex;
  node->query = query;
  node->work = work;
  node->context = context;
  Hold(t, SERVICE_HOLDING);
  node->thread = t;
  node->next = t->nodes;
  t->nodes = node;
  ++t->node_count;
  Start(t);
  return node;
}

void ServiceThreads::LeaveTogether(ServiceNode* first, ServiceNode* second) {
  std::lock_guard<std::mutex> guard(registry_);
  ServiceNode* nodes[2] = {first, second};
  ServiceThread* threads[2] = {};
  for (int i = 0; i < 2; ++i) {
    if (nodes[i] && nodes[i]->thread && !(i == 1 && nodes[1]->thread == threads[0]))
      threads[i] = nodes[i]->thread;
  }
  // Both threads are held before either node goes, so neither service touches
  // the movie once its removal has begun.
  for (ServiceThread* t : threads) {
    if (t) Hold(t, SERVICE_HELD);
  }
  for (ServiceNode* n : nodes) {
    if (n && n->thread) Unlink(n);
  }
  for (ServiceThread* t : threads) {
    if (!t) continue;
    if (t->nodes)
      Start(t);
    else
      Stop(slots_, t);
  }
  delete first;
  if (second != first) delete second;
}

int ServiceThreads::ThreadCount() {
  std::lock_guard<std::mutex> guard(registry_);
  int count = 0;
  for (ServiceThread* slot : slots_) count += slot != nullptr;
  return count;
}

void ServiceThreads::StopAll() {
  std::lock_guard<std::mutex> guard(registry_);
  for (ServiceThread* t : slots_) {
    if (!t) continue;
    Hold(t, SERVICE_HELD);
    Stop(slots_, t);
  }
}

}  // namespace vexil
