#include "video/decode_threads.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/heap.h"
#include "engine/movie.h"
#include "engine/timer.h"
#include "platform/time.h"
#include "video/frame_buffers.h"
#include "video/frame_decode.h"

namespace vexil {
namespace {

constexpr uint32_t kRingSize = 256;
constexpr uintptr_t kSlotBit = 1;
constexpr uintptr_t kPartsMask = 6;
constexpr int kPartsShift = 1;

struct Reply {
  uintptr_t job;
  uint32_t result;
};
constexpr uint32_t kReplyBytes = sizeof(uintptr_t) + 4;

struct DecodeThreads {
  std::atomic<uint32_t> running_mask{0};
  int second_thread = 0;
  DecodeRing command[kMaxDecodeThreads];
  DecodeRing reply[kMaxDecodeThreads];
  std::thread threads[kMaxDecodeThreads];
  std::mutex control;  // creation and stopping (player thread, exit)

  // Every started thread ends and is joined before the process exits.
  ~DecodeThreads() { Stop(); }

  void Stop() {
    std::lock_guard<std::mutex> lock(control);
    for (int i = 0; i < kMaxDecodeThreads; ++i) {
      if (!threads[i].joinable()) continue;
      uintptr_t end_job = 0;
      while (!RingWrite(&command[i], &end_job, sizeof(end_job))) platform::Sleep(1);
      threads[i].join();
      running_mask.fetch_and(~(1u << i));
      platform::TimeEndPeriod(1);
    }
    second_thread = 0;
  }
};

DecodeThreads& Threads() {
  static DecodeThreads threads;
  return threads;
}

void DecodeThreadMain(int index) {
  DecodeThreads& t = Threads();
  const uint32_t bit = 1u << index;
  while (!(t.running_mask.load(std::memory_order_acquire) & bit)) std::this_thread::yield();
  for (;;) {
    uintptr_t job = 0;
    if (RingRead(-1, &t.command[index], &job, sizeof(job)) < sizeof(job)) continue;
    if (job == 0) return;
    auto* movie = reinterpret_cast<MovieHandle*>(job & ~uintptr_t{7});
    const uint32_t parts = static_cast<uint32_t>((job & kPartsMask) >> kPartsShift);
    uint8_t reply[kReplyBytes];
    const uintptr_t answered = job & ~kPartsMask;
    const uint32_t result = static_cast<uint32_t>(FrameDecodePart(movie, parts));
    std::memcpy(reply, &answered, sizeof(answered));
    std::memcpy(reply + sizeof(answered), &result, 4);
    if (t.running_mask.load(std::memory_order_acquire) & bit)
      RingWrite(&t.reply[index], reply, kReplyBytes);
  }
}

void ExchangeAndFinish(MovieHandle* movie) {
  if (FrameBufferRecord* f = movie->planes; f && f->buffer_count == 2)
    f->current_index = f->current_index.load() ^ 1;
  if (movie->map_storage[0] && movie->map_storage[1])
    std::swap(movie->map_storage[0], movie->map_storage[1]);
  FrameDecodeFinish(movie, Timer());
}

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

int CreateDecodeThread(int index) {
  DecodeThreads& t = Threads();
  std::lock_guard<std::mutex> lock(t.control);
  if (index < 0 || index >= kMaxDecodeThreads || t.threads[index].joinable()) return 0;
  for (DecodeRing* ring : {&t.command[index], &t.reply[index]}) {
    while (ring->ready.try_acquire()) {
    }
    ring->read_position = 0;
    ring->write_position = 0;
  }
  platform::TimeBeginPeriod(1);
  try {
    t.threads[index] = std::thread(DecodeThreadMain, index);
  } catch (...) {
    return 0;
  }
  t.running_mask.fetch_or(1u << index, std::memory_order_release);
  return 1;
}

int StartDecodeThreads(int count) {
  int running = 0;
  if (count >= 1 && CreateDecodeThread(0)) {
    running = 1;
    // The second thread index is set only when thread 1 really started.
    if (count >= 2 && CreateDecodeThread(1)) {
      Threads().second_thread = 1;
      running = 2;
    }
  }
  return running;
}

void StopDecodeThreads() { Threads().Stop(); }

uint32_t DecodeThreadsRunning() { return Threads().running_mask.load(); }

namespace {

// The steps before any decode of the current packet: the map storages and
// the start bookkeeping. False when no decode should start.
bool PrepareDecode(MovieHandle* movie) {
  // The decode fills the second storage. While the first slot is empty the
  // finished decode could not exchange the two, so the second one still holds
  // the map of the frame the player is about to copy: that one moves to the
  // first slot, and the decode gets a storage of its own.
  if (!movie->map_storage[1] || movie->map_storage[1] == movie->map_storage[0] ||
      movie->map_storage[1] == movie->map_copy) {
    auto* map = static_cast<uint8_t*>(Alloc(uint64_t{movie->map_size} + 16));
    if (map) {
      movie->total_memory += uint64_t{movie->map_size} + 16;
      std::memset(map, 0, movie->map_size + 16);
      if (!movie->map_storage[0]) movie->map_storage[0] = movie->map_storage[1];
      movie->map_storage[1] = map;
    }
  }
  return FrameDecodeStart(movie, Timer()) != nullptr;
}

}  // namespace

int DecodeOnCallingThread(MovieHandle* movie) {
  if (movie->job_slot[0] || movie->job_slot[1] || !PrepareDecode(movie)) return 0;
  FrameDecodePart(movie, PART_ALL);
  ExchangeAndFinish(movie);
  return 1;
}

int StartBackgroundDecode(MovieHandle* movie) {
  DecodeThreads& t = Threads();
  const uint32_t running = t.running_mask.load(std::memory_order_acquire);
  // No decode thread: the whole frame on this thread, finished at once.
  if (!(running & 1)) return DecodeOnCallingThread(movie);
  if (movie->job_slot[0] || movie->job_slot[1] || !PrepareDecode(movie)) return 0;
  SetCloseHook(WaitForBackgroundDecode);

  const auto handle = reinterpret_cast<uintptr_t>(movie);
  const int second = t.second_thread;
  uintptr_t job0 = handle | (second ? (PART_LUMA << kPartsShift) : (PART_ALL << kPartsShift));
  bool queued = false;
  if (RingWrite(&t.command[0], &job0, sizeof(job0))) {
    movie->job_slot[0] = JOB_REPLY_PENDING | JOB_ISSUED | 0;
    queued = true;
  }
  if (second && (running & (1u << second))) {
    uintptr_t job1 = handle | kSlotBit | (PART_OTHER << kPartsShift);
    if (RingWrite(&t.command[second], &job1, sizeof(job1))) {
      movie->job_slot[1] = JOB_REPLY_PENDING | JOB_ISSUED | static_cast<uint32_t>(second);
      queued = true;
    }
  }
  return queued ? 1 : 0;
}

int WaitForBackgroundDecode(MovieHandle* movie) {
  DecodeThreads& t = Threads();
  if (!movie->job_slot[0] && !movie->job_slot[1]) return 1;
  for (int slot = 0; slot < 2; ++slot) {
    if (!(movie->job_slot[slot] & JOB_REPLY_PENDING)) continue;
    const int thread = static_cast<int>(movie->job_slot[slot] & 0xFF);
    bool first = true;
    while (t.running_mask.load() & (1u << thread)) {
      uint8_t bytes[kReplyBytes];
      if (RingRead(first ? -1 : 0, &t.reply[thread], bytes, kReplyBytes) < kReplyBytes) break;
      first = false;
      uintptr_t job;
      std::memcpy(&job, bytes, sizeof(job));
      auto* answered = reinterpret_cast<MovieHandle*>(job & ~uintptr_t{7});
      answered->job_slot[job & kSlotBit].fetch_and(~JOB_REPLY_PENDING);
    }
  }
  if ((movie->job_slot[0] & JOB_REPLY_PENDING) || (movie->job_slot[1] & JOB_REPLY_PENDING))
    return 0;
  movie->job_slot[0] = 0;
  movie->job_slot[1] = 0;
  ExchangeAndFinish(movie);
  return 1;
}

}  // namespace vexil
