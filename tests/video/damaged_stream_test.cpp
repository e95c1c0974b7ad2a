// Damaged data: random bytes, truncated and bit-flipped planes, and all-ones
// streams decode without any access outside the buffers (run these under
// AddressSanitizer). The buffers are allocated to their exact sizes.
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

// A valid plane of mixed content to damage.
std::vector<uint8_t> ValidPlane(uint32_t w, uint32_t h, uint32_t seed) {
  std::mt19937 rng(seed);
  PlaneBuilderOptions o;
  o.width = w;
  o.height = h;
  PlaneBuilder b(o);
  while (!b.done()) {
    switch (rng() % 7) {
      case 0:
        b.Skip();
        break;
      case 1:
        b.Motion(static_cast<int>(rng() % 31) - 15, static_cast<int>(rng() % 31) - 15);
        break;
      case 2:
        b.Fill(static_cast<uint8_t>(rng()));
        break;
      case 3: {
        DctBlockCode d;
        d.dc = static_cast<int32_t>(rng() % 2048);
        d.by_scan[1 + rng() % 63] = 50;
        b.Intra(d);
        break;
      }
      case 4: {
        uint8_t raw[64];
        for (auto& c : raw) c = static_cast<uint8_t>(rng());
        b.Raw(raw);
        break;
      }
      case 5:
        b.ScaledFill(static_cast<uint8_t>(rng()));
        break;
      default: {
        ResidueBlockCode r;
        r.by_scan[rng() % 64] = 90;
        b.Residue(0, -1, r);
        break;
      }
    }
  }
  return b.Finish();
}

DecodeSetup DamagedSetup(uint32_t w, uint32_t h, uint32_t round) {
  DecodeSetup s;
  s.width = w;
  s.height = h;
  s.pitch = w + (round % 3) * 8;
  s.old_revision = round % 2;
  s.map_step = round % 3;
  s.cpu_features = round % 2 ? CpuFeatures() : 0;
  s.misalign = round % 4;
  return s;
}

TEST(DamagedStreams, RandomBytesDecodeSafely) {
  std::mt19937 rng(77);
  const std::pair<uint32_t, uint32_t> sizes[] = {{8, 8}, {16, 24}, {40, 40}, {64, 48}, {120, 32}};
  for (uint32_t round = 0; round < 600; ++round) {
    auto [w, h] = sizes[round % std::size(sizes)];
    const size_t n = rng() % 3000;
    std::vector<uint8_t> bytes = test::RandomBytes(rng, n);
    // Bias some streams towards long valid-looking chunks and fills.
    if (round % 5 == 0)
      for (size_t i = 0; i < n; i += 2) bytes[i] = 0xFF;
    DecodeSetup s = DamagedSetup(w, h, round);
    const auto reference = test::RandomBytes(rng, size_t{s.pitch} * h);
    const auto r = DecodeStream(s, bytes, reference, reference);
    EXPECT_LE(r.end_offset, static_cast<ptrdiff_t>(n + 4));
  }
}

TEST(DamagedStreams, TruncatedPlanesDecodeSafely) {
  for (uint32_t seed = 0; seed < 6; ++seed) {
    const uint32_t w = 24 + 16 * seed, h = 40;
    const auto plane = ValidPlane(w, h, seed);
    ASSERT_FALSE(plane.empty());
    std::vector<uint8_t> reference(size_t{w} * h, 9);
    for (size_t cut = 0; cut <= plane.size(); cut += 1 + cut / 16) {
      const std::vector<uint8_t> head(plane.begin(), plane.begin() + static_cast<ptrdiff_t>(cut));
      DecodeSetup s = DamagedSetup(w, h, static_cast<uint32_t>(cut));
      s.pitch = w;
      const auto r = DecodeStream(s, head, reference, reference);
      EXPECT_LE(r.end_offset, static_cast<ptrdiff_t>(cut + 4));
    }
  }
}

TEST(DamagedStreams, BitFlippedPlanesDecodeSafely) {
  std::mt19937 rng(5);
  for (uint32_t round = 0; round < 400; ++round) {
    const uint32_t w = 16 + 8 * (round % 9), h = 16 + 8 * (round % 4);
    auto plane = ValidPlane(w, h, round);
    ASSERT_FALSE(plane.empty());
    for (int flips = 1 + round % 4; flips > 0; --flips)
      plane[rng() % plane.size()] ^= 1u << (rng() % 8);
    DecodeSetup s = DamagedSetup(w, h, round);
    std::vector<uint8_t> reference = test::RandomBytes(rng, size_t{s.pitch} * h);
    DecodeStream(s, plane, reference, reference);
  }
}

TEST(DamagedStreams, AllOnesAndAllZerosStreams) {
  for (uint8_t fill : {0x00, 0xFF}) {
    for (uint32_t round = 0; round < 8; ++round) {
      DecodeSetup s = DamagedSetup(32 + 32 * round, 24, round);
      std::vector<uint8_t> bytes(4096, fill);
      std::vector<uint8_t> reference(size_t{s.pitch} * s.height, 1);
      DecodeStream(s, bytes, reference, reference);
    }
  }
}

TEST(DamagedStreams, DataEndBeforeTheReadableEndStopsTheBlocks) {
  // The stream says more than the data end allows: once the reader is at or
  // past the data end, the remaining positions keep what the buffer held.
  const auto plane = ValidPlane(64, 64, 3);
  DecodeSetup s;
  s.width = 64;
  s.height = 64;
  s.trailing_bytes = 0;
  std::vector<uint8_t> reference(64 * 64, 9), destination(64 * 64, 0xAB);
  const std::vector<uint8_t> head(plane.begin(), plane.begin() + 16);
  const auto r = DecodeStream(s, head, reference, destination);
  EXPECT_EQ(r.destination[64 * 64 - 1], 0xAB);
  EXPECT_LE(r.end_offset, 20);
}

}  // namespace
}  // namespace vexil
