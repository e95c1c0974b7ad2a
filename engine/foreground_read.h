// Reading ahead on the player's thread, between frames. The background read
// service does the same work when it runs; these keep a movie fed without it.
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;

// Copy flag bit that asks the copy not to read afterwards.
constexpr uint32_t COPY_NO_READ = 0x00200000;

// After a frame was copied to the display: one piece when the ring is below
// 3/4 of min(peak one-second size, target fill), only if the read-ahead lock is
// free; otherwise, with background reading on, yield.
void ReadAfterCopy(MovieHandle* movie, uint32_t copy_flags);

}  // namespace vexil
