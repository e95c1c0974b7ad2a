// The read-ahead ring of the built-in input.
//
// The ring is a run of 128 KiB slots. `service` (the read service thread or
// the player's idle time) reads one piece into the slot at the fill pointer;
// `read` (the player thread) takes bytes from the consumer pointer. The
// buffered data runs from the consumer pointer to the fill pointer, the free
// space from the fill pointer round to the consumer pointer, and
// buffered + free is always the ring size.
//
// Locking: `service` only tries the read-ahead lock. `read` takes it only to
// seek or to read directly, and otherwise consumes without it: bytes are
// published by the release-add to `buffered` (service) and handed back by the
// release-add to `free_bytes` (read), each read with an acquire-load on the
// other side. Everything else (file and fill positions, the file, the
// statistics of direct reads) changes only under the lock. The consumer
// pointer and position belong to `read`; `service` moves the consumer pointer
// only by a skew, which happens only while the ring is empty after a seek or a
// direct read, before it publishes the piece.
#include <algorithm>
#include <cstring>

#include "engine/input_internal.h"

namespace vexil {

using namespace input_detail;

namespace {

// Ring memory is rounded to this.
constexpr uintptr_t kRingAlign = 4096;
// buffer_size's answer is never below 256 KiB + 4 KiB: two pieces.
constexpr uint32_t kMinRingMemory = 2 * kReadPiece + 4096;

uint8_t* Advance(const InputRecord* in, uint8_t* p, uint32_t n) {
  p += n;
  if (p >= in->ring_end) p -= in->buffer_bytes;
  return p;
}

// Empties the ring and moves the file to `offset`.
void DropRing(InputRecord* in, uint32_t offset) {
  SeekFile(in, offset);
  in->file_position = offset;
  in->consumer_position = offset;
  in->free_bytes.store(in->buffer_bytes, std::memory_order_relaxed);
  in->buffered.store(0, std::memory_order_relaxed);
  in->consumer_pointer = in->ring_start;
  in->fill_pointer = in->ring_start;
}

// Copies up to n bytes from the ring without the lock; returns the count.
uint32_t Consume(InputRecord* in, uint8_t* destination, uint32_t n) {
  const uint32_t take = std::min(in->buffered.load(std::memory_order_acquire), n);
  if (take == 0) return 0;
  const uint32_t first = std::min(take, static_cast<uint32_t>(in->ring_end - in->consumer_pointer));
  std::memcpy(destination, in->consumer_pointer, first);
  std::memcpy(destination + first, in->ring_start, take - first);
  in->consumer_pointer = Advance(in, in->consumer_pointer, take);
  in->consumer_position += take;
  in->buffered.fetch_sub(take, std::memory_order_relaxed);
  in->free_bytes.fetch_add(take, std::memory_order_release);
  return take;
}

}  // namespace

uint32_t RingBufferSize(InputRecord*, uint32_t wanted) {
  uint64_t rounded = (uint64_t{wanted} + kReadPiece - 1) / kReadPiece * kReadPiece + 4096;
  rounded = std::max<uint64_t>(rounded, kMinRingMemory);
  return static_cast<uint32_t>(std::min<uint64_t>(rounded, 0xFFFFF000u));
}

void RingSetBuffer(InputRecord* in, void* memory, uint32_t memory_size, uint32_t movie_size,
                   uint32_t simulated_speed) {
  LockWait(in);
  auto* start = static_cast<uint8_t*>(memory);
  uint32_t size = 0;
  if (start) {
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(start) + kRingAlign - 1) & ~(kRingAlign - 1);
    uint32_t lost = static_cast<uint32_t>(aligned - reinterpret_cast<uintptr_t>(start));
    start = reinterpret_cast<uint8_t*>(aligned);
    // What the alignment took comes off the memory first, so the ring never
    // runs past it whatever size the caller hands over.
    size = memory_size > lost ? (memory_size - lost) / kReadPiece * kReadPiece : 0;
  }
  if (size == 0) start = nullptr;
  in->ring_start = start;
  in->buffer_bytes = size;
  in->ring_end = start ? start + size : nullptr;
  in->consumer_pointer = start;
  in->fill_pointer = start;
  in->free_bytes.store(size, std::memory_order_release);
  in->buffered.store(0, std::memory_order_release);
  in->movie_size = movie_size;
  in->simulated_speed = simulated_speed;
  LockRelease(in);
}

uint32_t RingRead(InputRecord* in, uint32_t, int64_t offset, void* destination, uint32_t n) {
  if (in->input_error) return 0;
  const uint32_t t0 = Now();
  auto* out = static_cast<uint8_t*>(destination);
  bool held = false;
  if (offset != kNoOffset && offset != int64_t{in->consumer_position}) {
    LockWait(in);
    held = true;
    // Offsets are movie offsets: anything outside 32 bits lies past the movie.
    const uint32_t to =
        offset < 0 || offset > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<uint32_t>(offset);
    if (to < in->consumer_position || to > in->file_position) {
      DropRing(in, to);
    } else {
      // Inside the buffered data: skip forward in the ring.
      const uint32_t distance = to - in->consumer_position;
      in->consumer_position = to;
      in->consumer_pointer = Advance(in, in->consumer_pointer, distance);
      in->buffered.fetch_sub(distance, std::memory_order_relaxed);
      in->free_bytes.fetch_add(distance, std::memory_order_release);
    }
  }
  uint32_t delivered = 0;
  while (!in->input_error) {
    delivered += Consume(in, out + delivered, n - delivered);
    if (delivered == n) break;
    if (held) {
      // The ring is empty and nothing can arrive while the lock is held.
      const uint32_t got = ReadFile(in, out + delivered, n - delivered);
      in->consumer_position = in->file_position;
      delivered += got;
      break;
    }
    // A background piece may be arriving: wait for it to finish.
    LockWait(in);
    held = true;
  }
  in->read_call_time.fetch_add(Now() - t0, std::memory_order_relaxed);
  const uint32_t rest =
      in->movie_size > in->consumer_position ? in->movie_size - in->consumer_position : 0;
  uint32_t target = std::min(in->buffer_bytes, rest);
  const uint32_t buffered = in->buffered.load(std::memory_order_acquire);
  if (uint64_t{target} < uint64_t{buffered} + kReadPiece) target = buffered;
  in->target_fill.store(target, std::memory_order_release);
  if (held) LockRelease(in);
  return delivered;
}

int32_t RingService(InputRecord* in) {
  if (in->input_error || in->suspended) return 0;
  if (!LockTry(in)) {
    if (in->lock_yield) in->lock_yield(in);
    return -1;
  }
  const uint32_t position = in->file_position;
  if (!in->ring_start || in->free_bytes.load(std::memory_order_acquire) < kReadPiece ||
      position >= in->movie_size) {
    in->target_fill.store(in->buffered.load(std::memory_order_acquire), std::memory_order_release);
    LockRelease(in);
    return 0;
  }
  const uint32_t rest = in->movie_size - position;
  const uint32_t piece = std::min(kReadPiece, rest);
  // After a seek the first piece ends on a 128 KiB boundary of the movie, and
  // its data starts as far into the slot as the file position lies into its
  // block; every later piece is then aligned. The last piece is read whole.
  uint32_t skew = position % kReadPiece;
  if (piece < skew || piece == rest) skew = 0;
  if (skew) in->consumer_pointer += skew;

  const uint32_t busy_at_start = in->movie_busy.load(std::memory_order_relaxed);
  const uint32_t t0 = Now();
  in->reading_now.store(1, std::memory_order_relaxed);
  // A file cut short ends the movie where the file ends, instead of setting
  // the input error: the frames already in the ring still play, and the
  // reader's error comes when it asks for a byte past the end.
  const uint32_t got = ReadAvailable(in, in->fill_pointer + skew, piece - skew);
  in->reading_now.store(0, std::memory_order_relaxed);
  if (got < piece - skew) in->movie_size = position + got;
  if (got) {
    in->bytes_read.fetch_add(got, std::memory_order_relaxed);
    in->file_position += got;
    in->fill_pointer = Advance(in, in->fill_pointer, kReadPiece);
    in->free_bytes.fetch_sub(got, std::memory_order_relaxed);
    const uint32_t buffered = in->buffered.fetch_add(got, std::memory_order_release) + got;
    uint32_t highest = in->highest_buffered.load(std::memory_order_relaxed);
    while (buffered > highest && !in->highest_buffered.compare_exchange_weak(
                                     highest, buffered, std::memory_order_relaxed)) {
    }
    ApplySimulatedSpeed(in, got, t0);
    const uint32_t elapsed = Now() - t0;
    in->read_time.fetch_add(elapsed, std::memory_order_relaxed);
    if (busy_at_start || in->movie_busy.load(std::memory_order_relaxed))
      in->background_read_time.fetch_add(elapsed, std::memory_order_relaxed);
    else
      in->idle_read_time.fetch_add(elapsed, std::memory_order_relaxed);
  }
  LockRelease(in);
  return static_cast<int32_t>(got);
}

uint32_t RingSuspend(InputRecord* in, uint32_t flags) {
  if (flags & SUSPEND_PAUSE) {
    in->suspended = 1;
    // Let a piece being read finish before the caller goes on.
    if (flags & SUSPEND_WAIT) {
      LockWait(in);
      LockRelease(in);
    }
  } else if (flags & SUSPEND_RESUME) {
    in->suspended = 0;
    if (flags & SUSPEND_WAIT) RingService(in);
  }
  return in->suspended;
}

}  // namespace vexil
