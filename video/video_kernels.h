// The hot kernels of the plane decoder, chosen once by processor features:
// the portable reference is installed first, faster versions replace it.
// Every replacement must give bit-identical results (tests compare them).
#pragma once

#include <cstdint>

namespace vexil {

struct VideoKernels {
  // 64 samples of the dequantized inverse transform (see idct.h).
  void (*idct)(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]);
  // Copies 8 rows of 8 samples; each source row is read whole before its
  // destination row is written (source and destination may overlap when a
  // movie has one buffer).
  void (*copy8x8)(const uint8_t* src, uint8_t* dst, uint32_t pitch);
};

// The kernels for a CpuFeatures() word (CPU_* bits); 0 gives the references.
const VideoKernels& SelectVideoKernels(uint32_t cpu_features);

// Portable references.
void Copy8x8Reference(const uint8_t* src, uint8_t* dst, uint32_t pitch);

#if defined(__x86_64__) || defined(__i386__)
void IdctAvx2(const int16_t block[64], const uint32_t quant[64], uint8_t out[64]);
#endif

}  // namespace vexil
