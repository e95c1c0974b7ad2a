#include "video/video_kernels.h"

#include <array>
#include <cstring>

#include "video/idct.h"

namespace vexil {

void Copy8x8Reference(const uint8_t* src, uint8_t* dst, uint32_t pitch) {
  for (int r = 0; r < 8; ++r) {
    uint64_t row;
    std::memcpy(&row, src + r * pitch, 8);
    std::memcpy(dst + r * pitch, &row, 8);
  }
}

std::span<const KernelSet<VideoKernels>> VideoKernelSets() {
  static const VideoKernels portable = {"portable", IdctReference, Copy8x8Reference,
                                        PutBlockDoubled};
  static const std::array<KernelSet<VideoKernels>, 3> sets = {{
      {0, &portable},
      {CPU_SSE2, VideoKernelsSse2()},
      {CPU_AVX2, VideoKernelsAvx2()},
  }};
  return sets;
}

const VideoKernels& SelectVideoKernels(uint32_t cpu_features) {
  return ChooseKernels(VideoKernelSets(), cpu_features);
}

}  // namespace vexil
