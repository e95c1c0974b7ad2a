#include "video/frame_decode.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/cpu.h"
#include "video/frame_buffers.h"
#include "video/frame_flags.h"

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
    if (!(a.frame_flags & FRAME_NO_SWITCH)) f.current_index = dest_index;
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
  const bool old_revision = a.frame_flags & FRAME_OLD_REVISION;
  auto result = [&]() -> uint32_t {
    const uint32_t blocks = f.luma_width * f.luma_height / 64;
    if (blocks == 0) return 100;
    return (blocks - least_skips) * 100 / blocks;
  };

  if (a.movie_flags & VIDEO_ALPHA_PLANE) {
    if ((a.frame_flags & FRAME_ALPHA) && dest.plane[PLANE_ALPHA].present)
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
  if (!(a.frame_flags & FRAME_NO_LUMA)) {
    const uint8_t* end = plane(PLANE_LUMA, luma, false);
    if (old_revision) chroma = end;
  }
  if (!(a.frame_flags & FRAME_GRAYSCALE) && chroma && Inside(chroma, a.data_start, a.data_end)) {
    const uint8_t* next = plane(PLANE_CHROMA_A, chroma, true);
    if (Inside(next, a.data_start, a.data_end)) plane(PLANE_CHROMA_B, next, true);
  }
  return result();
}

}  // namespace vexil
