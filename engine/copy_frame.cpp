// CopyToBuffer and ReportRects: the copy's bookkeeping around the conversion
// core (region scaling, the late-frame decision, reading ahead, the
// changed-block map) in the order the engine relies on.
#include "engine/copy_frame.h"

#include <algorithm>
#include <cstring>

#include "display/copy.h"
#include "engine/foreground_read.h"
#include "engine/frame_clock.h"
#include "engine/heap.h"
#include "engine/movie.h"
#include "engine/timer.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

// Below this percentage of changed blocks only the changed blocks are copied.
constexpr uint32_t kChangedBlockLimit = 75;

// The decode may already have given the handle its second storage: that
// counts too, so it is never replaced (and lost).
bool HasMapStorage(const MovieHandle* movie) {
  return movie->map_storage[0] || movie->map_storage[1];
}

// Gives the handle its changed-block map storage, one block in both slots;
// until the decoder fills a map the whole frame counts as changed.
void AllocateMapStorage(MovieHandle* movie) {
  const uint64_t bytes = uint64_t{movie->map_size} + 16;
  auto* block = static_cast<uint8_t*>(Alloc(bytes));
  if (!block) return;
  std::memset(block, 0, bytes);
  movie->total_memory += bytes;
  movie->map_storage[0] = movie->map_storage[1] = block;
  movie->changed_percent = 100;
  movie->running_changed_percent = 100;
}

// The region in decoded-frame units: the caller's size scaled from the
// handle's (display-option doubled) size, clamped to the decoded frame.
void SourceRegion(const MovieHandle* movie, uint32_t width, uint32_t height, uint32_t* w,
                  uint32_t* h) {
  *w = *h = 0;
  if (movie->width == 0 || movie->height == 0) return;  // nothing decoded to copy
  const uint64_t sw = uint64_t{width} * movie->file_width / movie->width;
  const uint64_t sh = uint64_t{height} * movie->file_height / movie->height;
  *w = static_cast<uint32_t>(std::min<uint64_t>(sw, movie->file_width));
  *h = static_cast<uint32_t>(std::min<uint64_t>(sh, movie->file_height));
}

}  // namespace

int CopyToBuffer(ConversionContext& conversion, MovieHandle* movie, void* destination,
                 int32_t pitch, int32_t destination_height, uint32_t width, uint32_t height,
                 uint32_t flags) {
  if (!movie || !destination || !movie->planes) return 0;
  uint32_t w, h;
  SourceRegion(movie, width, height, &w, &h);
  if (w == 0 || h == 0 || movie->skip_state == 2) return movie->skip_state == 2 ? 1 : 0;
  if (movie->first_copy_time == kCopyTimeAfterDecode) movie->first_copy_time = Timer();

  flags |= movie->open_flags & COPY_OPEN_FLAGS_MASK;
  movie->input.movie_busy = 1;
  FrameBufferRecord* frame = movie->planes;
  const bool has_alpha = frame->sets[0].plane[PLANE_ALPHA].samples != nullptr;
  if (!has_alpha) flags &= ~COPY_SHOW_ALPHA;
  // Selected before the skip decision: a dropped copy selects too, and so
  // moves the dither rows on as a copy would.
  SelectConverters(conversion, flags, has_alpha);

  int result = 0;
  if (movie->play_tracks != 0 && movie->rate_num != 0 && !movie->paused && movie->skip_state == 0) {
    const bool last_frame = movie->current_frame >= 0 &&
                            static_cast<uint32_t>(movie->current_frame) >= movie->frame_count;
    if (((flags | movie->open_flags) & COPY_NO_SKIP) || last_frame) {
      if (SkipDecision(movie, 1)) result = 1;
    } else if (SkipDecision(movie, 0)) {
      movie->input.movie_busy = 0;
      return 1;
    }
  }
  movie->skip_next = 0;

  ReadAfterCopy(movie, flags);
  movie->last_copy_flags = flags;

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
  if (!(flags & COPY_ALL) && movie->changed_percent < kChangedBlockLimit) {
    if (!HasMapStorage(movie)) AllocateMapStorage(movie);
    source.map = movie->map_copy;
    source.map_stride = movie->map_stride;
    source.map_size = movie->map_size;
  }
  CopyPlanes(conversion, source, destination, pitch, destination_height);

  movie->input.movie_busy = 0;
  return result;
}

int ReportRects(MovieHandle* movie, uint32_t surface_flags) {
  if (!movie || (surface_flags & SURFACE_DIRECT)) return 0;
  if (movie->skip_state == 2 && !((surface_flags | movie->open_flags) & COPY_NO_SKIP)) return 0;
  if (!HasMapStorage(movie)) AllocateMapStorage(movie);
  movie->changed_rect[0] = 0;
  movie->changed_rect[1] = 0;
  movie->changed_rect[2] = static_cast<int32_t>(movie->width);
  movie->changed_rect[3] = static_cast<int32_t>(movie->height);
  movie->changed_rect_count = 1;
  return 1;
}

}  // namespace vexil
