// Decode threads: a pool of up to eight threads, each fed jobs through a
// 256-byte command ring and answering through a reply ring. A job word is a
// target address (8-byte aligned) with the result slot in bit 0 and the
// decode parts in bits 1..2; 0 asks the thread to end. The thread calls the
// pool's job function with the target and the parts, then replies with the
// job word without its parts followed by the function's 32-bit result.
//
// Each ring has one writer and one reader thread; its positions are atomic and
// the semaphore release after the copy publishes the bytes to the reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <semaphore>

#include "platform/threads.h"

namespace vexil {

constexpr int kMaxDecodeThreads = 8;

struct DecodeRing {
  // Counts written messages. With at most one job per thread outstanding it
  // never passes the number of threads.
  std::counting_semaphore<256> ready{0};
  std::atomic<uint32_t> read_position{0};
  std::atomic<uint32_t> write_position{0};
  uint8_t bytes[256] = {};
};

// Copies n bytes in; 0 (nothing written) unless at least n + 4 positions are free.
int RingWrite(DecodeRing* ring, const void* bytes, uint32_t n);
// Waits for the semaphore (wait_us < 0: forever; else (wait_us + 999) / 1000
// milliseconds) and copies up to n bytes out; returns the bytes read.
uint32_t RingRead(int64_t wait_us, DecodeRing* ring, void* out, uint32_t n);

// Job words.
constexpr uintptr_t kJobSlotBit = 1;
constexpr uintptr_t kJobPartsMask = 6;
constexpr int kJobPartsShift = 1;
constexpr uintptr_t kJobTargetMask = ~uintptr_t{7};

inline uintptr_t MakeJob(const void* target, uint32_t slot, uint32_t parts) {
  return reinterpret_cast<uintptr_t>(target) | (slot & kJobSlotBit) |
         (uintptr_t{parts} << kJobPartsShift & kJobPartsMask);
}
inline void* JobTarget(uintptr_t job) {
  return reinterpret_cast<void*>(job & kJobTargetMask);
}
inline uint32_t JobSlot(uintptr_t job) {
  return static_cast<uint32_t>(job & kJobSlotBit);
}
inline uint32_t JobParts(uintptr_t job) {
  return static_cast<uint32_t>((job & kJobPartsMask) >> kJobPartsShift);
}

// What a decode thread runs for a job: its result goes into the reply.
using DecodeJobFunction = uint32_t (*)(void* target, uint32_t parts);

// The threads, their rings and the running mask. Threads are created by
// CreateThread or Start and ended by Stop or the destructor (the ending job
// is sent and the thread joined). The controller operations (create, start,
// stop) serialize on a lock; job sending and reply reading are each done by
// one thread at a time per ring (the owner's player thread).
class DecodeThreadPool {
 public:
  explicit DecodeThreadPool(DecodeJobFunction run) : run_(run) {}
  ~DecodeThreadPool() { Stop(); }
  DecodeThreadPool(const DecodeThreadPool&) = delete;
  DecodeThreadPool& operator=(const DecodeThreadPool&) = delete;

  // Starts thread `index` with empty rings; returns 1 on success.
  int CreateThread(int index);
  // Start-up: thread 0, and thread 1 when `count` asks for 2 or more (at most
  // 2 are started this way). Returns the number running.
  int Start(int count);
  // Sends every running thread the ending job and joins it. Jobs queued
  // before it are run first; their replies stay readable.
  void Stop();
  // Bit i set while thread i runs.
  uint32_t running_mask() const { return running_mask_.load(std::memory_order_acquire); }
  // 1 when a second thread was started by Start, else 0.
  int second_thread() const { return second_thread_; }

  // Queues `job` for thread `index`; false when its ring has no room.
  bool Send(int index, uintptr_t job);
  // Takes the next reply of thread `index` (wait_us as for RingRead); false
  // when none came.
  bool TakeReply(int index, int64_t wait_us, uintptr_t* job, uint32_t* result);

 private:
  struct ThreadStartArgs {
    DecodeThreadPool* pool;
    int index;
  };
  static void Main(void* start);

  const DecodeJobFunction run_;
  std::atomic<uint32_t> running_mask_{0};
  int second_thread_ = 0;
  DecodeRing command_[kMaxDecodeThreads];
  DecodeRing reply_[kMaxDecodeThreads];
  platform::Thread* threads_[kMaxDecodeThreads] = {};  // null: not started
  ThreadStartArgs start_args_[kMaxDecodeThreads] = {};
  std::mutex control_;  // creation and stopping
};

}  // namespace vexil
