#include "engine/frame_decode_driver.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "audio/sound_track.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "engine/movie_sound.h"
#include "platform/timer.h"
#include "video/frame_buffers.h"
#include "video/frame_decode.h"
#include "video/frame_flags.h"

namespace vexil {
namespace {

// The movie's flag words go to the decoder unchanged.
static_assert(OPEN_FRAME_NO_SWITCH == FRAME_NO_SWITCH);
static_assert(OPEN_FRAME_NO_LUMA == FRAME_NO_LUMA);
static_assert(OPEN_OLD_REVISION == FRAME_OLD_REVISION);
static_assert(OPEN_GRAYSCALE == FRAME_GRAYSCALE);
static_assert(OPEN_ALPHA == FRAME_ALPHA);
static_assert(HEADER_ALPHA == VIDEO_ALPHA_PLANE);

void AtomicMax(std::atomic<uint32_t>& value, uint32_t candidate) {
  uint32_t seen = value.load(std::memory_order_relaxed);
  while (candidate > seen &&
         !value.compare_exchange_weak(seen, candidate, std::memory_order_relaxed)) {
  }
}

}  // namespace

uint32_t PartFlags(uint32_t flags, uint32_t parts) {
  if (flags & OPEN_OLD_REVISION) return flags;
  if (!(parts & PART_LUMA)) flags |= OPEN_FRAME_NO_LUMA;
  if (!(parts & PART_OTHER)) flags = (flags & ~OPEN_ALPHA) | OPEN_GRAYSCALE;
  return flags;
}

int FrameDecodePart(MovieHandle* movie, uint32_t parts) {
  const uint32_t t0 = Timer();
  const uint8_t* p = movie->reader.frame_data;
  const uint8_t* const end = movie->reader.frame_data + movie->reader.frame_bytes;
  bool walked = true;
  for (uint32_t t = 0; t < movie->container.track_count; ++t) {
    if (end - p < 4) {
      walked = false;
      break;
    }
    const uint32_t size = ReadLE32(p);
    p += 4;
    const uint32_t room = static_cast<uint32_t>(end - p);
    if ((parts & PART_OTHER) && size) {
      for (uint32_t k = 0; k < movie->sound.play_tracks; ++k) {
        if (movie->sound.track_map[k] == t) {
          // A part running past the packet is cut at the packet's end.
          DecodeAudioPacket(movie, k, p, std::min(size, room));
          break;
        }
      }
    }
    if (size > room) {
      walked = false;
      break;
    }
    p += size;
  }

  const uint32_t t1 = Timer();
  if (movie->video.video_on && movie->video.planes) {
    const uint32_t flags = PartFlags(movie->open_flags, parts) | OPEN_FRAME_NO_SWITCH;
    const bool old_revision = movie->open_flags & OPEN_OLD_REVISION;
    if (walked && p < end && !(old_revision && parts == PART_LUMA)) {
      FrameDecodeArgs a{};
      a.bundle_sizes = movie->video.bundle_sizes;
      a.bundle_buffers = movie->video.bundle_buffers[parts == PART_OTHER ? 1 : 0];
      a.frames = movie->video.planes;
      a.map = movie->video.map_filling;
      a.map_stride = movie->video.map_stride;
      a.data_start = p;
      a.data_end = end + 4;
      a.readable_end = movie->reader.data_limit ? movie->reader.data_limit : end;
      a.frame_flags = flags;
      a.movie_flags = movie->container.header_flags;
      AtomicMax(movie->video.running_changed_percent, FrameDecode(a));
    }
  }
  movie->clock.audio_time.fetch_add(t1 - t0, std::memory_order_relaxed);
  movie->clock.video_time.fetch_add(Timer() - t1, std::memory_order_relaxed);
  return 1;
}

MovieHandle* FrameDecodeStart(MovieHandle* movie, uint32_t) {
  if (!ClockDecodeStart(movie)) return nullptr;
  movie->reader.input->movie_busy = 1;
  if (movie->video.video_on && movie->video.planes && !movie->clock.skip_next &&
      movie->video.map_storage[1])
    std::memset(movie->video.map_storage[1], 0, movie->video.map_size);
  movie->video.running_changed_percent = 0;
  movie->video.map_filling = movie->video.map_storage[1];
  return movie;
}

void FrameDecodeFinish(MovieHandle* movie, uint32_t now) {
  FrameDone(movie, now);
  movie->video.map_copy = movie->video.map_filling;
  if (movie->video.map_copy) movie->video.changed_rect_count = -1;
  movie->video.changed_percent = movie->video.running_changed_percent.load();
  movie->reader.input->movie_busy = 0;
}

}  // namespace vexil
