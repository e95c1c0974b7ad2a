#include "platform/cpu.h"

#include <cstdlib>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace vexil {

uint32_t DetectCpuFeatures() {
  uint32_t features = 0;
#if defined(__i386__) || defined(__x86_64__)
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  if (!(d & (1u << 23))) return 0;  // no MMX: report nothing
  features |= CPU_MMX;
  if (d & (1u << 25)) {
    features |= CPU_SSE;
    if (d & (1u << 26)) features |= CPU_SSE2;
    if ((d & (1u << 26)) && (c & (1u << 9))) features |= CPU_SSSE3;
  }
  unsigned max_extended = __get_cpuid_max(0x80000000u, nullptr);
  if (max_extended >= 0x80000001u && __get_cpuid(0x80000001u, &a, &b, &c, &d) && (d & (1u << 31)))
    features |= CPU_3DNOW;
  // AVX2 needs the OS to save the wide registers (OSXSAVE and XCR0 bits 1, 2).
  if (__get_cpuid(1, &a, &b, &c, &d) && (c & (1u << 27)) && (c & (1u << 28))) {
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6) == 6 && __get_cpuid_max(0, nullptr) >= 7) {
      __cpuid_count(7, 0, a, b, c, d);
      if ((b & (1u << 5)) && (features & CPU_SSSE3)) features |= CPU_AVX2;
    }
  }
#endif
  return features;
}

uint32_t CpuFeatures() {
  static const uint32_t features = [] {
    uint32_t f = DetectCpuFeatures();
    if (const char* mask = std::getenv("VEXIL_CPU_MASK"))
      f &= static_cast<uint32_t>(std::strtoul(mask, nullptr, 16));
    return f | CPU_KNOWN;
  }();
  return features;
}

}  // namespace vexil
