// The hot kernels of the plane decoder, chosen once by processor features:
// the portable reference is installed first, faster versions replace it.
// Every replacement must give bit-identical results (tests compare them).
#pragma once

#include <cstdint>
#include <span>

#include "platform/cpu.h"

namespace vexil {

struct VideoKernels {
  const char* name;
  // 64 samples of the dequantized inverse transform (see idct.h).
  void (*idct)(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]);
  // Copies 8 rows of 8 samples; each source row is read whole before its
  // destination row is written (source and destination may overlap when a
  // movie has one buffer).
  void (*copy8x8)(const uint8_t* src, uint8_t* dst, uint32_t pitch);
  // Puts 64 samples as a 16x16 block, each sample a 2x2 square (see idct.h's
  // PutBlockDoubled, the portable one); `in` lies outside the block.
  void (*put_doubled)(const uint8_t in[64], uint8_t* dst, uint32_t pitch);
};

// Every set, the portable one first.
std::span<const KernelSet<VideoKernels>> VideoKernelSets();
// The fastest set a CpuFeatures() word allows (CPU_* bits; 0 gives the references).
const VideoKernels& SelectVideoKernels(uint32_t cpu_features);

// The SSE2 and AVX2 sets (video_kernels_sse2.cpp, video_kernels_avx2.cpp);
// null where they are not built.
const VideoKernels* VideoKernelsSse2();
const VideoKernels* VideoKernelsAvx2();

// Portable references.
void Copy8x8Reference(const uint8_t* src, uint8_t* dst, uint32_t pitch);

}  // namespace vexil
