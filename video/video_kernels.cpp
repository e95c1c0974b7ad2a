#include "video/video_kernels.h"

#include <cstring>

#include "platform/cpu.h"
#include "video/idct.h"

namespace vexil {

void Copy8x8Reference(const uint8_t* src, uint8_t* dst, uint32_t pitch) {
  for (int r = 0; r < 8; ++r) {
    uint64_t row;
    std::memcpy(&row, src + r * pitch, 8);
    std::memcpy(dst + r * pitch, &row, 8);
  }
}

const VideoKernels& SelectVideoKernels(uint32_t cpu_features) {
  static const VideoKernels reference = {IdctReference, Copy8x8Reference};
#if defined(__x86_64__) || defined(__i386__)
  static const VideoKernels avx2 = {IdctAvx2, Copy8x8Reference};
  if (cpu_features & CPU_AVX2) return avx2;
#endif
  return reference;
}

}  // namespace vexil
