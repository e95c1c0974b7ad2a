// The SIMD path's kernels against their portable reference: random samples,
// dither lanes and channel layouts, awkward group counts and offsets, guard
// bytes around the output; and whole copies of every format and scaling mode
// through a conversion context of each instruction set. No tolerance: the
// bytes must be identical.
#include <gtest/gtest.h>

#include <random>

#include "display/conversion/conversion_test_util.h"

namespace vexil {
namespace {

using test::Destination;

TEST(SimdKernels, TheFeatureWordChoosesTheSet) {
  test::ExpectKernelChoice(SimdKernelSets(), SelectSimdKernels);
  EXPECT_EQ(SimdKernelSets().front().kernels, &SimdKernelsPortable());
}

TEST(SimdKernels, GroupsMatchThePortableReference) {
  const std::vector<const SimdKernels*> sets = test::RunnableKernelSets(SimdKernelSets());
  std::mt19937 rng(1234);
  // Channel layouts of every format family (positions, dropped bits).
  const uint32_t kLayouts[][8] = {
      {24, 16, 8, 0, 0, 0, 0, 0}, {24, 0, 8, 16, 0, 0, 0, 0}, {12, 8, 4, 0, 4, 4, 4, 4},
      {15, 10, 5, 0, 7, 3, 3, 3}, {0, 11, 5, 0, 0, 3, 2, 3},  {0, 10, 5, 0, 0, 2, 3, 3},
      {0, 10, 4, 0, 0, 2, 2, 4},  {0, 0, 3, 6, 0, 5, 5, 6},
  };
  for (int trial = 0; trial < 400; ++trial) {
    const auto member = static_cast<SimdMember>(trial % SIMD_MEMBER_COUNT);
    // The layouts each member is selected for.
    uint32_t choice = rng() % 8;
    if (member == SIMD_32 || member == SIMD_32_ALPHA || member == SIMD_24) choice = rng() % 2;
    if (member == SIMD_16 || member == SIMD_16_ALPHA) choice = 2 + rng() % 5;
    if (member == SIMD_INDEX8) choice = 7;
    const uint32_t* layout = kLayouts[choice];
    int16_t dither[3][4];
    for (auto& row : dither)
      for (auto& lane : row) {
        // Biases plus dither as the selectors set them, and lanes up to the
        // top of the range (saturation). From 4975 up no sum goes negative.
        lane = static_cast<int16_t>(trial % 3 ? 24000 + rng() % 8000 : 4975 + rng() % 27793);
      }
    SimdParams p;
    for (int c = 0; c < 3; ++c) p.dither[c] = dither[c];
    p.red_pos = layout[1];
    for (int c = 0; c < 4; ++c) {
      p.pos[c] = layout[c];
      p.shift[c] = layout[4 + c] + (c ? 4 : 0);
    }
    const size_t groups = 1 + rng() % 7;
    const size_t offset = rng() % 16;
    std::vector<uint8_t> y(offset + 8 * groups), cb(offset + 4 * groups), cr(offset + 4 * groups),
        a(offset + 8 * groups);
    for (auto* v : {&y, &cb, &cr, &a})
      for (auto& s : *v) s = static_cast<uint8_t>(rng());
    const size_t out = kSimdOutBytes[member] * 8 * groups;
    Destination want(out + offset);
    SimdKernelsPortable().group[member](p, want.data() + offset, y.data() + offset,
                                        cb.data() + offset, cr.data() + offset, a.data() + offset,
                                        groups);
    for (const SimdKernels* k : sets) {
      Destination got(out + offset);
      k->group[member](p, got.data() + offset, y.data() + offset, cb.data() + offset,
                       cr.data() + offset, a.data() + offset, groups);
      ASSERT_TRUE(got.GuardsIntact()) << k->name << " member " << member;
      ASSERT_EQ(got.Values(), want.Values())
          << k->name << " member " << member << " groups " << groups << " trial " << trial;
    }
  }
}

// Whole copies: every format, every scaling mode, with and without the chroma
// options, odd sizes and a bottom-up destination, through one context per
// SIMD instruction set, each carrying its dither from copy to copy.
TEST(SimdKernels, CopiesMatchThePortableReference) {
  const std::vector<uint32_t> paths = test::SimdPaths();
  std::vector<ConversionContext> contexts(paths.begin(), paths.end());
  std::mt19937 rng(99);
  const uint32_t kSizes[][2] = {{1, 1}, {7, 3}, {8, 2}, {13, 5}, {33, 9}, {70, 4}};
  for (const auto& size : kSizes) {
    const test::Picture planes = test::RandomPicture(size[0], size[1], true, rng);
    for (uint32_t format = 0; format < PIXFMT_COUNT; ++format) {
      for (uint32_t mode = 0; mode < 8; ++mode) {
        const uint32_t options[] = {0, COPY_SWAP_CHROMA, COPY_GRAYSCALE, COPY_SHOW_ALPHA};
        const uint32_t flags = format | CopyScaleFlags(mode) | options[rng() % 4];
        const bool negative = rng() & 1;
        const uint32_t w = size[0] * (mode >= 3 && mode <= 5 ? 2 : 1);
        const uint32_t h = size[1] * (mode >= 1 && mode <= 5 && mode != 3 ? 2 : 1);
        const int32_t pitch = static_cast<int32_t>(w * PixelFormatBytes(format) + rng() % 5);
        const size_t bytes = size_t(pitch) * h * 2;
        std::vector<uint8_t> want;
        for (size_t i = 0; i < contexts.size(); ++i) {
          Destination d(bytes);
          test::Convert(contexts[i], planes.Source(flags), d.data(), negative ? -pitch : pitch,
                        static_cast<int32_t>(h));
          ASSERT_TRUE(d.GuardsIntact());
          if (want.empty()) {
            want = d.Values();
          } else {
            ASSERT_EQ(d.Values(), want)
                << "format " << format << " mode " << mode << " size " << size[0] << "x" << size[1]
                << " kernels " << contexts[i].kernels->name << " flags " << std::hex << flags;
          }
        }
      }
    }
  }
}

// A whole copy may take another route than a copy of changed blocks (YV12
// goes plane by plane): with every block changed both must write the same
// bytes, in every format and scaling mode, on the table path and each SIMD one.
TEST(SimdKernels, WholeCopiesMatchCopiesOfEveryBlock) {
  std::vector<uint32_t> paths = test::SimdPaths();
  paths.push_back(test::kTablePath);
  std::mt19937 rng(5);
  const uint32_t kSizes[][2] = {{1, 1}, {9, 3}, {33, 17}, {64, 32}, {75, 35}};
  for (const uint32_t path : paths) {
    ConversionContext whole(path), blocks(path);
    for (const auto& size : kSizes) {
      test::Picture planes = test::RandomPicture(size[0], size[1], true, rng);
      test::Picture mapped = planes;
      mapped.map_stride = (size[0] + 15) / 16;
      mapped.map.assign(size_t{mapped.map_stride} * ((size[1] + 15) / 16), 1);
      for (uint32_t format = 0; format < PIXFMT_COUNT; ++format) {
        for (uint32_t mode = 0; mode < 8; ++mode) {
          const uint32_t options[] = {0, COPY_SWAP_CHROMA, COPY_GRAYSCALE, COPY_SHOW_ALPHA};
          const uint32_t flags = format | CopyScaleFlags(mode) | options[rng() % 4];
          const uint32_t w = size[0] * (mode >= 3 && mode <= 5 ? 2 : 1);
          // Destinations of fewer rows than the copy too (the copy is cut short).
          const uint32_t h = size[1] * (mode >= 1 && mode <= 5 && mode != 3 ? 2 : 1) - rng() % 2;
          const int32_t pitch = static_cast<int32_t>(w * PixelFormatBytes(format) + rng() % 5);
          const int32_t signed_pitch = rng() & 1 ? -pitch : pitch;
          Destination a(size_t(pitch) * h * 2), b(size_t(pitch) * h * 2);
          test::Convert(whole, planes.Source(flags), a.data(), signed_pitch,
                        static_cast<int32_t>(h));
          test::Convert(blocks, mapped.Source(flags), b.data(), signed_pitch,
                        static_cast<int32_t>(h));
          ASSERT_TRUE(a.GuardsIntact());
          ASSERT_TRUE(b.GuardsIntact());
          ASSERT_EQ(a.Values(), b.Values())
              << "format " << format << " mode " << mode << " size " << size[0] << "x" << size[1]
              << " path " << path << " flags " << std::hex << flags;
        }
      }
    }
  }
}

// The 24-bit formats are written directly, not staged as 32-bit pixels: each
// pixel must still be the 32-bit format's pixel without its top byte, in every
// scaling mode, whole or by changed blocks, and the rest of each row untouched.
TEST(SimdKernels, TwentyFourBitPixelsAreThoseOf32BitWithoutTheTopByte) {
  std::mt19937 rng(7);
  const uint32_t kSizes[][2] = {{1, 1}, {7, 3}, {13, 5}, {70, 4}, {131, 37}};
  const uint32_t kPairs[][2] = {{PIXFMT_24, PIXFMT_32}, {PIXFMT_24R, PIXFMT_32R}};
  for (const uint32_t path : test::SimdPaths()) {
    ConversionContext narrow(path), wide(path);
    for (const auto& size : kSizes) {
      test::Picture planes = test::RandomPicture(size[0], size[1], false, rng);
      for (uint32_t mode = 0; mode < 8; ++mode) {
        for (const auto& pair : kPairs) {
          const bool by_blocks = rng() & 1;
          planes.map_stride = by_blocks ? (size[0] + 15) / 16 : 0;
          planes.map.assign(size_t{planes.map_stride} * ((size[1] + 15) / 16), 0);
          for (uint8_t& block : planes.map) block = rng() & 1;
          const uint32_t options[] = {0, COPY_SWAP_CHROMA, COPY_GRAYSCALE};
          const uint32_t flags = CopyScaleFlags(mode) | options[rng() % 3];
          const bool negative = rng() & 1;
          const uint32_t w = size[0] * (mode >= 3 && mode <= 5 ? 2 : 1);
          const uint32_t h = size[1] * (mode >= 1 && mode <= 5 && mode != 3 ? 2 : 1);
          const int32_t pitch24 = static_cast<int32_t>(3 * w + rng() % 5);
          const int32_t pitch32 = static_cast<int32_t>(4 * w);
          Destination d24(size_t(pitch24) * h), d32(size_t(pitch32) * h);
          test::Convert(narrow, planes.Source(pair[0] | flags), d24.data(),
                        negative ? -pitch24 : pitch24, static_cast<int32_t>(h));
          test::Convert(wide, planes.Source(pair[1] | flags), d32.data(),
                        negative ? -pitch32 : pitch32, static_cast<int32_t>(h));
          ASSERT_TRUE(d24.GuardsIntact());
          for (uint32_t row = 0; row < h; ++row) {
            for (uint32_t i = 0; i < static_cast<uint32_t>(pitch24); ++i) {
              const uint8_t want =
                  i < 3 * w ? d32[row * pitch32 + i / 3 * 4 + i % 3] : Destination::kFill;
              ASSERT_EQ(d24[row * pitch24 + i], want)
                  << "format " << pair[0] << " mode " << mode << " size " << size[0] << "x"
                  << size[1] << " row " << row << " byte " << i << " kernels "
                  << narrow.kernels->name << " flags " << std::hex << flags;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace vexil
