#include "video/decode_threads.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/time.h"

namespace vexil {
namespace {

constexpr uint32_t kRingSize = 256;
constexpr uint32_t kReplyBytes = sizeof(uintptr_t) + 4;

}  // namespace

int RingWrite(DecodeRing* ring, const void* bytes, uint32_t n) {
  const uint32_t read = ring->read_position.load(std::memory_order_acquire);
  const uint32_t write = ring->write_position.load(std::memory_order_relaxed);
  uint32_t free = (read - write) % kRingSize;
  if (free == 0) free = kRingSize;
  if (free < 4 || free - 4 < n) return 0;
  const auto* in = static_cast<const uint8_t*>(bytes);
  for (uint32_t i = 0; i < n; ++i) ring->bytes[(write + i) % kRingSize] = in[i];
  ring->write_position.store((write + n) % kRingSize, std::memory_order_release);
  ring->ready.release();
  return 1;
}

uint32_t RingRead(int64_t wait_us, DecodeRing* ring, void* out, uint32_t n) {
  if (wait_us < 0) {
    ring->ready.acquire();
  } else if (!ring->ready.try_acquire_for(std::chrono::milliseconds((wait_us + 999) / 1000))) {
    return 0;
  }
  const uint32_t write = ring->write_position.load(std::memory_order_acquire);
  const uint32_t read = ring->read_position.load(std::memory_order_relaxed);
  const uint32_t used = (write - read) % kRingSize;
  const uint32_t take = n < used ? n : used;
  auto* bytes = static_cast<uint8_t*>(out);
  for (uint32_t i = 0; i < take; ++i) bytes[i] = ring->bytes[(read + i) % kRingSize];
  ring->read_position.store((read + take) % kRingSize, std::memory_order_release);
  return take;
}

void DecodeThreadPool::Main(void* start) {
  DecodeThreadPool& pool = *static_cast<ThreadStartArgs*>(start)->pool;
  const int index = static_cast<ThreadStartArgs*>(start)->index;
  const uint32_t bit = 1u << index;
  while (!(pool.running_mask_.load(std::memory_order_acquire) & bit)) std::this_thread::yield();
  for (;;) {
    uintptr_t job = 0;
    if (RingRead(-1, &pool.command_[index], &job, sizeof(job)) < sizeof(job)) continue;
    if (job == 0) return;
    const uint32_t result = pool.run_(JobTarget(job), JobParts(job));
    const uintptr_t answered = job & ~kJobPartsMask;
    uint8_t reply[kReplyBytes];
    std::memcpy(reply, &answered, sizeof(answered));
    std::memcpy(reply + sizeof(answered), &result, 4);
    if (pool.running_mask_.load(std::memory_order_acquire) & bit)
      RingWrite(&pool.reply_[index], reply, kReplyBytes);
  }
}

int DecodeThreadPool::CreateThread(int index) {
  std::lock_guard<std::mutex> lock(control_);
  if (index < 0 || index >= kMaxDecodeThreads || threads_[index]) return 0;
  for (DecodeRing* ring : {&command_[index], &reply_[index]}) {
    while (ring->ready.try_acquire()) {
    }
    ring->read_position = 0;
    ring->write_position = 0;
  }
  platform::TimeBeginPeriod(1);
  start_args_[index] = {this, index};
  // The system's default stack, as the frame decode has always had.
  threads_[index] = platform::ThreadStart(Main, &start_args_[index], 0);
  if (!threads_[index]) return 0;
  running_mask_.fetch_or(1u << index, std::memory_order_release);
  return 1;
}

int DecodeThreadPool::Start(int count) {
  int running = 0;
  if (count >= 1 && CreateThread(0)) {
    running = 1;
    // The second thread index is set only when thread 1 really started.
    if (count >= 2 && CreateThread(1)) {
      second_thread_ = 1;
      running = 2;
    }
  }
  return running;
}

void DecodeThreadPool::Stop() {
  std::lock_guard<std::mutex> lock(control_);
  for (int i = 0; i < kMaxDecodeThreads; ++i) {
    if (!threads_[i]) continue;
    uintptr_t end_job = 0;
    while (!RingWrite(&command_[i], &end_job, sizeof(end_job))) platform::Sleep(1);
    platform::ThreadJoin(threads_[i]);
    threads_[i] = nullptr;
    running_mask_.fetch_and(~(1u << i));
    platform::TimeEndPeriod(1);
  }
  second_thread_ = 0;
}

bool DecodeThreadPool::Send(int index, uintptr_t job) {
  return RingWrite(&command_[index], &job, sizeof(job)) != 0;
}

bool DecodeThreadPool::TakeReply(int index, int64_t wait_us, uintptr_t* job, uint32_t* result) {
  uint8_t bytes[kReplyBytes];
  if (RingRead(wait_us, &reply_[index], bytes, kReplyBytes) < kReplyBytes) return false;
  std::memcpy(job, bytes, sizeof(*job));
  std::memcpy(result, bytes + sizeof(*job), 4);
  return true;
}

}  // namespace vexil
