// Reading ahead on the player's thread. The background read service does the
// same work when the movie has joined it; these keep a movie fed without it
// and top the ring up where the player has time to spare. Player thread only.
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;

// Copy flag bit that asks the copy not to read afterwards.
constexpr uint32_t COPY_NO_READ = 0x00200000;

// While the player idles before the next frame (the frame clock's wait): with
// background reading, only when the ring holds less than half of min(peak
// one-second size, target fill); without, every time. One piece, and only if
// the read-ahead lock is free. Nothing for a preloaded movie.
void ReadWhileWaiting(MovieHandle* movie);

// After a frame was copied to the display: one piece when the ring is below
// 3/4 of min(peak one-second size, target fill), only if the read-ahead lock is
// free; otherwise, with background reading on, yield. Nothing for a preloaded
// movie, while a background piece is being read, or with COPY_NO_READ.
void ReadAfterCopy(MovieHandle* movie, uint32_t copy_flags);

// Sound-skip recovery, with the read-ahead lock and the sound mutex held:
// pieces until the ring holds 29/32 of its target fill or a call reads nothing.
void ReadForRecovery(MovieHandle* movie);

}  // namespace vexil
