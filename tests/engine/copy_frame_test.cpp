// CopyToBuffer's bookkeeping around the conversion: missing pieces and empty
// regions, the flags it keeps, the changed-block map storage, the copy time,
// the late-frame decision, and ReportRects.
#include "engine/copy_frame.h"

#include <gtest/gtest.h>

#include "display/test_movie.h"
#include "driven_clock.h"
#include "platform/heap.h"
#include "platform/timer.h"

namespace vexil {
namespace {

using test::Destination;
using test::TestMovie;
using test::Written32;

TEST(CopyBookkeeping, MissingPiecesAndEmptyRegions) {
  ConversionContext conversion;
  TestMovie m({.width = 4, .height = 4});
  Destination d(64);
  EXPECT_EQ(CopyToBuffer(conversion, nullptr, d.data(), 16, 4, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(conversion, m.get(), nullptr, 16, 4, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(conversion, m.get(), d.data(), 16, 4, 0, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(conversion, m.get(), d.data(), 16, 0, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(CopyToBuffer(conversion, m.get(), d.data(), 16, -3, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
  // A handle of zero size copies nothing and divides by nothing.
  TestMovie empty({.width = 0, .height = 0});
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(CopyToBuffer(conversion, empty.get(), d.data(), 16, 4, 4, 4, PIXFMT_32), 0);
  EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
}

TEST(CopyBookkeeping, FlagsMapStorageAndCopyTime) {
  test::DrivenClock clock;
  ConversionContext conversion;
  TestMovie m({.width = 4, .height = 4, .extra_open_flags = COPY_GRAYSCALE});
  Destination d(64);
  m->clock.first_copy_time = kCopyTimeAfterDecode;
  m->video.changed_percent = 0;
  CopyToBuffer(conversion, m.get(), d.data(), 16, 4, 4, 4, PIXFMT_32);
  EXPECT_EQ(m->video.last_copy_flags, PIXFMT_32 | COPY_GRAYSCALE);
  EXPECT_NE(m->clock.first_copy_time, kCopyTimeAfterDecode);
  EXPECT_NE(m->video.map_storage[0], nullptr);
  EXPECT_EQ(m->video.map_storage[0], m->video.map_storage[1]);
  EXPECT_EQ(m->video.changed_percent, 100u);
  EXPECT_EQ(m->reader.input->movie_busy, 0u);
  // No map for this frame yet: the whole frame was copied.
  EXPECT_TRUE(Written32(d, 16));

  // A storage the decode already allocated is kept, not replaced.
  TestMovie decoded({.width = 4, .height = 4});
  auto* storage = static_cast<uint8_t*>(Alloc(decoded->video.map_size + 16));
  decoded->video.map_storage[1] = storage;
  decoded->video.changed_percent = 10;
  CopyToBuffer(conversion, decoded.get(), d.data(), 16, 4, 4, 4, PIXFMT_32);
  EXPECT_EQ(decoded->video.map_storage[1], storage);
  EXPECT_EQ(decoded->video.map_storage[0], nullptr);
  EXPECT_EQ(ReportRects(decoded.get(), 0), 1);
  EXPECT_EQ(decoded->video.map_storage[1], storage);
}

// A late frame while sound plays: the copy is dropped and reported twice.
TEST(CopyBookkeeping, LateFrameWithSoundIsDropped) {
  test::DrivenClock clock;
  ConversionContext conversion;
  for (uint32_t never_skip : {0u, COPY_NO_SKIP}) {
    TestMovie m({.width = 4, .height = 4});
    m->sound.play_tracks = 1;
    m->clock.frames_shown = 1;
    m->clock.base_frame = 0;
    clock.Advance(2000);
    m->clock.base_time = Timer() - 1000;  // a second behind at 25 frames per second
    Destination d(64);
    EXPECT_EQ(CopyToBuffer(conversion, m.get(), d.data(), 16, 4, 4, 4, PIXFMT_32 | never_skip), 1);
    if (never_skip) {
      EXPECT_EQ(m->clock.skipped_blits, 0u);
      EXPECT_EQ(m->clock.skip_state, 1u);
      EXPECT_TRUE(Written32(d, 16));
      EXPECT_EQ(ReportRects(m.get(), 0), 1);
    } else {
      EXPECT_EQ(m->clock.skipped_blits, 1u);
      EXPECT_EQ(m->clock.skip_state, 2u);
      EXPECT_EQ(m->clock.skip_next, 1u);
      EXPECT_EQ(m->reader.input->movie_busy, 0u);
      EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
      EXPECT_EQ(CopyToBuffer(conversion, m.get(), d.data(), 16, 4, 4, 4, PIXFMT_32), 1);
      EXPECT_EQ(m->clock.skipped_blits, 1u);
      EXPECT_EQ(d.Values(), std::vector<uint8_t>(64, Destination::kFill));
      EXPECT_EQ(ReportRects(m.get(), 0), 0);
    }
    m->sound.play_tracks = 0;
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
    m->clock.skip_state = c.skip_state;
    m->open_flags |= c.open_never_skip;
    m->video.changed_rect_count = -1;
    EXPECT_EQ(ReportRects(m.get(), c.surface_flags), c.want);
    if (c.want) {
      EXPECT_EQ(m->video.changed_rect_count, 1);
      EXPECT_EQ(m->video.changed_rect[0], 0);
      EXPECT_EQ(m->video.changed_rect[1], 0);
      EXPECT_EQ(m->video.changed_rect[2], 12);
      EXPECT_EQ(m->video.changed_rect[3], 4);
      EXPECT_NE(m->video.map_storage[0], nullptr);
    } else {
      EXPECT_EQ(m->video.changed_rect_count, -1);
    }
  }
}

}  // namespace
}  // namespace vexil
