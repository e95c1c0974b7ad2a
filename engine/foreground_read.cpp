#include "engine/foreground_read.h"

#include "engine/movie.h"

namespace vexil {

void ReadAfterCopy(MovieHandle* movie, uint32_t copy_flags) {
  InputRecord* in = &movie->input;
  if (movie->preload_data || in->reading_now || (copy_flags & COPY_NO_READ) || !in->service)
    return;
  uint32_t target = in->target_fill.load();
  uint32_t want = movie->peak_rate < target ? movie->peak_rate : target;
  if (uint64_t{in->buffered.load()} * 4 >= uint64_t{want} * 3) return;
  if (in->lock_try && in->lock_try(in)) {
    in->service(in);
    in->lock_release(in);
  } else if (movie->read_node && in->lock_yield) {
    in->lock_yield(in);
  }
}

}  // namespace vexil
