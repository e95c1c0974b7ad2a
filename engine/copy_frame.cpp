// CopyToBuffer and ReportRects: the copy's bookkeeping around the conversion
// core (region scaling, the late-frame decision, reading ahead, the
// changed-block map) in the order the engine relies on.
#include "engine/copy_frame.h"

#include <algorithm>
#include <cstring>

#include "display/copy.h"
#include "engine/foreground_read.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/heap.h"
#include "platform/timer.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

// Below this percentage of changed blocks only the changed blocks are copied.
constexpr uint32_t kChangedBlockLimit = 75;

// The decode may already have given the handle its second storage: that
// counts too, so it is never replaced (and lost).
bool HasMapStorage(const MovieHandle* movie) {
  return movie->video.map_storage[0] || movie->video.map_storage[1];
}

// Gives the handle its changed-block map storage, one block in both slots;
// until the decoder fills a map the whole frame counts as changed.
void AllocateMapStorage(MovieHandle* movie) {
  const uint64_t bytes = uint64_t{movie->video.map_size} + 16;
  auto* block = static_cast<uint8_t*>(Alloc(bytes));
  if (!block) return;
  std::memset(block, 0, bytes);
  movie->total_memory += bytes;
  movie->video.map_storage[0] = movie->video.map_storage[1] = block;
  movie->video.changed_percent = 100;
  movie->video.running_changed_percent = 100;
}

// The region in decoded-frame units: the caller's size scaled from the
// handle's (display-option doubled) size, clamped to the decoded frame.
void SourceRegion(const MovieHandle* movie, uint32_t width, uint32_t height, uint32_t* w,
                  uint32_t* h) {
  *w = *h = 0;
  if (movie->width == 0 || movie->height == 0) return;  // nothing decoded to copy
  const uint64_t sw = uint64_t{width} * movie->container.file_width / movie->width;
  const uint64_t sh = uint64_t{height} * movie->container.file_height / movie->height;
  *w = static_cast<uint32_t>(std::min<uint64_t>(sw, movie->container.file_width));
  *h = static_cast<uint32_t>(std::min<uint64_t>(sh, movie->container.file_height));
}

}  // namespace

int CopyToBuffer(ConversionContext& conversion, MovieHandle* movie, void* destination,
                 int32_t pitch, int32_t destination_height, uint32_t width, uint32_t height,
                 uint32_t flags) {
  if (!movie || !destination || !movie->video.planes) return 0;
  uint32_t w, h;
  SourceRegion(movie, width, height, &w, &h);
  if (w == 0 || h == 0 || movie->clock.skip_state == 2) return movie->clock.skip_state == 2 ? 1 : 0;
  if (movie->clock.first_copy_time == kCopyTimeAfterDecode) movie->clock.first_copy_time = Timer();

  flags |= movie->open_flags & COPY_OPEN_FLAGS_MASK;
  movie->reader.input->movie_busy = 1;
  FrameBufferRecord* frame = movie->video.planes;
  const bool has_alpha = frame->sets[0].plane[PLANE_ALPHA].samples != nullptr;
  if (!has_alpha) flags &= ~COPY_SHOW_ALPHA;
  // Selected before the skip decision: a dropped copy selects too, and so
  // moves the dither rows on as a copy would.
  SelectConverters(conversion, flags, has_alpha);

  int result = 0;
  if (movie->sound.play_tracks != 0 && movie->clock.rate_num != 0 && !movie->clock.paused &&
      movie->clock.skip_state == 0) {
    const bool last_frame =
        movie->reader.current_frame >= 0 &&
        static_cast<uint32_t>(movie->reader.current_frame) >= movie->container.frame_count;
    if (((flags | movie->open_flags) & COPY_NO_SKIP) || last_frame) {
      if (SkipDecision(movie, 1)) result = 1;
    } else if (SkipDecision(movie, 0)) {
      movie->reader.input->movie_busy = 0;
      return 1;
    }
  }
  movie->clock.skip_next = 0;

  ReadAfterCopy(movie, flags);
  movie->video.last_copy_flags = flags;

  const PlaneSet& planes = frame->sets[frame->current_index.load() & 1];
  const PlaneEntry* plane = planes.plane;
  CopySource source{.luma = plane[PLANE_LUMA].samples,
                    .chroma_a = plane[PLANE_CHROMA_A].samples,
                    .chroma_b = plane[PLANE_CHROMA_B].samples,
                    .alpha = plane[PLANE_ALPHA].samples,
                    .luma_pitch = plane[PLANE_LUMA].pitch,
                    .chroma_a_pitch = plane[PLANE_CHROMA_A].pitch,
                    .chroma_b_pitch = plane[PLANE_CHROMA_B].pitch,
                    .width = w,
                    .height = h,
                    .map = nullptr,
                    .map_stride = 0,
                    .map_size = 0,
                    .flags = flags};
  if (!(flags & COPY_ALL) && movie->video.changed_percent < kChangedBlockLimit) {
    if (!HasMapStorage(movie)) AllocateMapStorage(movie);
    source.map = movie->video.map_copy;
    source.map_stride = movie->video.map_stride;
    source.map_size = movie->video.map_size;
  }
  CopyPlanes(conversion, source, destination, pitch, destination_height);

  movie->reader.input->movie_busy = 0;
  return result;
}

int ReportRects(MovieHandle* movie, uint32_t surface_flags) {
  if (!movie || (surface_flags & SURFACE_DIRECT)) return 0;
  if (movie->clock.skip_state == 2 && !((surface_flags | movie->open_flags) & COPY_NO_SKIP))
    return 0;
  if (!HasMapStorage(movie)) AllocateMapStorage(movie);
  movie->video.changed_rect[0] = 0;
  movie->video.changed_rect[1] = 0;
  movie->video.changed_rect[2] = static_cast<int32_t>(movie->width);
  movie->video.changed_rect[3] = static_cast<int32_t>(movie->height);
  movie->video.changed_rect_count = 1;
  return 1;
}

}  // namespace vexil
