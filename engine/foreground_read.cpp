#include "engine/foreground_read.h"

#include "engine/movie.h"

namespace vexil {
namespace {

// min(peak one-second size, target fill): what the ring should hold for the
// next second of playing.
uint64_t Wanted(const MovieHandle* movie) {
  const uint32_t target = movie->reader.input->target_fill.load(std::memory_order_acquire);
  return movie->container.peak_rate < target ? movie->container.peak_rate : target;
}

// One piece, if the read-ahead lock is free now; false when it was busy.
bool TryOnePiece(InputRecord* in) {
  if (!in->lock_try || !in->lock_try(in)) return false;
  in->service(in);
  in->lock_release(in);
  return true;
}

}  // namespace

void ReadWhileWaiting(MovieHandle* movie) {
  InputRecord* in = movie->reader.input.get();
  if (movie->reader.preload_data || !in->service) return;
  if (movie->reader.read_node && uint64_t{in->buffered.load()} * 2 >= Wanted(movie)) return;
  TryOnePiece(in);
}

void ReadAfterCopy(MovieHandle* movie, uint32_t copy_flags) {
  InputRecord* in = movie->reader.input.get();
  if (movie->reader.preload_data || in->reading_now || (copy_flags & COPY_NO_READ) || !in->service)
    return;
  if (uint64_t{in->buffered.load()} * 4 >= Wanted(movie) * 3) return;
  if (!TryOnePiece(in) && movie->reader.read_node && in->lock_yield) in->lock_yield(in);
}

void ReadForRecovery(MovieHandle* movie) {
  InputRecord* in = movie->reader.input.get();
  if (movie->reader.preload_data || !in->service) return;
  while (uint64_t{in->buffered.load()} * 32 < uint64_t{in->target_fill.load()} * 29) {
    if (in->service(in) == 0) break;
  }
}

}  // namespace vexil
