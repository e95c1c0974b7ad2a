// Conversion contexts: each takes its kernels from the feature word it is
// given, and keeps its selection, dither rows and tables to itself, so copies
// through one context are not changed by copies through another.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "display/conversion/conversion_test_util.h"

namespace vexil {
namespace {

using test::Destination;
using test::Picture;

// A context holds the set SelectSimdKernels chooses for its word: each set of
// the table for its own bits, and the processor's word when none is given.
TEST(ConversionContext, KernelsFollowTheFeatureWordGiven) {
  for (const KernelSet<SimdKernels>& set : SimdKernelSets()) {
    if (!set.kernels) continue;  // not built for this processor family
    const uint32_t cpu = set.needs | CPU_KNOWN | CPU_MMX;
    const ConversionContext context(cpu);
    EXPECT_EQ(context.cpu, cpu);
    EXPECT_EQ(context.kernels, set.kernels) << set.kernels->name;
  }
  for (const uint32_t cpu : {test::kTablePath, test::kSimdPortable, test::kSimdSse2,
                             test::kSimdAvx2, DetectCpuFeatures() | CPU_KNOWN}) {
    const ConversionContext context(cpu);
    EXPECT_EQ(context.kernels, &SelectSimdKernels(cpu)) << std::hex << cpu;
  }
  EXPECT_EQ(ConversionContext().cpu, CpuFeatures());
  EXPECT_EQ(ConversionContext().kernels, &SelectSimdKernels(CpuFeatures()));
}

// One stream of copies: a path, a format whose dither carries from copy to
// copy (an odd number of rows moves its phase) and pictures to copy.
struct Stream {
  uint32_t cpu;
  uint32_t format;
  uint32_t height;
};

std::vector<uint8_t> CopyOnce(ConversionContext& context, const Stream& s, const Picture& p) {
  const int32_t pitch = static_cast<int32_t>(p.width * PixelFormatBytes(s.format));
  Destination d(size_t(pitch) * p.height);
  test::Convert(context, p.Source(s.format), d.data(), pitch, static_cast<int32_t>(p.height));
  EXPECT_TRUE(d.GuardsIntact());
  return d.Values();
}

TEST(ConversionContext, InterleavedContextsGiveWhatEachGivesAlone) {
  // Pairs of streams whose selections differ in every piece of the context:
  // channel description, SIMD and table dither rows, channel tables.
  const Stream kPairs[][2] = {
      {{test::kSimdPortable, PIXFMT_565, 3}, {test::kSimdPortable, PIXFMT_555, 5}},
      {{test::kTablePath, PIXFMT_565, 3}, {test::kTablePath, PIXFMT_8, 7}},
      {{test::kSimdPortable, PIXFMT_8, 5}, {test::kTablePath, PIXFMT_4444, 3}},
      {{test::kTablePath, PIXFMT_664, 1}, {test::kSimdPortable, PIXFMT_24, 3}},
  };
  std::mt19937 rng(17);
  for (const auto& pair : kPairs) {
    std::vector<Picture> pictures[2];
    for (int i = 0; i < 2; ++i)
      for (int k = 0; k < 4; ++k)
        pictures[i].push_back(test::RandomPicture(9, pair[i].height, false, rng));
    std::vector<std::vector<uint8_t>> alone[2];
    for (int i = 0; i < 2; ++i) {
      ConversionContext context(pair[i].cpu);
      for (const Picture& p : pictures[i]) alone[i].push_back(CopyOnce(context, pair[i], p));
    }
    ConversionContext contexts[2] = {ConversionContext(pair[0].cpu),
                                     ConversionContext(pair[1].cpu)};
    for (size_t k = 0; k < 4; ++k)
      for (int i = 0; i < 2; ++i)
        EXPECT_EQ(CopyOnce(contexts[i], pair[i], pictures[i][k]), alone[i][k])
            << "format " << pair[i].format << " path " << std::hex << pair[i].cpu << " copy " << k;
  }
}

}  // namespace
}  // namespace vexil
