// Coefficient and residue readers, quantizer tables, the inverse transform
// and its output modes, and the kernel sets: chosen by the processor, and
// agreeing bit for bit with the portable one.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <sstream>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/coefficient_encoder.h"
#include "kernel_test_util.h"
#include "platform/cpu.h"
#include "video/coefficient_reader.h"
#include "video/idct.h"
#include "video/quantizer_tables.h"
#include "video/scan_tables.h"
#include "video/video_kernels.h"

namespace vexil {
namespace {

struct Stream {
  std::vector<uint8_t> bytes;
  BitReader r;
  explicit Stream(BitWriter w) {
    w.Put(0, 32);
    w.PadToWord();
    bytes = w.bytes();
    r.Start(bytes.data(), bytes.data() + bytes.size());
  }
  uint32_t consumed() const {
    return static_cast<uint32_t>((r.word - reinterpret_cast<uintptr_t>(bytes.data())) * 8) -
           r.count;
  }
};

// The tables from their formula, with the listed entries one larger.
std::vector<uint32_t> Recompute(const int m[64], const char* exceptions) {
  const double scales[16] = {1, 4.0 / 3, 5.0 / 3, 2,  8.0 / 3, 3.5, 4,  5,
                             6, 8,       12,      17, 22,      28,  34, 44};
  double a[8] = {1};
  for (int k = 1; k < 8; ++k) a[k] = std::sqrt(2.0) * std::cos(k * std::numbers::pi / 16);
  std::vector<uint32_t> t(16 * 64);
  for (int q = 0; q < 16; ++q)
    for (int p = 0; p < 64; ++p)
      t[64 * q + p] =
          static_cast<uint32_t>(std::floor(m[p] * a[p / 8] * a[p % 8] * scales[q] * 4096 + 0.5));
  std::istringstream in(exceptions);
  int q, p;
  char slash;
  while (in >> q >> slash >> p) ++t[64 * q + p];
  return t;
}

TEST(QuantizerTables, MatchTheFormulaWithTheListedExceptionsAndTheReferenceValues) {
  const int intra[64] = {16, 16, 16, 19, 16, 19, 22, 22, 22, 22, 26, 24, 26, 22, 22, 27,
                         27, 27, 26, 26, 26, 29, 29, 29, 27, 27, 27, 26, 34, 34, 34, 29,
                         29, 29, 27, 27, 37, 34, 34, 32, 32, 29, 29, 38, 37, 35, 35, 34,
                         35, 40, 40, 40, 38, 38, 48, 48, 46, 46, 58, 56, 56, 69, 69, 83};
  const int inter[64] = {16, 17, 17, 18, 18, 18, 19, 19, 19, 19, 20, 20, 20, 20, 20, 21,
                         21, 21, 21, 21, 21, 22, 22, 22, 22, 22, 22, 22, 23, 23, 23, 23,
                         23, 23, 23, 23, 24, 24, 24, 25, 24, 24, 24, 25, 26, 26, 26, 26,
                         25, 27, 27, 27, 27, 27, 28, 28, 28, 28, 30, 30, 30, 31, 31, 33};
  const auto want_intra = Recompute(
      intra,
      "5/33 6/48 6/53 7/10 7/21 7/42 9/8 9/24 9/35 10/25 10/48 11/2 11/6 11/20 11/24 11/28 11/33 "
      "11/35 12/37 12/40 12/51 12/59 13/2 13/11 13/12 13/20 13/29 13/31 13/48 13/60 14/1 14/10 "
      "14/11 14/17 14/18 14/19 14/21 14/25 14/26 14/29 14/42 15/21 15/42 15/44 15/46 15/48");
  const auto want_inter = Recompute(
      inter,
      "0/18 1/27 3/33 4/34 7/18 8/33 9/34 9/61 10/3 10/37 10/40 11/13 11/16 11/18 11/20 11/25 "
      "11/43 12/14 12/19 12/26 12/30 12/33 13/43 13/48 13/49 14/10 14/19 14/22 14/26 14/33 "
      "14/54 15/12 15/17 15/22 15/25 15/27 15/41 15/55");
  EXPECT_EQ(std::vector<uint32_t>(&kIntraQuant[0][0], &kIntraQuant[0][0] + 1024), want_intra);
  EXPECT_EQ(std::vector<uint32_t>(&kInterQuant[0][0], &kInterQuant[0][0] + 1024), want_inter);
  const uint32_t intra0[8] = {65536, 90901, 85627, 91511, 65536, 61146, 48768, 24862};
  const uint32_t intra15[8] = {2883584, 3999646, 3767584, 4026499,
                               2883584, 2690421, 2145804, 1093921};
  const uint32_t inter0[8] = {65536, 96582, 90979, 86695, 73728, 57928, 42118, 21472};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(kIntraQuant[0][i], intra0[i]);
    EXPECT_EQ(kIntraQuant[15][i], intra15[i]);
    EXPECT_EQ(kInterQuant[0][i], inter0[i]);
  }
  EXPECT_EQ(*std::max_element(&kIntraQuant[0][0], &kIntraQuant[0][0] + 1024), 8818519u);
  EXPECT_EQ(*std::max_element(&kInterQuant[0][0], &kInterQuant[0][0] + 1024), 6858849u);
}

TEST(CoefficientReader, NoPlanesReadsFourBits) {
  BitWriter w;
  w.Put(0, 4);
  w.Put(0xFFFF, 16);
  Stream s(w);
  int16_t block[64] = {};
  ReadCoefficients(s.r, block);
  EXPECT_EQ(s.consumed(), 4u);
  for (int16_t c : block) EXPECT_EQ(c, 0);
}

TEST(CoefficientReader, AGroupHeadIsRevisitedAtOnceAsSplitAndGroup) {
  // One plane (values +-1). Entry 4 (mode 0): flag 1, then coefficients 4..7
  // (flag 0 + sign each); revisited as mode 1 at 8: flag 1 (appends 12, 16,
  // 20); revisited as mode 2 at 8: flag 1, coefficients 8..11 with 9 deferred
  // (flag 1: prepended, not visited in this single pass).
  BitWriter w;
  w.Put(1, 4);
  w.PutBit(1);
  for (int j = 0; j < 4; ++j) w.Put(j % 2 ? 0b10 : 0b00, 2);  // 4:+1 5:-1 6:+1 7:-1
  w.PutBit(1);                                                // mode 1 at 8
  w.PutBit(1);                                                // mode 2 at 8
  w.Put(0b00, 2);                                             // 8: +1
  w.PutBit(1);                                                // 9: deferred
  w.Put(0b10, 2);                                             // 10: -1
  w.Put(0b00, 2);                                             // 11: +1
  for (int i = 0; i < 2 + 3 + 3; ++i) w.PutBit(0);            // 24, 44, 1, 2, 3, 12, 16, 20
  const size_t bits = w.bit_count();
  Stream s(w);
  int16_t block[64] = {};
  ReadCoefficients(s.r, block);
  EXPECT_EQ(s.consumed(), bits);
  const int16_t expect[12] = {0, 0, 0, 0, 1, -1, 1, -1, 1, 0, -1, 1};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(block[kCoefficientScan[k]], expect[k]) << k;
}

TEST(CoefficientReader, ValuesAboveTheLowestPlaneCarryTheirMagnitudeBits) {
  // Two planes. Pass bits=1: entry 1 (mode 3) flag 1, m (1 bit) = 1, sign 1:
  // -(1 + 2) = -3. Everything else 0. Pass bits=0: nothing more.
  BitWriter w;
  w.Put(2, 4);
  w.Put(0, 3);      // 4, 24, 44
  w.Put(0b111, 3);  // 1: flag, m, sign
  w.Put(0, 2);      // 2, 3
  w.Put(0, 5);      // second pass: 4, 24, 44, 2, 3
  const size_t bits = w.bit_count();
  Stream s(w);
  int16_t block[64] = {};
  ReadCoefficients(s.r, block);
  EXPECT_EQ(s.consumed(), bits);
  EXPECT_EQ(block[kCoefficientScan[1]], -3);
}

TEST(CoefficientReader, EncodedBlocksRoundTrip) {
  std::mt19937 rng(5);
  for (int round = 0; round < 2000; ++round) {
    int16_t by_scan[64] = {};
    const int kind = round % 4;
    for (int k = 1; k < 64; ++k) {
      if (kind == 0 && rng() % 8) continue;  // sparse
      int32_t limit = kind == 3 ? 32767 : kind == 2 ? 300 : 20;
      by_scan[k] = static_cast<int16_t>(static_cast<int32_t>(rng() % (2 * limit + 1)) - limit);
    }
    BitWriter w;
    ASSERT_TRUE(WriteCoefficients(w, by_scan));
    const size_t bits = w.bit_count();
    Stream s(w);
    int16_t block[64] = {};
    ReadCoefficients(s.r, block);
    ASSERT_EQ(s.consumed(), bits);
    for (int k = 1; k < 64; ++k) ASSERT_EQ(block[kCoefficientScan[k]], by_scan[k]) << k;
    ASSERT_EQ(block[0], 0);
  }
}

TEST(ResidueReader, LimitZeroAppliesExactlyOneUpdate) {
  int16_t target[64] = {};
  target[0] = 5;
  target[1] = -3;
  target[2] = 7;
  BitWriter w;
  int8_t expected[64];
  WriteResidue(w, target, 0, expected);
  const size_t bits = w.bit_count();
  Stream s(w);
  int8_t residue[64] = {};
  ReadResidue(s.r, residue, 0);
  EXPECT_EQ(s.consumed(), bits);
  int nonzero = 0;
  for (int k = 0; k < 64; ++k) nonzero += residue[k] != 0;
  EXPECT_EQ(nonzero, 1);
  EXPECT_EQ(residue[0], 4);  // the first value found (s = 2): +mask, position 0 before 2
  EXPECT_EQ(std::vector<int8_t>(residue, residue + 64),
            std::vector<int8_t>(expected, expected + 64));
}

TEST(ResidueReader, PlusOneTwentyEightReadsBackAsMinusAndRefinementSubtracts) {
  // s = 7; position 0 (group 0..3 of the first list entry) found as +128,
  // then refined with mask 64: stored -128 minus 64 wraps to 64.
  BitWriter w;
  w.Put(7, 3);
  w.Put(0, 3);      // entries 4, 24, 44: flag 0
  w.PutBit(1);      // entry 0 (mode 2)
  w.Put(0b00, 2);   // position 0: found, sign +
  w.Put(0b111, 3);  // positions 1..3 deferred
  w.PutBit(1);      // mask 64: refine position 0
  const size_t bits = w.bit_count();
  Stream s(w);
  int8_t residue[64] = {};
  ReadResidue(s.r, residue, 1);  // two updates, then stop
  EXPECT_EQ(s.consumed(), bits);
  EXPECT_EQ(residue[0], 64);
  int16_t target[64] = {};
  target[0] = 128 + 64;
  int8_t encoded[64];
  BitWriter e;
  WriteResidue(e, target, 1, encoded);
  EXPECT_EQ(encoded[0], 64);
}

TEST(ResidueReader, EncodedResiduesRoundTripIncludingTruncationByTheLimit) {
  std::mt19937 rng(9);
  for (int round = 0; round < 2000; ++round) {
    int16_t target[64] = {};
    const int spread = round % 3 == 0 ? 255 : round % 3 == 1 ? 127 : 6;
    for (int k = 0; k < 64; ++k)
      if (rng() % 3 == 0)
        target[k] = static_cast<int16_t>(static_cast<int>(rng() % (2 * spread + 1)) - spread);
    const uint32_t limit = rng() % 128;
    BitWriter w;
    int8_t expected[64];
    WriteResidue(w, target, limit, expected);
    const size_t bits = w.bit_count();
    Stream s(w);
    int8_t residue[64] = {};
    ReadResidue(s.r, residue, limit);
    ASSERT_EQ(s.consumed(), bits);
    ASSERT_EQ(std::vector<int8_t>(residue, residue + 64),
              std::vector<int8_t>(expected, expected + 64));
    if (spread <= 127 && limit == 127) {
      int updates = 0;
      for (int k = 0; k < 64; ++k)
        for (int b = 0; b < 8; ++b) updates += (std::abs(target[k]) >> b) & 1;
      if (updates <= 128) {
        for (int k = 0; k < 64; ++k) ASSERT_EQ(residue[k], target[k]);
      }
    }
  }
}

// A stream of all one bits makes both readers defer every position: 64
// prepends in the residue reader, 60 in the coefficient reader.
TEST(ListReaders, AllOnesStreamsStayInsideTheWorkList) {
  std::vector<uint8_t> ones(4096, 0xFF);
  BitReader r;
  r.Start(ones.data(), ones.data() + ones.size());
  int8_t residue[64] = {};
  ReadResidue(r, residue, 127);
  r.Start(ones.data(), ones.data() + ones.size());
  int16_t block[64] = {};
  ReadCoefficients(r, block);
  EXPECT_NE(block[kCoefficientScan[1]], 0);
}

// The list readers as plainly as they can be written: one list, entries
// prepended before its start, survivors compacted one by one, every bit read
// on its own. `residue` null reads coefficients into `block`.
void ReadListsPlainly(BitReader& r, int16_t block[64], int8_t residue[64], uint32_t limit) {
  uint8_t list[200];
  int start = 100, end = 100;
  for (int head : {4, 24, 44}) list[end++] = static_cast<uint8_t>(head << 2);
  if (residue) {
    list[end++] = 0 << 2 | 2;
  } else {
    for (int single : {1, 2, 3}) list[end++] = static_cast<uint8_t>(single << 2 | 3);
  }
  std::vector<int> found;
  uint32_t updates = 0;
  auto* value = reinterpret_cast<uint8_t*>(residue);
  const int planes = static_cast<int>(r.Read(residue ? 3 : 4));
  for (int pass = 0; pass < (residue ? planes + 1 : planes); ++pass) {
    const int bits = planes - 1 - pass;
    const uint32_t mask = residue ? 1u << (planes - pass) : 0;
    // Coefficient values, or residue values/updates (false: the limit is reached).
    auto found_value = [&](int i) {
      if (!residue) {
        int32_t v = 1 << bits;
        if (bits) v += static_cast<int32_t>(r.Read(static_cast<uint32_t>(bits)));
        block[kCoefficientScan[i]] = static_cast<int16_t>(r.ReadBit() ? -v : v);
        return true;
      }
      value[i] = static_cast<uint8_t>(r.ReadBit() ? 0u - mask : mask);
      found.push_back(i);
      return updates++ != limit;
    };
    if (residue) {
      const size_t earlier = found.size();
      for (size_t f = 0; f < earlier; ++f) {
        if (!r.ReadBit()) continue;
        uint8_t& v = value[found[f]];
        v = static_cast<uint8_t>((v & 0x80) ? v - mask : v + mask);
        if (updates++ == limit) return;
      }
    }
    int keep = start;
    for (int p = start; p < end;) {
      if (!r.ReadBit()) {
        list[keep++] = list[p++];
        continue;
      }
      const int i = list[p] >> 2;
      int group = -1;
      switch (list[p] & 3) {
        case 0:
          list[p] = static_cast<uint8_t>((i + 4) << 2 | 1);
          group = i;
          break;
        case 1:
          list[p] = static_cast<uint8_t>(i << 2 | 2);
          for (int k = 4; k <= 12; k += 4) list[end++] = static_cast<uint8_t>((i + k) << 2 | 2);
          break;
        case 2:
          ++p;
          group = i;
          break;
        default:
          ++p;
          if (!found_value(i)) return;
          break;
      }
      for (int j = group; group >= 0 && j < group + 4; ++j) {
        if (r.ReadBit())
          list[--start] = static_cast<uint8_t>(j << 2 | 3);
        else if (!found_value(j))
          return;
      }
    }
    end = keep;
  }
}

// Random bits, damaged blocks included, read as plainly read: the same values
// and the same bits consumed.
TEST(ListReaders, RandomStreamsReadAsPlainlyRead) {
  std::mt19937 rng(23);
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> bytes(4 + rng() % 256);
    const uint32_t density = rng() % 4;  // ones get rarer with more ands
    for (auto& b : bytes) {
      uint32_t v = rng();
      for (uint32_t k = 0; k < density; ++k) v &= rng();
      b = static_cast<uint8_t>(v);
    }
    bytes[0] = static_cast<uint8_t>(rng());  // any plane count
    const bool residue = round % 2;
    const uint32_t limit = rng() % 128;
    BitReader a, b;
    a.Start(bytes.data(), bytes.data() + bytes.size());
    b = a;
    int16_t block_a[64] = {}, block_b[64] = {};
    int8_t residue_a[64] = {}, residue_b[64] = {};
    if (residue) {
      ReadResidue(a, residue_a, limit);
      ReadListsPlainly(b, nullptr, residue_b, limit);
    } else {
      ReadCoefficients(a, block_a);
      ReadListsPlainly(b, block_b, nullptr, 0);
    }
    ASSERT_EQ(a.word, b.word) << round;
    ASSERT_EQ(a.count, b.count) << round;
    ASSERT_EQ(a.bits, b.bits) << round;
    for (int k = 0; k < 64; ++k) {
      ASSERT_EQ(block_a[k], block_b[k]) << round << " " << k;
      ASSERT_EQ(residue_a[k], residue_b[k]) << round << " " << k;
    }
  }
}

TEST(Idct, IntraDc1024AtQuantizerZeroGives128Everywhere) {
  int16_t block[64] = {1024};
  uint8_t out[64];
  IdctReference(block, kIntraQuant[0], out);
  for (uint8_t v : out) EXPECT_EQ(v, 128);
}

TEST(Idct, OutputsWrapInsteadOfClamping) {
  const std::pair<int16_t, uint8_t> cases[] = {
      {2048, 0}, {-32, 252}, {2040, 255}, {2047, 0}, {4100, 0}};
  for (auto [dc, sample] : cases) {
    int16_t block[64] = {dc};
    uint8_t out[64];
    IdctReference(block, kIntraQuant[0], out);
    for (uint8_t v : out) EXPECT_EQ(v, sample) << dc;
  }
}

TEST(Idct, OutputModes) {
  uint8_t in[64];
  for (int i = 0; i < 64; ++i) in[i] = static_cast<uint8_t>(i * 5);
  std::vector<uint8_t> plane(20 * 18, 7);
  PutBlockDoubled(in, plane.data() + 20 + 1, 20);
  for (int r = 0; r < 18; ++r)
    for (int c = 0; c < 20; ++c) {
      const bool inside = r >= 1 && r < 17 && c >= 1 && c < 17;
      EXPECT_EQ(plane[20 * r + c], inside ? in[8 * ((r - 1) / 2) + (c - 1) / 2] : 7);
    }
  std::vector<uint8_t> ref(8 * 9, 250), dst(8 * 9, 0);
  AddBlock(in, ref.data(), dst.data(), 9);
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(dst[9 * (i / 8) + i % 8], static_cast<uint8_t>(250 + in[i]));
}

TEST(Idct, UnwrappedOutputsKeepTheSamplesInTheirLowBits) {
  std::mt19937 rng(2);
  for (int round = 0; round < 4000; ++round) {
    int16_t block[64] = {};
    const int count = 1 + rng() % 12;
    for (int i = 0; i < count; ++i)
      block[rng() % 64] = static_cast<int16_t>(int(rng() % 4001) - 2000);
    const uint32_t table = rng() % 16;
    const uint32_t* quant = round & 1 ? kInterQuant[table] : kIntraQuant[table];
    uint8_t wrapped[64];
    int32_t whole[64];
    IdctReference(block, quant, wrapped);
    IdctUnwrapped(block, quant, whole);
    for (int p = 0; p < 64; ++p) ASSERT_EQ(static_cast<uint8_t>(whole[p]), wrapped[p]);
  }
}

TEST(Kernels, TheFeatureWordChoosesTheSet) {
  test::ExpectKernelChoice(VideoKernelSets(), SelectVideoKernels);
}

// Every set against the portable one, on random blocks including values whose
// products overflow 32 bits, into outputs with guards on both sides.
TEST(Kernels, EverySetAgreesBitExactlyWithThePortableOne) {
  const VideoKernels& reference = *VideoKernelSets().front().kernels;
  for (const VideoKernels* k : test::RunnableKernelSets(VideoKernelSets())) {
    SCOPED_TRACE(k->name);
    std::mt19937 rng(21);
    for (int round = 0; round < 20000; ++round) {
      alignas(32) int16_t block[64] = {};
      const int kind = round % 4;
      for (int i = 0; i < 64; ++i) {
        if (kind == 0 && rng() % 6) continue;
        block[i] = static_cast<int16_t>(kind == 3 ? rng() : static_cast<int>(rng() % 512) - 256);
      }
      const uint32_t q = rng() % 16;
      const uint32_t* quant = round & 1 ? kIntraQuant[q] : kInterQuant[q];
      test::Guarded<uint8_t> want(64), got(64);
      reference.idct(block, quant, want.data());
      k->idct(block, quant, got.data());
      ASSERT_TRUE(got.GuardsIntact()) << round;
      ASSERT_EQ(got.Values(), want.Values()) << round;
    }
    // Copies at odd offsets and pitches, between buffers and within one
    // (rows down, up and sideways: each row is read whole before it is
    // written), at shifts where the two blocks share one byte or just none.
    for (uint32_t pitch : {8u, 9u, 40u}) {
      std::vector<uint8_t> src(pitch * 16 + 16);
      for (auto& v : src) v = static_cast<uint8_t>(rng());
      test::Guarded<uint8_t> want(src.size()), got(src.size());
      reference.copy8x8(src.data() + 3, want.data() + 5, pitch);
      k->copy8x8(src.data() + 3, got.data() + 5, pitch);
      ASSERT_TRUE(got.GuardsIntact()) << pitch;
      EXPECT_EQ(got.Values(), want.Values()) << pitch;
      for (uint32_t shift : {1u, 7u, 8u, pitch, 2 * pitch + 1, 7 * pitch + 7, 7 * pitch + 8}) {
        std::vector<uint8_t> down_want = src, down_got = src, up_want = src, up_got = src;
        reference.copy8x8(down_want.data(), down_want.data() + shift, pitch);
        k->copy8x8(down_got.data(), down_got.data() + shift, pitch);
        EXPECT_EQ(down_got, down_want) << pitch << " down " << shift;
        reference.copy8x8(up_want.data() + shift, up_want.data(), pitch);
        k->copy8x8(up_got.data() + shift, up_got.data(), pitch);
        EXPECT_EQ(up_got, up_want) << pitch << " up " << shift;
      }
    }
    // Doubled puts of random samples at odd offsets and pitches.
    for (uint32_t pitch : {16u, 17u, 40u}) {
      for (int round = 0; round < 50; ++round) {
        alignas(16) uint8_t in[64];
        for (auto& v : in) v = static_cast<uint8_t>(rng());
        const uint32_t offset = rng() % 8;
        test::Guarded<uint8_t> want(16 * pitch + offset), got(16 * pitch + offset);
        reference.put_doubled(in, want.data() + offset, pitch);
        k->put_doubled(in, got.data() + offset, pitch);
        ASSERT_TRUE(got.GuardsIntact()) << pitch;
        ASSERT_EQ(got.Values(), want.Values()) << pitch << " at " << offset;
      }
    }
  }
}

}  // namespace
}  // namespace vexil
