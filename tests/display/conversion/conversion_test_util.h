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
#include "kernel_test_util.h"
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
using Destination = Guarded<uint8_t>;

// A 4:2:0 picture (with alpha when that plane is not empty), each plane
// exactly its pitch times its rows, and optionally a changed-block map.
struct Picture {
  uint32_t width = 0, height = 0, chroma_width = 0;
  std::vector<uint8_t> luma, chroma_a, chroma_b, alpha;
  std::vector<uint8_t> map;  // empty: every block is converted
  uint32_t map_stride = 0;

  // The whole picture under `flags`.
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
            .map = map.empty() ? nullptr : map.data(),
            .map_stride = map_stride,
            .map_size = static_cast<uint32_t>(map.size()),
            .flags = flags};
  }
};

// A picture of random samples.
inline Picture RandomPicture(uint32_t width, uint32_t height, bool with_alpha, std::mt19937& rng) {
  Picture p;
  p.width = width;
  p.height = height;
  p.chroma_width = (width + 1) / 2;
  const size_t chroma = size_t{p.chroma_width} * ((height + 1) / 2);
  p.luma.resize(size_t{width} * height);
  p.chroma_a.resize(chroma);
  p.chroma_b.resize(chroma);
  if (with_alpha) p.alpha.resize(p.luma.size());
  for (auto* plane : {&p.luma, &p.chroma_a, &p.chroma_b, &p.alpha})
    for (uint8_t& sample : *plane) sample = static_cast<uint8_t>(rng());
  return p;
}

// Selects and copies, as a copy of a frame does.
inline void Convert(ConversionContext& context, const CopySource& source, uint8_t* destination,
                    int32_t pitch, int32_t rows) {
  SelectConverters(context, source.flags, source.alpha != nullptr);
  CopyPlanes(context, source, destination, pitch, rows);
}

}  // namespace vexil::test
