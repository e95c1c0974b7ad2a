// CopyToBuffer's geometry and bookkeeping: every scaling mode's row and column
// placement, bottom-up destinations, grayscale, the changed-block copy, the
// region clamps, the late-frame decision, and ReportRects.
#include "display/copy.h"

#include <gtest/gtest.h>

#include <random>

#include "driven_clock.h"
#include "engine/heap.h"
#include "engine/timer.h"
#include "test_movie.h"

namespace vexil {
namespace {

using test::CopyPath;
using test::Destination;
using test::TestMovie;

// Every 32-bit pixel of the first n written (its top byte is 0, the fill is not).
bool Written32(const Destination& d, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i)
    if (d[4 * i + 3] != 0) return false;
  return true;
}

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
      CopyPath use(path);
      Destination d(size_t{row_bytes} * rows);
      CopyToBuffer(m.get(), d.data(), static_cast<int32_t>(row_bytes), static_cast<int32_t>(rows),
                   m->width, m->height, PIXFMT_YUY2 | CopyScaleFlags(mode) | COPY_ALL);
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
    CopyPath use(path);
    const int32_t pitch = 12 * 4;
    Destination exact(size_t(pitch) * 8), larger(size_t(pitch) * 8);
    CopyToBuffer(m.get(), exact.data(), pitch, 8, 12, 8, PIXFMT_32 | COPY_ALL);
    EXPECT_TRUE(Written32(exact, 12 * 8));
    // A larger region is clamped to the decoded frame.
    CopyPath again(path);
    CopyToBuffer(m.get(), larger.data(), pitch, 8, 40, 30, PIXFMT_32 | COPY_ALL);
    EXPECT_EQ(larger.Values(), exact.Values());
    EXPECT_TRUE(larger.GuardsIntact());
  }
}

TEST(CopyScaling, NeverWritesPastTheDestinationHeight) {
  TestMovie m({.width = 5, .height = 8});
  std::mt19937 rng(6);
  m.FillRandom(rng);
  for (uint32_t mode : {0u, 1u, 2u, 6u}) {
    for (int32_t sign : {1, -1}) {
      Destination d(20 * 3);
      CopyToBuffer(m.get(), d.data(), sign * 20, 3, 5, 8,
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
        CopyPath use(path);
        CopyToBuffer(m.get(), down.data(), pitch, 5, 9, 5, format | COPY_ALL);
      }
      {
        CopyPath use(path);
        CopyToBuffer(m.get(), up.data(), -pitch, 5, 9, 5, format | COPY_ALL);
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
          CopyPath use(path);
          CopyToBuffer(gray.get(), a.data(), pitch, 6, 11, 5, flags | COPY_GRAYSCALE);
        }
        {
          CopyPath use(path);
          CopyToBuffer(neutral.get(), b.data(), pitch, 6, 11, 5, flags);
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
    m_->map_stride = 16;
    m_->map_size = static_cast<uint32_t>(map_.size());
    m_->map_copy = map_.data();
  }
  ~ChangedBlocks() override { m_->map_copy = nullptr; }
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
          CopyPath use(path);
          CopyToBuffer(m_.get(), full.data(), pitch, 40, 40, 40, format | COPY_ALL);
        }
        CopyPath use(path);
        m_->changed_percent = c.percent;
        CopyToBuffer(m_.get(), d.data(), pitch, 40, 40, 40, format | c.flags);
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
  CopyToBuffer(m_.get(), full.data(), pitch, 40, 40, 40, PIXFMT_YV12 | COPY_ALL);
  m_->changed_percent = 10;
  CopyToBuffer(m_.get(), d.data(), pitch, 40, 40, 40, PIXFMT_YV12);
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
  m->map_stride = 16;
  m->map_size = 64;
  m->map_copy = map.data();
  m->changed_percent = 25;
  Destination d(16 * 4 * 64);
  CopyToBuffer(m.get(), d.data(), 64, 64, 16, 64, PIXFMT_32 | CopyScaleFlags(COPY_1X_INTERLACED));
  for (uint32_t r = 0; r < 64; ++r) {
    const bool written = r % 2 == 0 && r >= 32 && r < 48;
    EXPECT_EQ(d[r * 64 + 3] == 0, written) << "row " << r;
  }
  m->map_copy = nullptr;
}

TEST(CopyBookkeeping, MissingPiecesAndEmptyRegions) {
  TestMovie m({.width = 4, .height = 4});
  Destination d(64);
  EXPECT_EQ(CopyToBuffer(nullptr, d.data(), 16, 4, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(m.get(), nullptr, 16, 4, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(m.get(), d.data(), 16, 4, 0, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(m.get(), d.data(), 16, 0, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(m.get(), d.data(), 16, -3, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
  // A handle of zero size copies nothing and divides by nothing.
  TestMovie empty({.width = 0, .height = 0});
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(CopyToBuffer(empty.get(), d.data(), 16, 4, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
}

TEST(CopyBookkeeping, FlagsMapStorageAndCopyTime) {
  test::DrivenClock clock;
  TestMovie m({.width = 4, .height = 4, .extra_open_flags = COPY_GRAYSCALE});
  Destination d(64);
  m->first_copy_time = kCopyTimeAfterDecode;
  m->changed_percent = 0;
  CopyToBuffer(m.get(), d.data(), 16, 4, 4, 4, PIXFMT_32);
  EXPECT_EQ(m->last_copy_flags, PIXFMT_32 | COPY_GRAYSCALE);
  EXPECT_NE(m->first_copy_time, kCopyTimeAfterDecode);
  EXPECT_NE(m->map_storage[0], nullptr);
  EXPECT_EQ(m->map_storage[0], m->map_storage[1]);
  EXPECT_EQ(m->changed_percent, 100u);
  EXPECT_EQ(m->input.movie_busy, 0u);
  // No map for this frame yet: the whole frame was copied.
  EXPECT_TRUE(Written32(d, 16));

  // A storage the decode already allocated is kept, not replaced.
  TestMovie decoded({.width = 4, .height = 4});
  auto* storage = static_cast<uint8_t*>(Alloc(decoded->map_size + 16));
  decoded->map_storage[1] = storage;
  decoded->changed_percent = 10;
  CopyToBuffer(decoded.get(), d.data(), 16, 4, 4, 4, PIXFMT_32);
  EXPECT_EQ(decoded->map_storage[1], storage);
  EXPECT_EQ(decoded->map_storage[0], nullptr);
  EXPECT_EQ(ReportRects(decoded.get(), 0), 1);
  EXPECT_EQ(decoded->map_storage[1], storage);
}

// A late frame while sound plays: the copy is dropped and reported twice.
TEST(CopyBookkeeping, LateFrameWithSoundIsDropped) {
  test::DrivenClock clock;
  for (uint32_t never_skip : {0u, COPY_NO_SKIP}) {
    TestMovie m({.width = 4, .height = 4});
    m->play_tracks = 1;
    m->frames_shown = 1;
    m->base_frame = 0;
    clock.Advance(2000);
    m->base_time = Timer() - 1000;  // a second behind at 25 frames per second
    Destination d(64);
    EXPECT_EQ(CopyToBuffer(m.get(), d.data(), 16, 4, 4, 4, PIXFMT_32 | never_skip), 1);
    if (never_skip) {
      EXPECT_EQ(m->skipped_blits, 0u);
      EXPECT_EQ(m->skip_state, 1u);
      EXPECT_TRUE(Written32(d, 16));
      EXPECT_EQ(ReportRects(m.get(), 0), 1);
    } else {
      EXPECT_EQ(m->skipped_blits, 1u);
      EXPECT_EQ(m->skip_state, 2u);
      EXPECT_EQ(m->skip_next, 1u);
      EXPECT_EQ(m->input.movie_busy, 0u);
      EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
      EXPECT_EQ(CopyToBuffer(m.get(), d.data(), 16, 4, 4, 4, PIXFMT_32), 1);
      EXPECT_EQ(m->skipped_blits, 1u);
      EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
      EXPECT_EQ(ReportRects(m.get(), 0), 0);
    }
    m->play_tracks = 0;
  }
}

TEST(ReportRects, Cases) {
  struct Case {
    uint32_t skip_state;
    uint32_t surface_flags;
    uint32_t open_never_skip;
    int want;
  };
  const Case kCases[] = {
      {0, 0, 0, 1},
      {1, 0, 0, 1},
      {0, SURFACE_DIRECT, 0, 0},
      {2, 0, 0, 0},
      {2, COPY_NO_SKIP, 0, 1},
      {2, 0, COPY_NO_SKIP, 1},
      {2, SURFACE_DIRECT | COPY_NO_SKIP, 0, 0},
  };
  EXPECT_EQ(ReportRects(nullptr, 0), 0);
  for (const Case& c : kCases) {
    TestMovie m({.width = 6, .height = 4, .display_option = 3});
    m->skip_state = c.skip_state;
    m->open_flags |= c.open_never_skip;
    m->changed_rect_count = -1;
    EXPECT_EQ(ReportRects(m.get(), c.surface_flags), c.want);
    if (c.want) {
      EXPECT_EQ(m->changed_rect_count, 1);
      EXPECT_EQ(m->changed_rect[0], 0);
      EXPECT_EQ(m->changed_rect[1], 0);
      EXPECT_EQ(m->changed_rect[2], 12);
      EXPECT_EQ(m->changed_rect[3], 4);
      EXPECT_NE(m->map_storage[0], nullptr);
    } else {
      EXPECT_EQ(m->changed_rect_count, -1);
    }
  }
}

}  // namespace
}  // namespace vexil
