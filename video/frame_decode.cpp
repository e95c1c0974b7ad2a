#include "video/frame_decode.h"

#include <algorithm>
#include <cstring>

#include "audio/sound_track.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/timer.h"
#include "platform/cpu.h"
#include "video/bundle_sizes.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

// Reads a little-endian word at p; bytes at or past `limit` read as 0.
uint32_t ReadWordBounded(const uint8_t* p, const uint8_t* limit) {
  if (p + 4 <= limit) return ReadLE32(p);
  uint8_t bytes[4] = {};
  for (int i = 0; i < 4 && p + i < limit; ++i) bytes[i] = p[i];
  return ReadLE32(bytes);
}

bool Inside(const uint8_t* p, const uint8_t* start, const uint8_t* end) {
  return p >= start && p < end;
}

void AtomicMax(std::atomic<uint32_t>& value, uint32_t candidate) {
  uint32_t seen = value.load(std::memory_order_relaxed);
  while (candidate > seen &&
         !value.compare_exchange_weak(seen, candidate, std::memory_order_relaxed)) {
  }
}

}  // namespace

uint32_t FrameDecode(const FrameDecodeArgs& a, PlaneDecoder decode_plane) {
  FrameBufferRecord& f = *a.frames;
  uint8_t scratch_map[4] = {};
  uint8_t* map = a.map ? a.map : scratch_map;
  const uint32_t map_stride = a.map ? a.map_stride : 0;
  const uint32_t luma_step = a.map ? 1 : 0;
  const uint32_t chroma_step = a.map ? 2 : 0;

  // Destination: the other buffer when there is one; the reference is always current.
  const uint32_t current = f.current_index.load();
  uint32_t dest_index = current;
  if (f.buffer_count == 2) {
    dest_index = current ^ 1;
    if (!(a.frame_flags & OPEN_FRAME_NO_SWITCH)) f.current_index = dest_index;
  }
  const PlaneSet& dest = f.sets[dest_index];
  const PlaneSet& ref = f.sets[current];
  const uint32_t cpu = CpuFeatures();

  uint32_t least_skips = UINT32_MAX;
  auto plane = [&](int index, const uint8_t* start, bool chroma) -> const uint8_t* {
    PlaneDecodeArgs p{};
    p.width = chroma ? f.chroma_width : f.luma_width;
    p.height = chroma ? f.chroma_height : f.luma_height;
    p.destination = dest.plane[index].samples;
    p.reference = ref.plane[index].samples;
    p.pitch = dest.plane[index].pitch;
    p.data_start = start;
    p.data_end = a.data_end;
    p.readable_end = a.readable_end;
    p.map = map;
    p.map_stride = map_stride;
    p.map_step = chroma ? chroma_step : luma_step;
    p.bundle_buffers = a.bundle_buffers;
    p.bundle_sizes = a.bundle_sizes;
    p.frame_flags = a.frame_flags;
    p.cpu_features = cpu;
    uint32_t skips = 0;
    const uint8_t* end = decode_plane(p, &skips);
    least_skips = std::min(least_skips, chroma ? skips * 4 : skips);
    return end;
  };

  const uint8_t* pos = a.data_start;
  const bool old_revision = a.frame_flags & OPEN_OLD_REVISION;
  auto result = [&]() -> uint32_t {
    const uint32_t blocks = f.luma_width * f.luma_height / 64;
    if (blocks == 0) return 100;
    return (blocks - least_skips) * 100 / blocks;
  };

  if (a.movie_flags & HEADER_ALPHA) {
    if ((a.frame_flags & OPEN_ALPHA) && dest.plane[PLANE_ALPHA].present)
      plane(PLANE_ALPHA, pos + 4, false);
    // The alpha data starts with its own length, up to the luma data.
    const uint32_t count = ReadWordBounded(pos, a.readable_end);
    if (count >= static_cast<uint64_t>(a.data_end - pos)) return result();
    pos += count;
  }
  if (pos >= a.data_end) return result();

  const uint8_t* luma = pos;
  const uint8_t* chroma = nullptr;
  if (!old_revision) {
    // Offset from this field to the first chroma plane, so the chroma part can
    // start without decoding luma.
    const uint32_t offset = ReadWordBounded(pos, a.readable_end);
    luma = pos + 4;
    if (offset < static_cast<uint64_t>(a.data_end - pos)) chroma = pos + offset;
  }
  if (!(a.frame_flags & OPEN_FRAME_NO_LUMA)) {
    const uint8_t* end = plane(PLANE_LUMA, luma, false);
    if (old_revision) chroma = end;
  }
  if (!(a.frame_flags & OPEN_GRAYSCALE) && chroma && Inside(chroma, a.data_start, a.data_end)) {
    const uint8_t* next = plane(PLANE_CHROMA_A, chroma, true);
    if (Inside(next, a.data_start, a.data_end)) plane(PLANE_CHROMA_B, next, true);
  }
  return result();
}

int FrameDecodePart(MovieHandle* movie, uint32_t parts) {
  const uint32_t t0 = Timer();
  const uint8_t* p = movie->frame_data;
  const uint8_t* const end = movie->frame_data + movie->frame_bytes;
  bool walked = true;
  for (uint32_t t = 0; t < movie->track_count; ++t) {
    if (end - p < 4) {
      walked = false;
      break;
    }
    const uint32_t size = ReadLE32(p);
    p += 4;
    const uint32_t room = static_cast<uint32_t>(end - p);
    if ((parts & PART_OTHER) && size) {
      for (uint32_t k = 0; k < movie->play_tracks; ++k) {
        if (movie->track_map[k] == t) {
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
  if (movie->video_on && movie->planes) {
    uint32_t flags = movie->open_flags;
    bool decode = walked && p < end;
    if (flags & OPEN_OLD_REVISION) {
      if (parts == PART_LUMA) decode = false;
    } else {
      if (!(parts & PART_LUMA)) flags |= OPEN_FRAME_NO_LUMA;
      if (!(parts & PART_OTHER)) flags = (flags & ~OPEN_ALPHA) | OPEN_GRAYSCALE;
    }
    flags |= OPEN_FRAME_NO_SWITCH;
    if (decode) {
      FrameDecodeArgs a{};
      a.bundle_sizes = movie->bundle_sizes;
      a.bundle_buffers = movie->bundle_buffers[parts == PART_OTHER ? 1 : 0];
      a.frames = movie->planes;
      a.map = movie->map_filling;
      a.map_stride = movie->map_stride;
      a.data_start = p;
      a.data_end = end + 4;
      a.readable_end = movie->data_limit ? movie->data_limit : end;
      a.frame_flags = flags;
      a.movie_flags = movie->header_flags;
      AtomicMax(movie->running_changed_percent, FrameDecode(a));
    }
  }
  movie->audio_time.fetch_add(t1 - t0, std::memory_order_relaxed);
  movie->video_time.fetch_add(Timer() - t1, std::memory_order_relaxed);
  return 1;
}

MovieHandle* FrameDecodeStart(MovieHandle* movie, uint32_t) {
  if (!ClockDecodeStart(movie)) return nullptr;
  movie->input.movie_busy = 1;
  if (movie->video_on && movie->planes && !movie->skip_next && movie->map_storage[1])
    std::memset(movie->map_storage[1], 0, movie->map_size);
  movie->running_changed_percent = 0;
  movie->map_filling = movie->map_storage[1];
  return movie;
}

void FrameDecodeFinish(MovieHandle* movie, uint32_t now) {
  FrameDone(movie, now);
  movie->map_copy = movie->map_filling;
  if (movie->map_copy) movie->changed_rect_count = -1;
  movie->changed_percent = movie->running_changed_percent.load();
  movie->input.movie_busy = 0;
}

}  // namespace vexil
