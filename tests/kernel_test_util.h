// What every kernel family's tests share: the sets this processor runs, how
// a feature word chooses among them, and output buffers with guard values
// that a kernel must leave alone.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/cpu.h"

namespace vexil::test {

// The sets of a family this build has and this processor runs, the portable
// set first: the ones a bit-exact test compares with it.
template <typename Kernels>
std::vector<const Kernels*> RunnableKernelSets(std::span<const KernelSet<Kernels>> sets) {
  std::vector<const Kernels*> runnable;
  const uint32_t have = DetectCpuFeatures();
  for (const KernelSet<Kernels>& set : sets)
    if (set.kernels && (have & set.needs) == set.needs) runnable.push_back(set.kernels);
  return runnable;
}

// How a family follows the feature word: without features the portable set,
// every set for its own bits, and on this processor the fastest set it runs.
// On x86 every set is built, the 32-bit build's included.
template <typename Kernels>
void ExpectKernelChoice(std::span<const KernelSet<Kernels>> sets,
                        const Kernels& (*select)(uint32_t cpu)) {
  ASSERT_FALSE(sets.empty());
  ASSERT_NE(sets.front().kernels, nullptr);
  EXPECT_EQ(sets.front().needs, 0u);
  EXPECT_EQ(std::string(sets.front().kernels->name), "portable");
  EXPECT_EQ(&select(0), sets.front().kernels);
  EXPECT_EQ(&select(CPU_KNOWN), sets.front().kernels);
  for (const KernelSet<Kernels>& set : sets) {
    EXPECT_EQ(set.kernels != nullptr, VEXIL_X86 || set.needs == 0)
        << "the set for CPU bits " << set.needs << (VEXIL_X86 ? " is not built" : " is built");
    if (set.kernels) {
      EXPECT_EQ(&select(set.needs | CPU_KNOWN), set.kernels) << set.kernels->name;
    }
  }
  EXPECT_EQ(&select(DetectCpuFeatures() | CPU_KNOWN), RunnableKernelSets(sets).back());
}

// `count` values between guard values.
template <typename T>
class Guarded {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr T kFill = static_cast<T>(0xA5);
  explicit Guarded(size_t count) : buffer_(count + 2 * kGuard, kFill), size_(count) {}
  T* data() { return buffer_.data() + kGuard; }
  const T* data() const { return buffer_.data() + kGuard; }
  size_t size() const { return size_; }
  T operator[](size_t i) const { return data()[i]; }
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (buffer_[i] != kFill || buffer_[kGuard + size_ + i] != kFill) return false;
    return true;
  }
  std::vector<T> Values() const { return {data(), data() + size_}; }

 private:
  std::vector<T> buffer_;
  size_t size_;
};

}  // namespace vexil::test
