// What the conversion core's tests share: random planes with no padding (a
// read past a plane leaves its allocation), destinations with guard bytes,
// and the feature words of each conversion path this processor can run.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "display/conversion_context.h"
#include "display/convert_simd.h"
#include "display/copy.h"
#include "platform/cpu.h"

namespace vexil::test {

// Feature words that pick each path of the copy (a conversion context made
// with one converts on that path).
constexpr uint32_t kTablePath = CPU_KNOWN;
constexpr uint32_t kSimdPortable = CPU_KNOWN | CPU_MMX;
constexpr uint32_t kSimdSse2 = CPU_KNOWN | CPU_MMX | CPU_SSE | CPU_SSE2;
constexpr uint32_t kSimdAvx2 = kSimdSse2 | CPU_SSSE3 | CPU_AVX2;

// The SIMD feature words this processor can run.
inline std::vector<uint32_t> SimdPaths() {
  std::vector<uint32_t> paths = {kSimdPortable};
  const uint32_t have = DetectCpuFeatures();
  if ((have & CPU_SSE2) && SimdKernelsSse2()) paths.push_back(kSimdSse2);
  if ((have & CPU_AVX2) && SimdKernelsAvx2()) paths.push_back(kSimdAvx2);
  return paths;
}

// A destination with guard bytes before and after; pitch may be negative.
class Destination {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kFill = 0xA5;
  explicit Destination(size_t bytes) : buffer_(bytes + 2 * kGuard, kFill), size_(bytes) {}
  uint8_t* data() { return buffer_.data() + kGuard; }
  const uint8_t* data() const { return buffer_.data() + kGuard; }
  size_t size() const { return size_; }
  uint8_t operator[](size_t i) const { return data()[i]; }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (buffer_[i] != kFill || buffer_[kGuard + size_ + i] != kFill) return false;
    return true;
  }
  std::vector<uint8_t> Bytes() const { return {data(), data() + size_}; }

 private:
  std::vector<uint8_t> buffer_;
  size_t size_;
};

// A 4:2:0 picture of random samples (and alpha), each plane exactly its
// pitch times its rows.
struct RandomPlanes {
  RandomPlanes(uint32_t w, uint32_t h, bool with_alpha, std::mt19937& rng)
      : width(w), height(h), chroma_width((w + 1) / 2) {
    const size_t chroma = size_t{chroma_width} * ((h + 1) / 2);
    for (auto* plane : {&luma, &chroma_a, &chroma_b, &alpha}) {
      const bool is_chroma = plane == &chroma_a || plane == &chroma_b;
      if (plane == &alpha && !with_alpha) continue;
      plane->resize(is_chroma ? chroma : size_t{w} * h);
      for (uint8_t& sample : *plane) sample = static_cast<uint8_t>(rng());
    }
  }

  // The whole picture under `flags`, no changed-block map.
  CopySource Source(uint32_t flags) const {
    return {.luma = luma.data(),
            .chroma_a = chroma_a.data(),
            .chroma_b = chroma_b.data(),
            .alpha = alpha.empty() ? nullptr : alpha.data(),
            .luma_pitch = width,
            .chroma_a_pitch = chroma_width,
            .chroma_b_pitch = chroma_width,
            .width = width,
            .height = height,
            .map = nullptr,
            .map_stride = 0,
            .map_size = 0,
            .flags = flags};
  }

  uint32_t width, height, chroma_width;
  std::vector<uint8_t> luma, chroma_a, chroma_b, alpha;
};

// Selects and copies, as a copy of a frame does.
inline void Convert(ConversionContext& context, const CopySource& source, uint8_t* destination,
                    int32_t pitch, int32_t rows) {
  SelectConverters(context, source.flags, source.alpha != nullptr);
  CopyPlanes(context, source, destination, pitch, rows);
}

}  // namespace vexil::test
