// Service threads: a few threads of an engine (a ServiceThreads object),
// each waking at a fixed rate and serving a list of nodes (one per movie and
// service) in rounds. The read
// service (60 per second) reads movies ahead; the sound service (13 per
// second, below-normal priority) feeds the sound outputs.
//
// A node brings a query, a work operation and a mutex it borrows from its
// owner (the movie's read-ahead lock or sound mutex). Each round asks every
// node's query; the nodes with a non-zero answer are ranked by it (unsigned,
// largest first, the later node of the list first on equal answers), and the
// thread serves the first of the top 16 whose mutex it can take within about
// 1 ms, calling the work with that mutex held. Then it asks again, until no
// query answers.
//
// Threads: the controller operations (join, leave) run on the player thread
// (they serialize on the object's registry lock, so other threads may use
// them too).
// A controller "holds" a service thread by taking the thread's mutex, which
// the thread takes at every tick; the node list changes only while held. The
// query and the work run on the service thread with the thread's mutex held,
// the work also with the node's mutex; they must not join or leave a service
// (the controller would wait for the round that waits for it). A query must
// answer 0 once its work has nothing to do in this tick, or the round goes on
// until a controller holds the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace vexil {

struct ServiceNode;
struct ServiceThread;

// Answer 0: nothing to do now. Larger answers are served first.
using ServiceQuery = uint32_t (*)(ServiceNode* node, uint32_t tick);
// Does the node's work for this tick (the node's mutex is held).
using ServiceWork = void (*)(ServiceNode* node, uint32_t tick);

// At most this many service threads exist in one ServiceThreads object.
constexpr int kMaxServiceThreads = 8;
// A round tries the mutexes of at most this many of its best-ranked nodes.
constexpr int kServiceTryNodes = 16;
// Service threads' stacks: the work operations read files and decode nothing.
constexpr uint32_t kServiceStackBytes = 256 * 1024;

// States of a service thread.
constexpr uint32_t SERVICE_CREATED = 0;  // not yet started (waits at its start gate)
constexpr uint32_t SERVICE_RUNNING = 1;
constexpr uint32_t SERVICE_HELD = 2;  // a controller holds its mutex
constexpr uint32_t SERVICE_ENDING = 3;
constexpr uint32_t SERVICE_HOLDING = 4;  // a controller is taking its mutex

struct ServiceNode {
  ServiceNode* next;                  // guarded by the thread's mutex (changed only while held)
  std::recursive_timed_mutex* mutex;  // borrowed from the node's owner
  ServiceQuery query;
  ServiceWork work;
  void* context;       // the owner (a movie handle)
  uint32_t last_tick;  // tick at which the work last ran; the owner's work sets it
  // Service thread only, during a round:
  ServiceNode* sort_link;
  uint32_t answer;
  ServiceThread* thread;  // the thread it joined; null once that was stopped
};

// The service threads of one engine: their slots and the registry lock that
// serializes the controllers. Every thread is stopped and joined by StopAll
// and at the latest by the destructor.
class ServiceThreads {
 public:
  ServiceThreads() = default;
  ~ServiceThreads() { StopAll(); }
  ServiceThreads(const ServiceThreads&) = delete;
  ServiceThreads& operator=(const ServiceThreads&) = delete;

  // Joins the service thread of this rate (wakes per second; negative:
  // below-normal priority), creating and starting it when none runs. Returns
  // the new node, or null when no thread slot is free (or the rate is 0): the
  // owner then does without the service. `mutex` must outlive the node. A
  // movie joins the read service with 60 and its read-ahead lock
  // (read_service.h), the sound service with -13 and its sound mutex, and
  // keeps the nodes in read_node/sound_node for Close.
  ServiceNode* Join(int32_t rate, std::recursive_timed_mutex* mutex, ServiceQuery query,
                    ServiceWork work, void* context);

  // Leaves the service: when the leave returns, no round uses the node, and
  // the node is freed. A thread left without nodes is stopped. Null is ignored.
  void Leave(ServiceNode* node) { LeaveTogether(node, nullptr); }

  // A closing movie leaves its services with this: both threads are held
  // together, the nodes removed, then each thread is started again or, left
  // without nodes, stopped. Either node may be null.
  void LeaveTogether(ServiceNode* first, ServiceNode* second);

  // Service threads that exist now.
  int ThreadCount();

  // Stops every service thread (their nodes are detached: leaving them later
  // is harmless).
  void StopAll();

 private:
  std::mutex registry_;
  ServiceThread* slots_[kMaxServiceThreads] = {};
};

namespace service_detail {

// One round over a node list, as the thread runs it with its mutex held:
// `state` is read before every query and the round ends as soon as it is no
// longer SERVICE_RUNNING. Returns the number of work calls.
uint32_t RunRound(ServiceNode* nodes, uint32_t tick, const std::atomic<uint32_t>& state);

}  // namespace service_detail

}  // namespace vexil
