// Decoding built planes in tests: exact-size buffers (so AddressSanitizer sees
// any stray access), the bundle buffers of the plane's width, a map.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "encoder/plane_builder.h"
#include "engine/movie.h"
#include "video/bundle_sizes.h"
#include "video/plane_decoder.h"

namespace vexil::test {

struct PlaneResult {
  std::vector<uint8_t> destination;
  std::vector<uint8_t> map;
  uint32_t skip_count = 0;
  ptrdiff_t end_offset = 0;  // returned address minus data start
};

struct DecodeSetup {
  uint32_t width = 0, height = 0, pitch = 0;
  bool old_revision = false;
  uint32_t map_step = 1, map_stride = 0;
  uint32_t cpu_features = 0;
  size_t misalign = 0;        // data start offset from a 16-byte boundary
  size_t trailing_bytes = 0;  // readable bytes after the stream (0: none at all)
  bool one_buffer = false;    // reference == destination
};

inline PlaneResult DecodeStream(const DecodeSetup& s, const std::vector<uint8_t>& stream,
                                const std::vector<uint8_t>& reference,
                                const std::vector<uint8_t>& destination) {
  const uint32_t pitch = s.pitch ? s.pitch : s.width;
  const size_t plane_bytes = size_t{pitch} * s.height;
  auto dst = std::make_unique<uint8_t[]>(plane_bytes + 1);
  auto ref = std::make_unique<uint8_t[]>(plane_bytes + 1);
  if (plane_bytes) {
    std::memcpy(dst.get(), destination.data(), plane_bytes);
    std::memcpy(ref.get(), s.one_buffer ? destination.data() : reference.data(), plane_bytes);
  }
  // The stream alone in its buffer, after `misalign` bytes.
  const size_t data_bytes = s.misalign + stream.size() + s.trailing_bytes;
  auto data = std::make_unique<uint8_t[]>(data_bytes ? data_bytes : 1);
  std::memset(data.get(), 0x5C, data_bytes);
  if (!stream.empty()) std::memcpy(data.get() + s.misalign, stream.data(), stream.size());
  const uint8_t* start = data.get() + s.misalign;
  const uintptr_t readable = reinterpret_cast<uintptr_t>(data.get()) + data_bytes;

  uint32_t sizes[BUNDLE_KIND_COUNT];
  BundleBufferSizes(s.width, sizes);
  const size_t bundle_bytes = BundleBuffersTotal(sizes);
  std::unique_ptr<uint8_t[], void (*)(uint8_t*)> bundles(
      static_cast<uint8_t*>(::operator new[](bundle_bytes, std::align_val_t{16})),
      [](uint8_t* p) { ::operator delete[](p, std::align_val_t{16}); });
  std::memset(bundles.get(), 0, bundle_bytes);

  uint32_t map_stride = s.map_stride;
  size_t map_rows = 1;
  if (s.map_step == 1) {
    if (!map_stride) map_stride = (s.width + 15) / 16;
    map_rows = (s.height + 15) / 16;
  } else if (s.map_step == 2) {
    if (!map_stride) map_stride = s.width / 8;
    map_rows = s.height / 8;
  }
  std::vector<uint8_t> map(std::max<size_t>(size_t{map_stride} * map_rows, 1), 0);

  PlaneDecodeArgs a{};
  a.width = s.width;
  a.height = s.height;
  a.destination = dst.get();
  a.reference = s.one_buffer ? dst.get() : ref.get();
  a.pitch = pitch;
  a.data_start = start;
  a.data_end = reinterpret_cast<const uint8_t*>(readable - s.trailing_bytes + 4);
  a.readable_end = reinterpret_cast<const uint8_t*>(readable);
  a.map = s.map_step ? map.data() : nullptr;
  a.map_stride = map_stride;
  a.map_step = s.map_step;
  a.bundle_buffers = bundles.get();
  a.bundle_sizes = sizes;
  a.frame_flags = s.old_revision ? OPEN_OLD_REVISION : 0;
  a.cpu_features = s.cpu_features;
  PlaneResult result;
  const uint8_t* end = DecodePlane(a, &result.skip_count);
  result.end_offset = end - start;
  result.destination.assign(dst.get(), dst.get() + plane_bytes);
  result.map = std::move(map);
  return result;
}

inline std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

}  // namespace vexil::test
