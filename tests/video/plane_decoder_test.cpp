// Whole planes built with the encoder tooling: every block type and scaled
// sub-type on awkward plane sizes, the edge rules, motion at the ends of its
// linear range, the map and skip count, and the returned end address.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "encoder/plane_builder.h"
#include "platform/cpu.h"
#include "video/plane_test_util.h"

namespace vexil {
namespace {

using test::DecodeSetup;
using test::DecodeStream;
using test::PlaneResult;

RunBlockCode RandomRun(std::mt19937& rng, bool old_revision, bool may_stop_early) {
  auto colour = [&] { return static_cast<uint8_t>(old_revision ? 1 + rng() % 255 : rng()); };
  RunBlockCode run;
  run.scan = static_cast<uint8_t>(rng() % 16);
  uint32_t filled = 0;
  while (filled < 63) {
    RunSegment seg;
    seg.run = static_cast<uint8_t>(rng() % 16);
    if (may_stop_early && rng() % 20 == 0) {
      seg.run = 15;
      if (seg.run + 1u > 64 - filled) {
        run.segments.push_back(seg);
        break;
      }
    }
    if (seg.run + 1u > 64 - filled) seg.run = static_cast<uint8_t>(64 - filled - 1);
    seg.one_colour = rng() % 2;
    for (uint32_t i = 0; i < (seg.one_colour ? 1u : seg.run + 1u); ++i)
      seg.colours.push_back(colour());
    filled += seg.run + 1u;
    run.segments.push_back(seg);
  }
  run.last_colour = colour();
  return run;
}

DctBlockCode RandomDct(std::mt19937& rng, bool intra) {
  DctBlockCode b;
  b.dc = intra ? static_cast<int32_t>(rng() % 2048) : static_cast<int32_t>(rng() % 2047) - 1023;
  b.quantizer = static_cast<uint8_t>(rng() % 16);
  const int count = static_cast<int>(rng() % 12);
  for (int i = 0; i < count; ++i)
    b.by_scan[1 + rng() % 63] = static_cast<int16_t>(static_cast<int>(rng() % 401) - 200);
  return b;
}

// Fills a plane with random blocks of every kind. Scaled blocks are followed
// by their odd-row code most of the time.
void AddRandomBlocks(PlaneBuilder& b, std::mt19937& rng, bool old_revision) {
  auto colour = [&] { return static_cast<uint8_t>(old_revision ? 1 + rng() % 255 : rng()); };
  while (!b.done()) {
    const int kind = static_cast<int>(rng() % 22);
    const int dx = static_cast<int>(rng() % 31) - 15, dy = static_cast<int>(rng() % 31) - 15;
    uint8_t raw[64];
    for (auto& c : raw) c = colour();
    PatternBlockCode pattern;
    pattern.c0 = colour();
    pattern.c1 = colour();
    for (auto& r : pattern.rows) r = static_cast<uint8_t>(rng());
    if (b.odd_row() && kind < 8) {
      b.Scaled();
      continue;
    }
    switch (kind) {
      case 0:
        b.Skip();
        break;
      case 1:
        b.Motion(dx, dy);
        break;
      case 2:
        b.Run(RandomRun(rng, old_revision, true));
        break;
      case 3: {
        ResidueBlockCode r;
        for (auto& v : r.by_scan)
          v = rng() % 4 ? 0 : static_cast<int16_t>(static_cast<int>(rng() % 511) - 255);
        r.limit = static_cast<uint8_t>(rng() % 128);
        b.Residue(dx, dy, r);
        break;
      }
      case 4:
        b.Intra(RandomDct(rng, true));
        break;
      case 5:
        b.Fill(colour());
        break;
      case 6:
        b.Inter(dx, dy, RandomDct(rng, false));
        break;
      case 7:
        b.Pattern(pattern);
        break;
      case 8:
        b.Raw(raw);
        break;
      case 9:
        b.Pass(static_cast<uint8_t>(10 + rng() % 2));
        break;
      case 10:
        b.ScaledRun(RandomRun(rng, old_revision, true));
        break;
      case 11:
        b.ScaledIntra(RandomDct(rng, true));
        break;
      case 12:
        b.ScaledFill(colour());
        break;
      case 13:
        b.ScaledPattern(pattern);
        break;
      case 14:
        b.ScaledRaw(raw);
        break;
      case 15: {
        static constexpr uint8_t kNoContent[] = {0, 1, 2, 4, 7, 10, 11};  // 12..15 only in fills
        b.Scaled(kNoContent[rng() % std::size(kNoContent)]);
        break;
      }
      default:
        b.Motion(0, 0);
        break;
    }
  }
}

std::vector<uint8_t> Noise(std::mt19937& rng, size_t n) {
  return test::RandomBytes(rng, n);
}

struct Size {
  uint32_t width, height, pitch;
};

class RandomPlanes : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RandomPlanes, DecodeToTheBuildersPictureMapAndSkipCount) {
  const Size sizes[] = {{8, 8, 8},    {8, 24, 8},   {16, 8, 16},  {24, 24, 32},   {40, 8, 40},
                        {40, 40, 48}, {56, 24, 64}, {72, 56, 72}, {128, 88, 144}, {16, 48, 16}};
  std::mt19937 rng(GetParam() * 7919 + 1);
  for (int round = 0; round < 120; ++round) {
    const Size size = sizes[round % std::size(sizes)];
    const bool old_revision = round % 3 == 0;
    const uint32_t map_step = round % 4 == 3 ? 2 : round % 5 == 4 ? 0 : 1;
    PlaneBuilderOptions o;
    o.width = size.width;
    o.height = size.height;
    o.pitch = size.pitch;
    o.old_revision = old_revision;
    o.map_step = map_step;
    const auto reference = Noise(rng, size_t{size.pitch} * size.height);
    const auto destination = Noise(rng, size_t{size.pitch} * size.height);
    PlaneBuilder b(o, reference, destination);
    AddRandomBlocks(b, rng, old_revision);
    const auto stream = b.Finish();
    ASSERT_FALSE(stream.empty()) << b.error();
    DecodeSetup s;
    s.width = size.width;
    s.height = size.height;
    s.pitch = size.pitch;
    s.old_revision = old_revision;
    s.map_step = map_step;
    s.cpu_features = GetParam() ? CpuFeatures() : 0;
    s.misalign = round % 4;
    s.trailing_bytes = round % 2 ? 64 : 0;
    const PlaneResult r = DecodeStream(s, stream, reference, destination);
    ASSERT_EQ(r.destination, b.expected()) << "round " << round;
    ASSERT_EQ(r.skip_count, b.expected_skip_count()) << "round " << round;
    if (map_step) {
      ASSERT_EQ(r.map, b.expected_map()) << "round " << round;
    }
    ASSERT_EQ(r.end_offset, static_cast<ptrdiff_t>(stream.size())) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, RandomPlanes, ::testing::Values(0u, 1u),
                         [](const auto& info) { return info.param ? "Native" : "Portable"; });

// Builds a plane with `blocks`, decodes it and checks picture, map and count.
template <typename Blocks>
PlaneResult BuildAndDecode(const PlaneBuilderOptions& o, Blocks blocks,
                           std::vector<uint8_t> reference = {},
                           std::vector<uint8_t> destination = {}) {
  const size_t bytes = size_t{o.pitch ? o.pitch : o.width} * o.height;
  if (reference.empty()) {
    reference.resize(bytes);
    for (size_t i = 0; i < bytes; ++i) reference[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  if (destination.empty()) destination.assign(bytes, 0xD5);
  PlaneBuilder b(o, reference, destination);
  blocks(b);
  const auto stream = b.Finish();
  EXPECT_FALSE(stream.empty()) << b.error();
  DecodeSetup s;
  s.width = o.width;
  s.height = o.height;
  s.pitch = o.pitch;
  s.old_revision = o.old_revision;
  s.map_step = o.map_step;
  const PlaneResult r = DecodeStream(s, stream, reference, destination);
  EXPECT_EQ(r.destination, b.expected());
  EXPECT_EQ(r.skip_count, b.expected_skip_count());
  EXPECT_EQ(r.map, b.expected_map());
  return r;
}

PlaneBuilderOptions Options(uint32_t width, uint32_t height, uint32_t pitch = 0) {
  PlaneBuilderOptions o;
  o.width = width;
  o.height = height;
  o.pitch = pitch;
  return o;
}

TEST(PlaneDecoder, ScaledCodeOnAPlaneEightWideCoversEightPixelsAndWritesNothing) {
  const PlaneResult r = BuildAndDecode(Options(8, 16), [](PlaneBuilder& b) {
    b.Scaled(6);  // no sub-type is taken: the fill below gets the first colour
    b.Fill(77);
  });
  for (int i = 0; i < 64; ++i) EXPECT_EQ(r.destination[i], 0xD5);
  for (int i = 64; i < 128; ++i) EXPECT_EQ(r.destination[i], 77);
  EXPECT_EQ(r.map[0], 1);
}

TEST(PlaneDecoder, ScaledBlockInTheLastOddBlockRowTakesItsSubTypeAndWritesNothing) {
  // Three block rows: the third (y = 16) has fewer than 16 rows below it.
  const PlaneResult r = BuildAndDecode(Options(32, 24), [](PlaneBuilder& b) {
    for (int i = 0; i < 4; ++i) b.Skip();
    for (int i = 0; i < 4; ++i) b.Skip();
    b.ScaledFill(9);   // taken, too short: advances 8
    b.Scaled(6);       // taken, too short
    b.ScaledFill(10);  // remaining 16: taken, too short
    b.Fill(200);
  });
  for (int y = 16; y < 24; ++y) {
    for (int x = 0; x < 24; ++x) EXPECT_EQ(r.destination[32 * y + x], 0xD5);
    for (int x = 24; x < 32; ++x) EXPECT_EQ(r.destination[32 * y + x], 200);
  }
}

TEST(PlaneDecoder, EveryScaledSubTypeDoublesItsContent) {
  std::mt19937 rng(4);
  uint8_t raw[64];
  for (auto& c : raw) c = static_cast<uint8_t>(rng());
  PatternBlockCode p{10, 200, {0x01, 0x80, 0xFF, 0, 0x0F, 0xF0, 0x55, 0xAA}};
  BuildAndDecode(Options(48, 32), [&](PlaneBuilder& b) {
    b.ScaledRun(RandomRun(rng, false, false));
    b.ScaledIntra(RandomDct(rng, true));
    b.ScaledFill(33);
    for (int i = 0; i < 3; ++i) b.Scaled();  // odd row: 16 pixels each, nothing taken
    b.ScaledPattern(p);
    b.ScaledRaw(raw);
    b.Scaled(2);  // a sub-type without content: 16 pixels, nothing written
    for (int i = 0; i < 3; ++i) b.Scaled();
  });
}

TEST(PlaneDecoder, PatternBitZeroIsTheLeftmostSample) {
  PatternBlockCode p{10, 200, {0x01, 0, 0, 0, 0, 0, 0, 0x80}};
  const PlaneResult r = BuildAndDecode(Options(8, 8), [&](PlaneBuilder& b) { b.Pattern(p); });
  const std::vector<uint8_t> first(r.destination.begin(), r.destination.begin() + 8);
  EXPECT_EQ(first, (std::vector<uint8_t>{200, 10, 10, 10, 10, 10, 10, 10}));
  EXPECT_EQ(r.destination[63], 200);
}

TEST(PlaneDecoder, RunBlocksReaching64TakeNoExtraColourAnd63TakeOne) {
  for (uint32_t total : {63u, 64u}) {
    RunBlockCode run;
    run.scan = 7;
    for (uint32_t filled = 0; filled < total;) {
      const uint32_t len = std::min(16u, total - filled);
      run.segments.push_back({static_cast<uint8_t>(len - 1), true, {static_cast<uint8_t>(filled)}});
      filled += len;
    }
    run.last_colour = 99;
    // The fill after the run takes the next colour: a wrong count would shift it.
    const PlaneResult r = BuildAndDecode(Options(16, 8), [&](PlaneBuilder& b) {
      b.Run(run);
      b.Fill(42);
    });
    EXPECT_EQ(r.destination[8], 42) << total;
    EXPECT_EQ(r.destination[7 * 16 + 0], total == 63 ? 99 : 48)
        << total;  // scan 7 ends at position 56
  }
}

TEST(PlaneDecoder, MotionWithoutOffsetEqualsSkipButMarksAndIsNotCounted) {
  const PlaneResult motion = BuildAndDecode(Options(16, 16), [](PlaneBuilder& b) {
    b.Motion(0, 0);
    b.Skip();
    b.Skip();
    b.Skip();
  });
  EXPECT_EQ(motion.skip_count, 0u);  // all four share one map cell, marked first
  const PlaneResult skip = BuildAndDecode(Options(16, 16), [](PlaneBuilder& b) {
    for (int i = 0; i < 4; ++i) b.Skip();
  });
  EXPECT_EQ(skip.skip_count, 4u);
  EXPECT_EQ(motion.destination, skip.destination);
}

TEST(PlaneDecoder, PassedOverCodesLeaveTheAreaAsTheBufferHeldIt) {
  // Codes 12..15 are run codes in a tree-coded chunk, so they come only in
  // fill chunks: here whole rows of one code.
  const PlaneResult r = BuildAndDecode(Options(48, 24), [](PlaneBuilder& b) {
    for (int i = 0; i < 3; ++i) {
      b.Pass(10);
      b.Pass(11);
    }
    for (int i = 0; i < 6; ++i) b.Pass(13);
    for (int i = 0; i < 6; ++i) b.Pass(15);
  });
  for (uint8_t v : r.destination) EXPECT_EQ(v, 0xD5);
  for (uint8_t v : r.map) EXPECT_EQ(v, 0);
}

TEST(PlaneDecoder, MotionSourcesAtTheEndsOfTheLinearRange) {
  // 24x24 plane in rows of 32 bytes: the range is offsets 0 .. 16 * 32 + 16.
  // A source past a row's right end but inside the range is copied as it lies
  // in memory (from the padding and the next row).
  const auto o = Options(24, 24, 32);
  BuildAndDecode(o, [](PlaneBuilder& b) {
    b.Motion(-1, 0);                              // offset -1: left as it was
    b.Motion(0, -1);                              // -32 + 8: out
    b.Motion(15, 0);                              // 16 + 15 = 31: copies padding columns
    for (int i = 0; i < 3; ++i) b.Motion(8, 15);  // rows 15..22 + 8: in for x <= 8
    b.Motion(0, 0);
    b.Motion(0, 0);
    b.Motion(0, 0);  // offset 528: the last position that fits
  });
  BuildAndDecode(o, [](PlaneBuilder& b) {
    for (int i = 0; i < 8; ++i) b.Skip();
    b.Motion(1, 0);  // 529: out
  });
  BuildAndDecode(o, [](PlaneBuilder& b) {
    for (int i = 0; i < 6; ++i) b.Skip();
    b.Motion(-15, 2);  // row 18, column -15: inside the range, wraps to the row above
    b.Residue(0, 1, ResidueBlockCode{});  // 16 * 32 + 8 + 32 > 528: fields not read
    b.Inter(-9, 0, DctBlockCode{});       // -1 from the previous row's end: in range
  });
}

TEST(PlaneDecoder, OneBufferCopiesSkipOntoItselfAndMotionReadsTheFrameBeingDecoded) {
  // With reference == destination the builder's picture does not apply;
  // expected values are worked out here.
  PlaneBuilderOptions o = Options(16, 8);
  PlaneBuilder b(o);
  b.Fill(50);
  b.Motion(-8, 0);
  const auto stream = b.Finish();
  DecodeSetup s;
  s.width = 16;
  s.height = 8;
  s.one_buffer = true;
  std::vector<uint8_t> initial(16 * 8, 3);
  const PlaneResult r = DecodeStream(s, stream, initial, initial);
  for (uint8_t v : r.destination) EXPECT_EQ(v, 50);
  PlaneBuilder skip(o);
  skip.Skip();
  skip.Fill(9);
  const PlaneResult r2 = DecodeStream(s, skip.Finish(), initial, initial);
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(r2.destination[16 * y], 3);
    EXPECT_EQ(r2.destination[16 * y + 8], 9);
  }
}

TEST(PlaneDecoder, ChromaMapStepMarksOneCellPerEightPixelColumnAndRow) {
  PlaneBuilderOptions o = Options(32, 16);
  o.map_step = 2;
  const PlaneResult r = BuildAndDecode(o, [](PlaneBuilder& b) {
    b.Skip();
    b.Fill(1);
    b.Skip();
    b.ScaledFill(0);  // x = 24: 8 columns left, covers 8 pixels
    b.Scaled();       // odd row, x = 0: 16 pixels, both cells
    b.Skip();
    b.Skip();
  });
  EXPECT_EQ(r.map, (std::vector<uint8_t>{0, 1, 0, 1, 1, 1, 0, 0}));
}

TEST(PlaneDecoder, EmptyPlanesReadOnlyTheirTrees) {
  for (auto [w, h] : {std::pair{0u, 0u}, {0u, 16u}, {16u, 0u}}) {
    PlaneBuilder b(Options(w, h));
    const auto stream = b.Finish();
    ASSERT_FALSE(stream.empty()) << b.error();
    DecodeSetup s;
    s.width = w;
    s.height = h;
    const PlaneResult r = DecodeStream(s, stream, {}, {});
    EXPECT_EQ(r.end_offset, static_cast<ptrdiff_t>(stream.size()));
    EXPECT_EQ(r.skip_count, 0u);
  }
}

}  // namespace
}  // namespace vexil
