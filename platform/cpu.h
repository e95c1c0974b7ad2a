// Processor features, detected once. Bit 31 marks the word as known. The
// environment variable VEXIL_CPU_MASK (hex) is ANDed with the detected bits,
// so VEXIL_CPU_MASK=0 forces the portable code everywhere.
#pragma once

#include <cstdint>
#include <span>

// The SSE2 and AVX2 kernels exist for 32- and 64-bit x86 only. Every file of
// such kernels (*_sse2.cpp, *_avx2.cpp, compiled for its instruction set)
// holds them under this guard; elsewhere its family's getter returns null.
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define VEXIL_X86 1
#else
#define VEXIL_X86 0
#endif

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

// One set of a kernel family: the CPU_* bits it needs and the kernels, null
// when this build has none for that instruction set.
template <typename Kernels>
struct KernelSet {
  uint32_t needs;
  const Kernels* kernels;
};

// The fastest set a feature word allows. `sets` runs from the portable set
// (needs 0, always built) to the fastest.
template <typename Kernels>
const Kernels& ChooseKernels(std::span<const KernelSet<Kernels>> sets, uint32_t cpu) {
  const Kernels* chosen = sets.front().kernels;
  for (const KernelSet<Kernels>& set : sets)
    if (set.kernels && (cpu & set.needs) == set.needs) chosen = set.kernels;
  return *chosen;
}

}  // namespace vexil
