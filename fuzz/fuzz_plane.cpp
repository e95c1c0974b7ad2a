// One video plane decoder fed raw bytes: the plane size, pitch, bundle-buffer
// width, map, revision and kernels come from the first seven bytes, the rest
// is the plane's bit stream. Every buffer is allocated to its exact size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "engine/movie.h"
#include "platform/cpu.h"
#include "video/bundle_sizes.h"
#include "video/plane_decoder.h"

namespace {

using namespace vexil;

// Planes of up to 256 x 256 samples: the decoder's logic, not its memory.
constexpr uint32_t kMaxBlocksPerSide = 32;
constexpr size_t kSetupBytes = 7;

struct AlignedBytes {
  explicit AlignedBytes(size_t n)
      : bytes(static_cast<uint8_t*>(::operator new[](n ? n : 1, std::align_val_t{16}))) {}
  ~AlignedBytes() { ::operator delete[](bytes, std::align_val_t{16}); }
  AlignedBytes(const AlignedBytes&) = delete;
  AlignedBytes& operator=(const AlignedBytes&) = delete;
  uint8_t* bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Seven bytes of set-up, then the stream (seeds carry planes cut from movies).
  if (size < kSetupBytes) return 0;
  const uint32_t width = 8 * (data[0] % (kMaxBlocksPerSide + 1));
  const uint32_t height = 8 * (data[1] % (kMaxBlocksPerSide + 1));
  const uint32_t pitch = width + data[2] % 25;
  // The bundle buffers are sized for the movie's width, which may be smaller
  // than the plane (the decoder must then refuse the plane).
  const uint32_t bundle_width = data[3] == 0 ? width : data[3];
  const uint32_t map_step = (data[4] & 3) % 3;
  const bool old_revision = data[4] & 4;
  const bool one_buffer = data[4] & 8;
  const bool simd = data[4] & 16;
  const size_t misalign = (data[4] >> 5) & 3;
  // Readable bytes after the stream (a frame's later planes follow it).
  const size_t trailing = data[5] % 9;
  const uint8_t fill = data[6];
  const std::vector<uint8_t> stream(data + kSetupBytes, data + size);

  const size_t plane_bytes = size_t{pitch} * height;
  std::vector<uint8_t> destination(plane_bytes + (plane_bytes ? 0 : 1), fill);
  std::vector<uint8_t> reference(plane_bytes + (plane_bytes ? 0 : 1), static_cast<uint8_t>(~fill));

  std::vector<uint8_t> bytes(misalign + stream.size() + trailing + 1);
  if (!stream.empty()) std::memcpy(bytes.data() + misalign, stream.data(), stream.size());
  const uint8_t* start = bytes.data() + misalign;
  const uint8_t* readable_end = start + stream.size() + trailing;

  uint32_t sizes[BUNDLE_KIND_COUNT];
  BundleBufferSizes(bundle_width, sizes);
  AlignedBytes bundles(BundleBuffersTotal(sizes));

  uint32_t map_stride = 0;
  size_t map_rows = 1;
  if (map_step == 1) {
    map_stride = (width + 15) / 16;
    map_rows = (height + 15) / 16;
  } else if (map_step == 2) {
    // Chroma: 8 chroma samples cover one 16-luma cell.
    map_stride = width / 8;
    map_rows = height / 8;
  }
  std::vector<uint8_t> map(std::max<size_t>(size_t{map_stride} * map_rows, 1));

  PlaneDecodeArgs a{};
  a.width = width;
  a.height = height;
  a.destination = destination.data();
  a.reference = one_buffer ? destination.data() : reference.data();
  a.pitch = pitch;
  a.data_start = start;
  a.data_end = start + stream.size() + 4;
  a.readable_end = readable_end;
  a.map = map_step ? map.data() : nullptr;
  a.map_stride = map_stride;
  a.map_step = map_step;
  a.bundle_buffers = bundles.bytes;
  a.bundle_sizes = sizes;
  a.frame_flags = old_revision ? OPEN_OLD_REVISION : 0;
  a.cpu_features = simd ? CpuFeatures() : 0;
  uint32_t skips = 0;
  const uint8_t* end = DecodePlane(a, &skips);
  if (end < start || end > a.data_end) __builtin_trap();  // outside the promised range
  return 0;
}
