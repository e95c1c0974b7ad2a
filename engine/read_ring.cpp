// The read-ahead ring of the built-in input.
//
// For now every read goes straight to the file and `service` has nothing to
// read: the ring's memory is sized and recorded, but not yet filled in the
// background. The operation table and the record are already in their final
// shape, so callers do not change when the ring fills.
#include <algorithm>

#include "engine/input_internal.h"

namespace vexil {

using namespace input_detail;

uint32_t RingBufferSize(InputRecord*, uint32_t wanted) {
  uint64_t rounded = (uint64_t{wanted} + kReadPiece - 1) / kReadPiece * kReadPiece + 4096;
  rounded = std::max<uint64_t>(rounded, 266240);
  return static_cast<uint32_t>(std::min<uint64_t>(rounded, 0xFFFFF000u));
}

void RingSetBuffer(InputRecord* in, void* memory, uint32_t memory_size, uint32_t movie_size,
                   uint32_t simulated_speed) {
  LockWait(in);
  auto* start = static_cast<uint8_t*>(memory);
  uint32_t size = 0;
  if (start) {
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(start) + 4095) & ~uintptr_t{4095};
    uint32_t lost = static_cast<uint32_t>(aligned - reinterpret_cast<uintptr_t>(start));
    start = reinterpret_cast<uint8_t*>(aligned);
    size = memory_size > lost ? (memory_size - lost) / kReadPiece * kReadPiece : 0;
  }
  in->ring_start = start;
  in->buffer_bytes = size;
  in->ring_end = start ? start + size : nullptr;
  in->consumer_pointer = start;
  in->fill_pointer = start;
  in->free_bytes = size;
  in->buffered = 0;
  in->movie_size = movie_size;
  in->simulated_speed = simulated_speed;
  LockRelease(in);
}

uint32_t RingRead(InputRecord* in, uint32_t, int64_t offset, void* destination, uint32_t n) {
  if (in->input_error) return 0;
  uint32_t t0 = Now();
  LockWait(in);
  uint32_t done = 0;
  bool ok = true;
  if (offset != kNoOffset && static_cast<uint32_t>(offset) != in->file_position)
    ok = SeekFile(in, static_cast<uint32_t>(offset));
  if (ok) done = ReadFile(in, destination, n);
  in->consumer_position = in->file_position;
  in->read_call_time.fetch_add(Now() - t0, std::memory_order_relaxed);
  UpdateTargetFill(in, in->consumer_position);
  LockRelease(in);
  return done;
}

int32_t RingService(InputRecord*) { return 0; }

uint32_t RingSuspend(InputRecord* in, uint32_t flags) {
  if (flags & SUSPEND_PAUSE) {
    in->suspended = 1;
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
