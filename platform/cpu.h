// Processor features, detected once. Bit 31 marks the word as known. The
// environment variable VEXIL_CPU_MASK (hex) is ANDed with the detected bits,
// so VEXIL_CPU_MASK=0 forces the portable code everywhere.
#pragma once

#include <cstdint>

namespace vexil {

constexpr uint32_t CPU_MMX = 0x1;
constexpr uint32_t CPU_3DNOW = 0x2;
constexpr uint32_t CPU_SSE = 0x4;
constexpr uint32_t CPU_SSE2 = 0x8;
// Beyond the classic four: used only by our own faster kernels.
constexpr uint32_t CPU_SSSE3 = 0x10;
constexpr uint32_t CPU_AVX2 = 0x20;
constexpr uint32_t CPU_KNOWN = 0x80000000u;

// What the processor reports (MMX first; the others only with MMX, SSE2 only
// with SSE; nothing without CPUID), without the mask and without bit 31.
uint32_t DetectCpuFeatures();

// The cached, masked feature word with CPU_KNOWN set. Thread-safe.
uint32_t CpuFeatures();

}  // namespace vexil
