// Service threads: the ranking of a round, the try of the nodes' mutexes,
// joining and leaving (with the close rule for two nodes), the slot limit.
#include "engine/service_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace vexil {
namespace {

using service_detail::RunRound;

// A node with a scripted query: it answers `answer` until it has been served
// (or, with asks_left, for that many asks), then 0.
struct Scripted {
  ServiceNode node{};
  std::recursive_timed_mutex mutex;
  uint32_t answer = 0;
  int asks_left = -1;
  std::atomic<int> served{0};
  std::vector<int>* order = nullptr;
  int id = 0;
  std::atomic<bool>* on_work = nullptr;  // set when served
  const int* watch = nullptr;            // copied into `seen` when served
  int seen = -1;

  static uint32_t Query(ServiceNode* node, uint32_t) {
    auto* s = static_cast<Scripted*>(node->context);
    if (s->asks_left == 0) return 0;
    if (s->asks_left > 0) --s->asks_left;
    return s->served == 0 ? s->answer : 0;
  }
  static void Work(ServiceNode* node, uint32_t tick) {
    auto* s = static_cast<Scripted*>(node->context);
    ++s->served;
    node->last_tick = tick;
    if (s->order) s->order->push_back(s->id);
    if (s->on_work) *s->on_work = true;
    if (s->watch) s->seen = *s->watch;
  }
};

// Links the nodes in the given order (the first is the head).
ServiceNode* Link(std::vector<Scripted>& nodes, std::vector<int>* order) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    Scripted& s = nodes[i];
    s.node.mutex = &s.mutex;
    s.node.query = Scripted::Query;
    s.node.work = Scripted::Work;
    s.node.context = &s;
    s.node.next = i + 1 < nodes.size() ? &nodes[i + 1].node : nullptr;
    s.order = order;
    s.id = static_cast<int>(i);
  }
  return nodes.empty() ? nullptr : &nodes[0].node;
}

// Holds a mutex on another thread (a recursive mutex is free to its own thread).
class Holder {
 public:
  explicit Holder(std::recursive_timed_mutex* m) {
    thread_ = std::thread([this, m] {
      m->lock();
      locked_ = true;
      while (!release_) std::this_thread::sleep_for(std::chrono::microseconds(100));
      m->unlock();
    });
    while (!locked_) std::this_thread::yield();
  }
  std::atomic<bool>* release_flag() { return &release_; }
  ~Holder() {
    release_ = true;
    thread_.join();
  }

 private:
  std::thread thread_;
  std::atomic<bool> locked_{false};
  std::atomic<bool> release_{false};
};

TEST(ServiceRound, RanksAnswersUnsignedWithLaterNodesFirstOnTies) {
  const struct {
    const char* name;
    std::vector<uint32_t> answers;  // in list order, head first
    std::vector<int> served;
  } cases[] = {
      {"largest first", {5, 9, 7}, {1, 2, 0}},
      {"unsigned: complements outrank the tick ranking",
       {0x80000000u, ~49u, ~10u, 3},
       {2, 1, 0, 3}},
      {"ties: the later node first", {4, 4, 4}, {2, 1, 0}},
      {"zero is never served", {0, 2, 0}, {1}},
      {"nothing to do", {0, 0}, {}},
  };
  std::atomic<uint32_t> running{SERVICE_RUNNING};
  for (const auto& c : cases) {
    std::vector<Scripted> nodes(c.answers.size());
    std::vector<int> order;
    ServiceNode* list = Link(nodes, &order);
    for (size_t i = 0; i < nodes.size(); ++i) nodes[i].answer = c.answers[i];
    EXPECT_EQ(RunRound(list, 2, running), c.served.size()) << c.name;
    EXPECT_EQ(order, c.served) << c.name;
  }
}

TEST(ServiceRound, SkipsNodesWhoseMutexIsTaken) {
  std::atomic<uint32_t> running{SERVICE_RUNNING};
  std::vector<Scripted> nodes(3);
  std::vector<int> order;
  ServiceNode* list = Link(nodes, &order);
  nodes[0].answer = 30;
  nodes[1].answer = 20;
  nodes[2].answer = 10;
  {
    // The best node is busy: the others go first; it is served once free.
    Holder holder(&nodes[0].mutex);
    nodes[2].on_work = holder.release_flag();
    EXPECT_EQ(RunRound(list, 2, running), 3u);
  }
  EXPECT_EQ(order, (std::vector<int>{1, 2, 0}));
}

TEST(ServiceRound, TriesOnlyTheSixteenBestNodes) {
  std::atomic<uint32_t> running{SERVICE_RUNNING};
  std::vector<Scripted> nodes(kServiceTryNodes + 1);
  std::vector<int> order;
  ServiceNode* list = Link(nodes, &order);
  std::vector<std::unique_ptr<Holder>> holders;
  for (int i = 0; i < kServiceTryNodes; ++i) {
    nodes[i].answer = 100 + i;
    nodes[i].asks_left = 3;  // then they give up asking
    holders.push_back(std::make_unique<Holder>(&nodes[i].mutex));
  }
  nodes[kServiceTryNodes].answer = 1;
  nodes[kServiceTryNodes].watch = &nodes[0].asks_left;
  // The last node's mutex is free, but it is not tried while sixteen better
  // ones ask; once they stop, it is served.
  EXPECT_EQ(RunRound(list, 2, running), 1u);
  EXPECT_EQ(order, (std::vector<int>{kServiceTryNodes}));
  EXPECT_EQ(nodes[kServiceTryNodes].seen, 0);
}

// A node that counts its work; its query asks every tick.
struct Counter {
  std::recursive_timed_mutex mutex;
  std::atomic<int> works{0};
  bool always = false;  // answer every time, not once per tick
  static uint32_t Query(ServiceNode* node, uint32_t tick) {
    auto* c = static_cast<Counter*>(node->context);
    if (c->always) return 1;
    return node->last_tick != tick ? 0x80000000u - node->last_tick : 0;
  }
  static void Work(ServiceNode* node, uint32_t tick) {
    auto* c = static_cast<Counter*>(node->context);
    ++c->works;
    node->last_tick = tick;
    if (c->always) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  ServiceNode* Join(ServiceThreads& services, int32_t rate) {
    return services.Join(rate, &mutex, Query, Work, this);
  }
  // Waits (bounded) until the service has run the work `n` more times.
  bool SeesWork(int n = 2) {
    const int start = works;
    for (int i = 0; i < 5000 && works < start + n; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return works >= start + n;
  }
};

TEST(ServiceThreads, JoinStartsAThreadPerRateAndTheLastLeaveStopsIt) {
  ServiceThreads services;
  ASSERT_EQ(services.ThreadCount(), 0);
  Counter a, b, c;
  ServiceNode* na = a.Join(services, 500);
  ASSERT_NE(na, nullptr);
  EXPECT_EQ(services.ThreadCount(), 1);
  ServiceNode* nb = b.Join(services, 500);
  EXPECT_EQ(nb->thread, na->thread);
  ServiceNode* nc = c.Join(services, -250);  // below normal priority: another thread
  EXPECT_NE(nc->thread, na->thread);
  EXPECT_EQ(services.ThreadCount(), 2);
  EXPECT_TRUE(a.SeesWork());
  EXPECT_TRUE(b.SeesWork());
  EXPECT_TRUE(c.SeesWork());
  services.Leave(na);
  EXPECT_EQ(services.ThreadCount(), 2);
  const int after = a.works;
  EXPECT_TRUE(b.SeesWork());
  EXPECT_EQ(a.works, after);  // no round uses a node that has left
  services.Leave(nb);
  services.Leave(nc);
  EXPECT_EQ(services.ThreadCount(), 0);
  services.Leave(nullptr);
}

TEST(ServiceThreads, LeavingInterruptsARoundThatWouldNotEnd) {
  ServiceThreads services;
  Counter busy, other;
  busy.always = true;  // the round keeps serving it until the thread is held
  ServiceNode* nb = busy.Join(services, 500);
  ServiceNode* no = other.Join(services, 500);
  ASSERT_TRUE(busy.SeesWork(5));
  services.Leave(no);
  services.Leave(nb);
  EXPECT_EQ(services.ThreadCount(), 0);
}

TEST(ServiceThreads, AtMostEightThreadsAndAllStopAtExit) {
  ServiceThreads services;
  std::vector<Counter> counters(kMaxServiceThreads + 1);
  std::vector<ServiceNode*> nodes;
  for (int i = 0; i < kMaxServiceThreads; ++i) nodes.push_back(counters[i].Join(services, 100 + i));
  EXPECT_EQ(counters[kMaxServiceThreads].Join(services, 99), nullptr);  // no free slot
  services.Leave(nodes[3]);
  nodes[3] = counters[3].Join(services, 99);  // the slot is free again
  EXPECT_TRUE(counters[3].SeesWork());
  services.StopAll();  // the exit path: every thread stopped, the nodes detached
  EXPECT_EQ(services.ThreadCount(), 0);
  const int after = counters[3].works;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(counters[3].works, after);
  for (ServiceNode* n : nodes) services.Leave(n);  // harmless afterwards
}

TEST(ServiceThreads, ClosingRemovesBothNodesTogether) {
  ServiceThreads services;
  const struct {
    const char* name;
    bool first_keeps, second_keeps;  // another node stays on that thread
    int threads_after;
  } cases[] = {
      {"both threads keep other nodes", true, true, 2},
      {"the first thread is left empty", false, true, 1},
      {"the second thread is left empty", true, false, 1},
      {"both are left empty", false, false, 0},
  };
  for (const auto& c : cases) {
    Counter read, sound, other_read, other_sound;
    ServiceNode* keep_read = c.first_keeps ? other_read.Join(services, 500) : nullptr;
    ServiceNode* keep_sound = c.second_keeps ? other_sound.Join(services, -400) : nullptr;
    ServiceNode* r = read.Join(services, 500);
    ServiceNode* s = sound.Join(services, -400);
    ASSERT_TRUE(read.SeesWork()) << c.name;
    ASSERT_TRUE(sound.SeesWork()) << c.name;
    services.LeaveTogether(r, s);
    EXPECT_EQ(services.ThreadCount(), c.threads_after) << c.name;
    const int read_after = read.works, sound_after = sound.works;
    if (keep_read) {
      EXPECT_TRUE(other_read.SeesWork()) << c.name;
    }
    if (keep_sound) {
      EXPECT_TRUE(other_sound.SeesWork()) << c.name;
    }
    EXPECT_EQ(read.works, read_after) << c.name;
    EXPECT_EQ(sound.works, sound_after) << c.name;
    services.LeaveTogether(keep_read, keep_sound);
    EXPECT_EQ(services.ThreadCount(), 0) << c.name;
  }
  // Two nodes of one thread, and a lone node.
  Counter x, y;
  services.LeaveTogether(x.Join(services, 500), y.Join(services, 500));
  EXPECT_EQ(services.ThreadCount(), 0);
  services.LeaveTogether(nullptr, x.Join(services, 500));
  EXPECT_EQ(services.ThreadCount(), 0);
}

}  // namespace
}  // namespace vexil
