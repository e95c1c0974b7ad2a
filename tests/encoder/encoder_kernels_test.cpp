// The encoder's building blocks: the kernel sets (chosen by the processor,
// each against the portable one), the transform pieces against the decoder's own transform, the
// residue trace against the residue writer, the bit writer, the motion search.
#include "encoder/encoder_kernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "encoder/bit_writer.h"
#include "encoder/coefficient_encoder.h"
#include "encoder/forward_dct.h"
#include "encoder/motion_search.h"
#include "kernel_test_util.h"
#include "platform/cpu.h"
#include "video/idct.h"
#include "video/quantizer_tables.h"

namespace vexil {
namespace {

TEST(EncoderKernels, TheFeatureWordChoosesTheSet) {
  test::ExpectKernelChoice(EncoderKernelSets(), SelectEncoderKernels);
}

TEST(EncoderKernels, EverySetAgreesBitExactlyWithThePortableOne) {
  const EncoderKernels& reference = *EncoderKernelSets().front().kernels;
  for (const EncoderKernels* k : test::RunnableKernelSets(EncoderKernelSets())) {
    SCOPED_TRACE(k->name);
    std::mt19937 rng(1);
    std::vector<uint8_t> a(40 * 40), b(40 * 40);
    for (int round = 0; round < 2000; ++round) {
      // Extremes as well as random samples.
      const int kind = round % 3;
      for (auto& v : a) v = kind == 0 ? 0 : kind == 1 ? static_cast<uint8_t>(rng()) : 255;
      for (auto& v : b) v = kind == 0 ? 255 : static_cast<uint8_t>(rng());
      const uint32_t pa = 8 + rng() % 32, pb = 8 + rng() % 32;
      const uint8_t* x = a.data() + rng() % 5;
      const uint8_t* y = b.data() + rng() % 5;
      ASSERT_EQ(k->sad8x8(x, pa, y, pb), reference.sad8x8(x, pa, y, pb));
      ASSERT_EQ(k->sse8x8(x, pa, y, pb), reference.sse8x8(x, pa, y, pb));
    }
    std::vector<uint8_t> zero(64, 0), full(64, 255);
    EXPECT_EQ(k->sse8x8(zero.data(), 8, full.data(), 8), 64u * 255 * 255);
    EXPECT_EQ(k->sad8x8(zero.data(), 8, full.data(), 8), 64u * 255);
    // The transform: samples and residues of every size, the same floats.
    for (int round = 0; round < 2000; ++round) {
      const float range = round % 2 ? 255.0f : 510.0f;
      float in[64];
      for (float& v : in) v = std::floor(static_cast<float>(rng()) / 4294967296.0f * range);
      if (round % 2 == 0)
        for (float& v : in) v -= 255.0f;
      test::Guarded<float> want(64), got(64);
      reference.forward_dct(in, want.data());
      k->forward_dct(in, got.data());
      ASSERT_TRUE(got.GuardsIntact()) << round;
      ASSERT_EQ(got.Values(), want.Values()) << round;
    }
    // The quantizer: transforms of samples and residues at every row of both
    // tables, values at the limits, and both roundings; the same
    // coefficients, the same error to the last bit and the same shape.
    for (int round = 0; round < 4000; ++round) {
      const DctTable table = round % 2 ? DCT_INTER : DCT_INTRA;
      const DctRowByScan& row = DctRowTables(table, static_cast<uint32_t>(round / 2) % 16);
      float in[64], f[64];
      for (float& v : in) v = std::floor(static_cast<float>(rng() % 511)) - 255.0f;
      reference.forward_dct(in, f);
      if (round % 7 == 0) f[rng() % 64] = (round % 3 ? 1 : -1) * 1e6f;  // beyond the limit
      if (round % 5 == 0) f[rng() % 64] = -0.0f;
      const float rounding = round % 4 < 2 ? 0.36f : 0.2f;
      test::Guarded<int16_t> want(64), got(64);
      QuantizedShape want_shape, got_shape;
      const float want_error = reference.quantize(f, row.scale, row.step, row.ceiling, rounding,
                                                  want.data(), &want_shape);
      const float got_error =
          k->quantize(f, row.scale, row.step, row.ceiling, rounding, got.data(), &got_shape);
      ASSERT_TRUE(got.GuardsIntact()) << round;
      ASSERT_EQ(got.Values(), want.Values()) << round;
      ASSERT_EQ(std::bit_cast<uint32_t>(got_error), std::bit_cast<uint32_t>(want_error)) << round;
      ASSERT_EQ(0, std::memcmp(got_shape.group, want_shape.group, sizeof(got_shape.group)));
      ASSERT_EQ(got_shape.nonzero, want_shape.nonzero) << round;
      ASSERT_EQ(got_shape.ones, want_shape.ones) << round;
    }
  }
}

TEST(EncoderKernels, QuantizeRoundsTowardZeroAfterTheOffsetAndStopsAtTheLimit) {
  // Unit scales and steps make the values the coefficients themselves.
  float f[64], ones[64], limit[64];
  for (int p = 0; p < 64; ++p) {
    ones[p] = 1;
    limit[p] = 40;
    f[p] = static_cast<float>(p - 32) * 0.75f;
  }
  f[5] = 100;
  f[6] = -100;
  int16_t out[64];
  QuantizedShape shape;
  const float error = QuantizeReference(f, ones, ones, limit, 0.25f, out, &shape);
  float want_error = 0;
  QuantizedShape want_shape{};
  for (int p = 0; p < 64; ++p) {
    const float m = std::min(std::floor(std::fabs(f[p]) + 0.25f), 40.0f);
    EXPECT_EQ(out[p], f[p] < 0 ? -m : m) << p;
    if (p) want_error += (std::fabs(f[p]) - m) * (std::fabs(f[p]) - m);
    want_shape.group[p / 4] |= static_cast<uint32_t>(m);
    want_shape.nonzero |= uint64_t{m != 0} << p;
    want_shape.ones |= uint64_t{m == 1} << p;
  }
  EXPECT_EQ(0, std::memcmp(shape.group, want_shape.group, sizeof(shape.group)));
  EXPECT_EQ(shape.nonzero, want_shape.nonzero);
  EXPECT_EQ(shape.ones, want_shape.ones);
  EXPECT_EQ(out[5], 40);
  EXPECT_EQ(out[6], -40);
  EXPECT_NEAR(error, want_error, 1e-3);
}

TEST(ForwardDct, ScalesTurnTheDecodersBasisBackIntoItsCoefficient) {
  // One coefficient through the decoder's inverse, then the forward DCT and
  // the scale: the coefficient comes back (up to the output rounding) and the
  // other positions stay near zero.
  for (DctTable table : {DCT_INTRA, DCT_INTER}) {
    for (uint32_t q : {0u, 4u, 9u, 15u}) {
      const float* scale = DctCoefficientScale(table, q);
      const uint32_t* quant = (table == DCT_INTRA ? kIntraQuant : kInterQuant)[q];
      for (int p = 0; p < 64; ++p) {
        int16_t block[64] = {};
        // A coefficient worth an orthonormal 200: samples of ordinary size.
        const int16_t value = static_cast<int16_t>(std::max(1L, std::lround(200 * scale[p])));
        block[p] = value;
        int32_t samples[64];
        IdctUnwrapped(block, quant, samples);
        float in[64], out[64];
        for (int i = 0; i < 64; ++i) in[i] = static_cast<float>(samples[i]);
        ForwardDctReference(in, out);
        for (int i = 0; i < 64; ++i) {
          const float expected = i == p ? value : 0.0f;
          // Rounding moves each sample by at most a half, so an orthonormal
          // coefficient by at most 8 x 0.5.
          ASSERT_NEAR(out[i] * scale[i], expected, 4.01 * scale[i])
              << "table " << table << " q " << q << " position " << p << " at " << i;
        }
      }
    }
  }
}

TEST(ForwardDct, LimitsKeepTheDequantizingProductInThirtyTwoBits) {
  for (DctTable table : {DCT_INTRA, DCT_INTER}) {
    for (uint32_t q = 0; q < 16; ++q) {
      const uint32_t* quant = (table == DCT_INTRA ? kIntraQuant : kInterQuant)[q];
      for (int p = 0; p < 64; ++p) {
        const int64_t limit = DctCoefficientLimits(table, q)[p];
        EXPECT_LE(limit * quant[p], int64_t{INT32_MAX});
        EXPECT_TRUE(limit == 32767 || (limit + 1) * quant[p] > int64_t{INT32_MAX});
      }
    }
  }
}

TEST(ResidueTrace, MatchesTheWriterAtEveryLimit) {
  std::mt19937 rng(3);
  for (int round = 0; round < 500; ++round) {
    int16_t by_scan[64] = {};
    const int count = rng() % 30;
    for (int i = 0; i < count; ++i)
      by_scan[rng() % 64] = static_cast<int16_t>(int(rng() % 256) - 128);
    uint32_t limits[4];
    uint32_t at = rng() % 20;
    for (uint32_t& l : limits) {
      l = std::min(at, 127u);
      at += rng() % 40;
    }
    uint32_t bits[4];
    int8_t traced[4][64];
    TraceResidue(by_scan, limits, 4, bits, traced);
    for (int i = 0; i < 4; ++i) {
      BitWriter w;
      int8_t written[64];
      WriteResidue(w, by_scan, limits[i], written);
      ASSERT_EQ(w.bit_count(), bits[i]) << "limit " << limits[i];
      ASSERT_EQ(0, std::memcmp(written, traced[i], 64));
    }
  }
}

TEST(CoefficientBits, CountsWhatTheWriterWrites) {
  // Blocks as the transform gives them (a few large values at the start and
  // a sparse tail), dense and empty ones, single values anywhere, and every
  // magnitude up to the largest a coefficient can take.
  std::mt19937 rng(5);
  for (int round = 0; round < 20000; ++round) {
    int16_t by_scan[64] = {};
    const int kind = round % 4;
    const int reach = kind == 0 ? 64 : 1 + static_cast<int>(rng() % 63);
    const int count = kind == 1 ? 1 : static_cast<int>(rng() % 65);
    const uint32_t magnitude = 1u << (rng() % 16);
    for (int i = 0; i < count; ++i) {
      const int k = kind == 3 ? std::min(63, static_cast<int>(rng() % 8 + rng() % reach))
                              : static_cast<int>(rng() % reach);
      by_scan[k] = static_cast<int16_t>(static_cast<int32_t>(rng() % (2 * magnitude)) -
                                        static_cast<int32_t>(magnitude));
    }
    if (round == 1) by_scan[63] = 32767;
    if (round == 2) by_scan[1] = -32767;
    BitWriter w;
    ASSERT_TRUE(WriteCoefficients(w, by_scan));
    ASSERT_EQ(CoefficientBits(by_scan), w.bit_count()) << "round " << round;
  }
}

TEST(BitWriter, PacksLeastSignificantFirstInWholeWords) {
  std::mt19937 rng(4);
  for (int round = 0; round < 200; ++round) {
    BitWriter w, counter(true), joined;
    std::vector<bool> bits;
    BitWriter halves[2];
    const int puts = rng() % 60;
    for (int i = 0; i < puts; ++i) {
      const uint32_t n = rng() % 33, v = static_cast<uint32_t>(rng());
      w.Put(v, n);
      counter.Put(v, n);
      halves[i * 2 >= puts].Put(v, n);
      for (uint32_t k = 0; k < n; ++k) bits.push_back((v >> k) & 1);
    }
    joined.Append(halves[0]);
    joined.Append(halves[1]);
    ASSERT_EQ(w.bit_count(), bits.size());
    ASSERT_EQ(counter.bit_count(), bits.size());
    const std::vector<uint8_t> bytes = w.bytes();
    ASSERT_EQ(bytes.size(), (bits.size() + 7) / 8);
    for (size_t i = 0; i < bits.size(); ++i) ASSERT_EQ((bytes[i / 8] >> (i % 8)) & 1, bits[i]);
    ASSERT_EQ(joined.bytes(), bytes);
    w.PadToWord();
    EXPECT_EQ(w.bit_count() % 32, 0u);
    EXPECT_EQ(w.bytes().size() % 4, 0u);
  }
}

TEST(MotionSearch, FindsAShiftedPictureAndStaysInsideThePlane) {
  const uint32_t w = 64, h = 48;
  std::vector<uint8_t> reference(w * h), source(w * h);
  // Smooth, so the cost falls towards the true vector; with a little detail.
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      reference[y * w + x] = static_cast<uint8_t>(128 + 50 * std::sin(x * 0.21) +
                                                  50 * std::cos(y * 0.17) + (x * 7 + y * 3) % 5);
  // The source is the reference moved right by 3 and up by 2.
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      source[y * w + x] = reference[std::min(y + 2, h - 1) * w + (x >= 3 ? x - 3 : 0)];
  RateModel rate;
  MotionSearchSetup s;
  s.source = source.data();
  s.reference = reference.data();
  s.width = w;
  s.height = h;
  s.lambda = 1;
  s.rate = &rate;
  s.kernels = &SelectEncoderKernels(CpuFeatures());
  const MotionVector wild[] = {{15, 15}, {-15, -15}, {127, -128}, {-3, 2}};
  for (uint32_t y = 0; y + 8 <= h; y += 8) {
    for (uint32_t x = 0; x + 8 <= w; x += 8) {
      const MotionVector mv = SearchMotion(s, x, y, wild, 4);
      EXPECT_TRUE(MotionInside(s, x, y, mv));
      if (x >= 8 && y + 16 <= h) {
        EXPECT_EQ(mv, (MotionVector{-3, 2})) << x << "," << y;
      }
    }
  }
  // Without the right vector among the predictions the search still gets there.
  const MotionVector mv = SearchMotion(s, 24, 16, nullptr, 0);
  EXPECT_EQ(mv, (MotionVector{-3, 2}));
}

}  // namespace
}  // namespace vexil
