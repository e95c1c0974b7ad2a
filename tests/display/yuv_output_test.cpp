// Packed and planar YUV output: lone-pixel units of YUY2/UYVY, the YV12
// plane layout with Cr in the V plane, chroma on even rows, and the chroma
// rows and columns that fall outside the destination planes.
#include <gtest/gtest.h>

#include <random>

#include "display/converter.h"
#include "display/copy.h"
#include "test_movie.h"

namespace vexil {
namespace {

using test::Destination;
using test::TestMovie;

const uint32_t kPackedPaths[] = {test::kSimdPortable, test::kTablePath};

TEST(PackedYuv, LonePixelUnits) {
  struct Case {
    uint32_t format;
    uint32_t x;                 // first column of the run
    uint32_t n;                 // pixels in the run
    std::vector<uint8_t> want;  // luma 10, 11, 12; Cb 20, 21; Cr 30, 31
  };
  const Case kCases[] = {
      // At an odd column a lone unit carries Cr, then pairs follow.
      {PIXFMT_YUY2, 1, 3, {10, 30, 11, 21, 12, 31}},
      {PIXFMT_UYVY, 1, 3, {30, 10, 21, 11, 31, 12}},
      // A run of one at an even column: Y, Cb.
      {PIXFMT_YUY2, 0, 1, {10, 20}},
      {PIXFMT_UYVY, 0, 1, {20, 10}},
  };
  const uint8_t luma[] = {10, 11, 12}, cb[] = {20, 21}, cr[] = {30, 31};
  for (const Case& c : kCases) {
    for (uint32_t path : kPackedPaths) {
      ConversionContext conversion(path);
      ASSERT_TRUE(SelectConverters(conversion, c.format, false));
      std::vector<uint8_t> out(c.want.size() + 4, 0xEE);
      StripContext ctx{};
      ctx.conversion = &conversion;
      ctx.dest = out.data();
      ctx.luma = luma;
      ctx.chroma_b = cb;
      ctx.chroma_r = cr;
      uint32_t left = c.n, x = c.x;
      while (left) {
        const uint32_t rest = conversion.selection.row_converter(&ctx, left, x);
        x += left - rest;
        left = rest;
      }
      EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + c.want.size()), c.want)
          << "format " << c.format << " path " << path;
      EXPECT_EQ(out[c.want.size()], 0xEE);
      // Both chroma cursors moved past every sample used, the lone one included.
      EXPECT_EQ(ctx.chroma_b - cb, ctx.chroma_r - cr);
      EXPECT_EQ(ctx.luma - luma, c.n);
    }
  }
}

TEST(PackedYuv, GrayscaleUnitsCarry128) {
  TestMovie m({.width = 5, .height = 2});
  std::mt19937 rng(3);
  m.FillRandom(rng);
  for (uint32_t format : {PIXFMT_YUY2, PIXFMT_UYVY}) {
    for (uint32_t path : kPackedPaths) {
      ConversionContext conversion(path);
      Destination d(5 * 2 * 2);
      CopyToBuffer(conversion, m.get(), d.data(), 10, 2, 5, 2, format | COPY_GRAYSCALE | COPY_ALL);
      const size_t chroma_byte = format == PIXFMT_YUY2 ? 1 : 0;
      for (size_t i = chroma_byte; i < d.size(); i += 2) EXPECT_EQ(d[i], 128) << i;
      // The row ends with the lone unit Y, Cb (Cb, Y).
      EXPECT_EQ(d[8 + (1 - chroma_byte)], m.Luma(4, 0));
    }
  }
}

// Destination bytes of a YV12 copy: luma rows at `pitch`, then V, then U,
// each of dest_height / 2 rows at pitch / 2.
struct Yv12Layout {
  uint32_t pitch, rows;
  size_t luma(uint32_t x, uint32_t y) const { return size_t{y} * pitch + x; }
  size_t v(uint32_t x, uint32_t y) const {
    return size_t{pitch} * rows + size_t{y} * (pitch / 2) + x;
  }
  size_t u(uint32_t x, uint32_t y) const { return v(x, y) + size_t{rows / 2} * (pitch / 2); }
  size_t bytes() const { return u(0, rows / 2); }
};

TEST(Yv12, PlaneLayoutWithCrInTheVPlane) {
  ConversionContext conversion;
  TestMovie m({.width = 6, .height = 5});
  std::mt19937 rng(4);
  m.FillRandom(rng);
  const Yv12Layout l{8, 6};  // height rounded up to even
  Destination d(l.bytes());
  CopyToBuffer(conversion, m.get(), d.data(), 8, 6, 6, 5, PIXFMT_YV12 | COPY_ALL);
  ASSERT_TRUE(d.GuardsIntact());
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 6; ++x) EXPECT_EQ(d[l.luma(x, y)], m.Luma(x, y));
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(d[l.v(x, y)], m.ChromaA(x, y)) << x << "," << y;
      EXPECT_EQ(d[l.u(x, y)], m.ChromaB(x, y)) << x << "," << y;
    }
  // Revisions f and g: the planes are exchanged, so V receives chroma B.
  Destination swapped(l.bytes());
  CopyToBuffer(conversion, m.get(), swapped.data(), 8, 6, 6, 5,
               PIXFMT_YV12 | COPY_SWAP_CHROMA | COPY_ALL);
  EXPECT_EQ(swapped[l.v(1, 1)], m.ChromaB(1, 1));
  // Grayscale fills both chroma planes with 128.
  Destination gray(l.bytes());
  CopyToBuffer(conversion, m.get(), gray.data(), 8, 6, 6, 5,
               PIXFMT_YV12 | COPY_GRAYSCALE | COPY_ALL);
  for (size_t i = l.v(0, 0); i < l.bytes(); ++i) {
    if ((i - l.v(0, 0)) % 4 < 3) {
      EXPECT_EQ(gray[i], 128) << i;
    }
  }
}

TEST(Yv12, ChromaRowsPerMode) {
  ConversionContext conversion;
  TestMovie m({.width = 4, .height = 5});
  std::mt19937 rng(5);
  m.FillRandom(rng);
  struct Case {
    uint32_t mode;
    uint32_t rows;            // destination height
    std::vector<int> source;  // V-plane row -> chroma row written there (-1: none)
    bool doubled;
  };
  const Case kCases[] = {
      {0, 6, {0, 1, 2}, false},
      // Interlaced: chroma only on even source rows, into every other chroma row.
      {2, 10, {0, -1, 1, -1, 2}, false},
      // Rows doubled: the last source row's second chroma row would fall
      // past the planes and is dropped.
      {1, 10, {0, 0, 1, 1, 2}, false},
      {4, 10, {0, 0, 1, 1, 2}, true},
      {3, 6, {0, 1, 2}, true},
      {6, 6, {0, -1, -1}, false},  // rows 0, 2 of 5 read; row 2 is odd, so chroma once
  };
  for (const Case& c : kCases) {
    const uint32_t width = c.doubled ? 8 : 4;
    const Yv12Layout l{width, c.rows};
    Destination d(l.bytes());
    CopyToBuffer(conversion, m.get(), d.data(), static_cast<int32_t>(width),
                 static_cast<int32_t>(c.rows), 4, 5,
                 PIXFMT_YV12 | CopyScaleFlags(c.mode) | COPY_ALL);
    ASSERT_TRUE(d.GuardsIntact()) << "mode " << c.mode;
    for (uint32_t row = 0; row < c.source.size(); ++row)
      for (uint32_t x = 0; x < width / 2; ++x) {
        const uint32_t sx = c.doubled ? x / 2 : x;
        const int want =
            c.source[row] < 0 ? Destination::kFill : m.ChromaA(sx, uint32_t(c.source[row]));
        EXPECT_EQ(d[l.v(x, row)], want) << "mode " << c.mode << " row " << row << " x " << x;
      }
  }
}

TEST(Yv12, OddPitchAndBottomUp) {
  ConversionContext conversion;
  TestMovie m({.width = 7, .height = 4});
  std::mt19937 rng(6);
  m.FillRandom(rng);
  // Pitch 7: chroma rows hold 3 bytes, one fewer than a row needs.
  const Yv12Layout l{7, 4};
  Destination d(l.bytes());
  CopyToBuffer(conversion, m.get(), d.data(), 7, 4, 7, 4, PIXFMT_YV12 | COPY_ALL);
  EXPECT_TRUE(d.GuardsIntact());
  EXPECT_EQ(d[l.u(2, 1)], m.ChromaB(2, 1));
  // Bottom-up: every plane is written from its last row upwards.
  const Yv12Layout e{8, 4};
  Destination up(e.bytes());
  CopyToBuffer(conversion, m.get(), up.data(), -8, 4, 7, 4, PIXFMT_YV12 | COPY_ALL);
  ASSERT_TRUE(up.GuardsIntact());
  for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(up[e.luma(3, 3 - y)], m.Luma(3, y));
  for (uint32_t y = 0; y < 2; ++y) {
    EXPECT_EQ(up[e.v(2, 1 - y)], m.ChromaA(2, y));
    EXPECT_EQ(up[e.u(3, 1 - y)], m.ChromaB(3, y));
  }
}

}  // namespace
}  // namespace vexil
