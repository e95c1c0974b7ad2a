#include "engine/frame_clock.h"

#include "audio/sound_track.h"
#include "engine/container.h"
#include "engine/movie.h"
#include "engine/timer.h"

namespace vexil {

void FetchFrame(MovieHandle* movie, uint32_t n) {
  uint32_t i = n ? n - 1 : 0;
  if (i >= movie->frame_count) i = 0;
  movie->skip_state = 0;
  ServiceSound(movie);
  movie->previous_frame = movie->current_frame;
  if (i == 0) {
    uint32_t now = Timer();
    if (movie->loop_time == 0) movie->loop_time = now;
    if (now - movie->loop_time > 300000) {
      movie->loop_time = now;
      movie->resync = 1;
    }
  }
  const uint32_t entry = movie->frame_index[i];
  movie->frame_offset = IndexOffset(entry);
  movie->frame_is_key = entry & INDEX_KEY;
  movie->frame_bytes = IndexOffset(movie->frame_index[i + 1]) - movie->frame_offset;
  if (movie->preload_data) {
    movie->frame_data = movie->preload_data + (movie->frame_offset - movie->first_packet_offset);
  } else {
    InputRecord* in = &movie->input;
    uint32_t got = in->read(in, i + 1, movie->frame_offset, movie->frame_data, movie->frame_bytes);
    if (got < movie->frame_bytes) movie->frame_bytes = got;
  }
  ServiceSound(movie);
  movie->current_frame = static_cast<int32_t>(i + 1);
}

}  // namespace vexil
