// The copy's geometry: every scaling mode's row and column placement,
// bottom-up destinations, grayscale, the changed-block copy and the region
// clamps, through CopyToBuffer.
#include <gtest/gtest.h>

#include <random>

#include "test_movie.h"

namespace vexil {
namespace {

using test::Destination;
using test::TestMovie;
using test::Written32;

std::vector<uint32_t> AllPaths() {
  std::vector<uint32_t> paths = test::SimdPaths();
  paths.push_back(test::kTablePath);
  return paths;
}

// Luma, Cb and Cr that name their own position.
void FillPositions(const TestMovie& m) {
  for (uint32_t y = 0; y < m.height(); ++y)
    for (uint32_t x = 0; x < m.width(); ++x) m.Luma(x, y) = static_cast<uint8_t>(10 * y + x + 1);
  for (uint32_t y = 0; y < (m.height() + 1) / 2; ++y)
    for (uint32_t x = 0; x < (m.width() + 1) / 2; ++x) {
      m.ChromaB(x, y) = static_cast<uint8_t>(100 + 10 * y + x);
      m.ChromaA(x, y) = static_cast<uint8_t>(200 + 10 * y + x);
    }
}

// The YUY2 bytes of source row `row` read with chroma row `chroma_row`.
std::vector<uint8_t> Yuy2Row(const TestMovie& m, uint32_t row, uint32_t chroma_row, bool doubled) {
  std::vector<uint8_t> out;
  for (uint32_t x = 0; x < m.width(); x += 2) {
    const uint8_t cb = m.ChromaB(x / 2, chroma_row), cr = m.ChromaA(x / 2, chroma_row);
    const uint8_t y0 = m.Luma(x, row);
    if (x + 1 == m.width()) {  // a lone last pixel: Y, Cb (written twice when doubling)
      for (int t = 0; t < (doubled ? 2 : 1); ++t) out.insert(out.end(), {y0, cb});
      break;
    }
    const uint8_t y1 = m.Luma(x + 1, row);
    if (doubled) {
      out.insert(out.end(), {y0, cb, y0, cr, y1, cb, y1, cr});
    } else {
      out.insert(out.end(), {y0, cb, y1, cr});
    }
  }
  return out;
}

TEST(CopyScaling, EveryModePlacesRowsAndColumns) {
  TestMovie m({.width = 7, .height = 7});
  FillPositions(m);
  for (uint32_t mode = 0; mode < 8; ++mode) {
    const bool wide = mode >= 3 && mode <= 5;
    const bool tall = mode == 1 || mode == 2 || mode == 4 || mode == 5;
    const uint32_t row_bytes = m.width() * 2 * (wide ? 2 : 1);
    const uint32_t rows = m.height() * (tall ? 2 : 1);
    // Destination row -> source row and chroma row (-1: not written).
    std::vector<std::pair<int, int>> expect(rows, {-1, -1});
    for (uint32_t y = 0; y < m.height(); ++y) {
      switch (mode) {
        case 1:
        case 4:
          expect[2 * y] = expect[2 * y + 1] = {int(y), int(y / 2)};
          break;
        case 2:
        case 5:
          expect[2 * y] = {int(y), int(y / 2)};
          break;
        case 6:
          // Rows 2k only, chroma rows 0, 0, 2, 2, ...
          if (y % 2 == 0 && y / 2 < m.height() / 2) expect[y] = {int(y), int(y / 2 & ~1u)};
          break;
        default:
          expect[y] = {int(y), int(y / 2)};
      }
    }
    for (uint32_t path : {test::kSimdPortable, test::kTablePath}) {
      ConversionContext conversion(path);
      Destination d(size_t{row_bytes} * rows);
      CopyToBuffer(conversion, m.get(), d.data(), static_cast<int32_t>(row_bytes),
                   static_cast<int32_t>(rows), m->width, m->height,
                   PIXFMT_YUY2 | CopyScaleFlags(mode) | COPY_ALL);
      ASSERT_TRUE(d.GuardsIntact()) << "mode " << mode;
      for (uint32_t r = 0; r < rows; ++r) {
        const std::vector<uint8_t> got(d.data() + r * row_bytes, d.data() + (r + 1) * row_bytes);
        const std::vector<uint8_t> want =
            expect[r].first < 0
                ? std::vector<uint8_t>(row_bytes, Destination::kFill)
                : Yuy2Row(m, uint32_t(expect[r].first), uint32_t(expect[r].second), wide);
        EXPECT_EQ(got, want) << "mode " << mode << " destination row " << r << " path " << path;
      }
    }
  }
}

TEST(CopyScaling, DoubledHandleSizeCopiesTheDecodedFrameOnce) {
  // Display option 4: the handle is twice the file's size both ways.
  TestMovie m({.width = 6, .height = 4, .display_option = 4});
  ASSERT_EQ(m->width, 12u);
  ASSERT_EQ(m->height, 8u);
  std::mt19937 rng(5);
  m.FillRandom(rng);
  for (uint32_t path : AllPaths()) {
    ConversionContext conversion(path);
    const int32_t pitch = 12 * 4;
    Destination exact(size_t(pitch) * 8), larger(size_t(pitch) * 8);
    CopyToBuffer(conversion, m.get(), exact.data(), pitch, 8, 12, 8, PIXFMT_32 | COPY_ALL);
    EXPECT_TRUE(Written32(exact, 12 * 8));
    // A larger region is clamped to the decoded frame.
    ConversionContext again(path);
    CopyToBuffer(again, m.get(), larger.data(), pitch, 8, 40, 30, PIXFMT_32 | COPY_ALL);
    EXPECT_EQ(larger.Values(), exact.Values());
    EXPECT_TRUE(larger.GuardsIntact());
  }
}

TEST(CopyScaling, NeverWritesPastTheDestinationHeight) {
  TestMovie m({.width = 5, .height = 8});
  std::mt19937 rng(6);
  m.FillRandom(rng);
  ConversionContext conversion;
  for (uint32_t mode : {0u, 1u, 2u, 6u}) {
    for (int32_t sign : {1, -1}) {
      Destination d(20 * 3);
      CopyToBuffer(conversion, m.get(), d.data(), sign * 20, 3, 5, 8,
                   PIXFMT_32 | CopyScaleFlags(mode) | COPY_ALL);
      EXPECT_TRUE(d.GuardsIntact()) << "mode " << mode << " sign " << sign;
    }
  }
}

TEST(CopyGeometry, NegativePitchWritesBottomUp) {
  TestMovie m({.width = 9, .height = 5});
  std::mt19937 rng(7);
  m.FillRandom(rng);
  for (uint32_t format : {PIXFMT_8, PIXFMT_24, PIXFMT_32, PIXFMT_565, PIXFMT_YUY2}) {
    for (uint32_t path : AllPaths()) {
      const int32_t pitch = static_cast<int32_t>(9 * PixelFormatBytes(format) + 3);
      Destination down(size_t(pitch) * 5), up(size_t(pitch) * 5);
      {
        ConversionContext conversion(path);
        CopyToBuffer(conversion, m.get(), down.data(), pitch, 5, 9, 5, format | COPY_ALL);
      }
      {
        ConversionContext conversion(path);
        CopyToBuffer(conversion, m.get(), up.data(), -pitch, 5, 9, 5, format | COPY_ALL);
      }
      ASSERT_TRUE(up.GuardsIntact());
      for (int r = 0; r < 5; ++r)
        EXPECT_EQ(0,
                  std::memcmp(down.data() + r * pitch, up.data() + (4 - r) * pitch, size_t(pitch)))
            << "format " << format << " row " << r << " path " << path;
    }
  }
}

TEST(CopyGeometry, GrayscaleNeverReadsChroma) {
  TestMovie gray({.width = 11, .height = 5});
  TestMovie neutral({.width = 11, .height = 5});
  std::mt19937 rng(8);
  gray.FillRandom(rng);
  for (uint32_t y = 0; y < 5; ++y)
    for (uint32_t x = 0; x < 11; ++x) neutral.Luma(x, y) = gray.Luma(x, y);
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 6; ++x) neutral.ChromaA(x, y) = neutral.ChromaB(x, y) = 128;
  // Chroma planes that cannot be read.
  PlaneEntry* chroma = &gray.planes().plane[PLANE_CHROMA_A];
  uint8_t* saved[2] = {chroma[0].samples, chroma[1].samples};
  chroma[0].samples = chroma[1].samples = nullptr;
  for (uint32_t format = 0; format < PIXFMT_COUNT; ++format) {
    for (uint32_t mode : {0u, 3u}) {
      for (uint32_t path : AllPaths()) {
        const uint32_t flags = format | CopyScaleFlags(mode) | COPY_ALL;
        const int32_t pitch = 11 * 4 * 2;
        Destination a(size_t(pitch) * 12), b(size_t(pitch) * 12);
        {
          ConversionContext conversion(path);
          CopyToBuffer(conversion, gray.get(), a.data(), pitch, 6, 11, 5, flags | COPY_GRAYSCALE);
        }
        {
          ConversionContext conversion(path);
          CopyToBuffer(conversion, neutral.get(), b.data(), pitch, 6, 11, 5, flags);
        }
        EXPECT_EQ(a.Values(), b.Values()) << "format " << format << " mode " << mode;
      }
    }
  }
  chroma[0].samples = saved[0];
  chroma[1].samples = saved[1];
}

class ChangedBlocks : public testing::Test {
 protected:
  // 40 x 40: blocks of 16, 16 and 8 pixels in both directions.
  ChangedBlocks() : m_({.width = 40, .height = 40}), map_(16 * 3, 0) {
    std::mt19937 rng(9);
    m_.FillRandom(rng);
    map_[0] = map_[2] = map_[16 + 1] = map_[32 + 2] = 1;
    m_->video.map_stride = 16;
    m_->video.map_size = static_cast<uint32_t>(map_.size());
    m_->video.map_copy = map_.data();
  }
  ~ChangedBlocks() override { m_->video.map_copy = nullptr; }
  bool Changed(uint32_t x, uint32_t y) const { return map_[(y / 16) * 16 + x / 16] != 0; }

  TestMovie m_;
  std::vector<uint8_t> map_;
};

TEST_F(ChangedBlocks, OnlyChangedBlocksBelow75Percent) {
  struct Case {
    uint32_t percent;
    uint32_t flags;
    bool all;
  };
  const Case kCases[] = {{74, 0, false}, {75, 0, true}, {74, COPY_ALL, true}, {0, 0, false}};
  for (uint32_t format : {PIXFMT_32, PIXFMT_24, PIXFMT_565}) {
    for (const Case& c : kCases) {
      for (uint32_t path : AllPaths()) {
        const uint32_t bpp = PixelFormatBytes(format);
        const int32_t pitch = static_cast<int32_t>(40 * bpp);
        Destination full(size_t(pitch) * 40), d(size_t(pitch) * 40);
        {
          ConversionContext conversion(path);
          CopyToBuffer(conversion, m_.get(), full.data(), pitch, 40, 40, 40, format | COPY_ALL);
        }
        ConversionContext conversion(path);
        m_->video.changed_percent = c.percent;
        CopyToBuffer(conversion, m_.get(), d.data(), pitch, 40, 40, 40, format | c.flags);
        for (uint32_t y = 0; y < 40; ++y)
          for (uint32_t x = 0; x < 40; ++x) {
            const bool written = c.all || Changed(x, y);
            const size_t at = y * pitch + x * bpp;
            for (uint32_t b = 0; b < bpp; ++b)
              ASSERT_EQ(d[at + b], written ? full[at + b] : Destination::kFill)
                  << "format " << format << " percent " << c.percent << " at " << x << "," << y;
          }
      }
    }
  }
}

TEST_F(ChangedBlocks, Yv12UnchangedBlocksKeepTheirChroma) {
  const int32_t pitch = 40;
  const size_t bytes = size_t(pitch) * 40 * 3 / 2;
  Destination full(bytes), d(bytes);
  ConversionContext conversion;
  CopyToBuffer(conversion, m_.get(), full.data(), pitch, 40, 40, 40, PIXFMT_YV12 | COPY_ALL);
  m_->video.changed_percent = 10;
  CopyToBuffer(conversion, m_.get(), d.data(), pitch, 40, 40, 40, PIXFMT_YV12);
  ASSERT_TRUE(d.GuardsIntact());
  for (int plane = 0; plane < 2; ++plane) {
    const size_t base = size_t(pitch) * 40 + size_t(plane) * 20 * 20;
    for (uint32_t cy = 0; cy < 20; ++cy)
      for (uint32_t cx = 0; cx < 20; ++cx) {
        const size_t at = base + cy * 20 + cx;
        EXPECT_EQ(d[at], Changed(2 * cx, 2 * cy) ? full[at] : Destination::kFill)
            << "plane " << plane << " at " << cx << "," << cy;
      }
  }
}

// In mode 6 source row 2k is read: the map row must follow the plane row, not k.
TEST(ChangedBlocksInterlaced, MapRowsFollowThePlaneRows) {
  TestMovie m({.width = 16, .height = 64});
  std::mt19937 rng(10);
  m.FillRandom(rng);
  std::vector<uint8_t> map(16 * 4, 0);
  map[16 * 2] = 1;  // plane rows 32-47 changed
  m->video.map_stride = 16;
  m->video.map_size = 64;
  m->video.map_copy = map.data();
  m->video.changed_percent = 25;
  Destination d(16 * 4 * 64);
  ConversionContext conversion;
  CopyToBuffer(conversion, m.get(), d.data(), 64, 64, 16, 64,
               PIXFMT_32 | CopyScaleFlags(COPY_1X_INTERLACED));
  for (uint32_t r = 0; r < 64; ++r) {
    const bool written = r % 2 == 0 && r >= 32 && r < 48;
    EXPECT_EQ(d[r * 64 + 3] == 0, written) << "row " << r;
  }
  m->video.map_copy = nullptr;
}

}  // namespace
}  // namespace vexil
