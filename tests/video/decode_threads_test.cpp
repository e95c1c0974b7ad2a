// The command and reply rings, and decoding with decode threads.
#include "video/decode_threads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "encoder/movie_writer.h"
#include "engine/background_decode.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

TEST(DecodeRing, HoldsAtMost252Bytes) {
  DecodeRing ring;
  uint8_t bytes[252];
  for (int i = 0; i < 252; ++i) bytes[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(RingWrite(&ring, bytes, 250), 1);
  EXPECT_EQ(RingWrite(&ring, bytes, 4), 0);  // 6 free: not enough for 4 + 4
  EXPECT_EQ(RingWrite(&ring, bytes, 2), 1);
  EXPECT_EQ(RingWrite(&ring, bytes, 1), 0);
  uint8_t out[256] = {};
  EXPECT_EQ(RingRead(-1, &ring, out, 200), 200u);
  EXPECT_EQ(out[199], 199);
  // Wraps at 256.
  EXPECT_EQ(RingWrite(&ring, bytes + 10, 100), 1);
  EXPECT_EQ(RingRead(0, &ring, out, 256), 152u);  // everything held
  EXPECT_EQ(out[49], 249);
  EXPECT_EQ(out[50], 0);
  EXPECT_EQ(out[52], 10);
  EXPECT_EQ(out[151], 109);
}

TEST(DecodeRing, ZeroWaitReturnsAtOnceWhenEmpty) {
  DecodeRing ring;
  uint8_t out[8];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RingRead(0, &ring, out, 8), 0u);
  EXPECT_EQ(RingRead(1500, &ring, out, 8), 0u);  // rounds up to 2 ms
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// Frames of four zero bytes: next to nothing to decode, but the decode driver
// runs every step.
std::vector<uint8_t> EmptyFramesMovie(uint32_t frames) {
  MovieWriter writer('i', 32, 32, 25, 1);
  for (uint32_t i = 0; i < frames; ++i) writer.AddFrame(true, std::vector<uint8_t>(4));
  return writer.Finish();
}

class DecodeThreads : public ::testing::Test {
 protected:
  void TearDown() override { test::TestEngine().decode_threads.Stop(); }
};

TEST_F(DecodeThreads, TwoMoviesShareTheThreadsAndFramesFinishInOrder) {
  ASSERT_EQ(test::TestEngine().decode_threads.Start(2), 2);
  std::vector<uint8_t> bytes = EmptyFramesMovie(5);
  MovieHandle* a =
      Open(test::TestEngine(), MovieSource::Memory(bytes.data(), bytes.size()), OPEN_MEMORY);
  MovieHandle* b =
      Open(test::TestEngine(), MovieSource::Memory(bytes.data(), bytes.size()), OPEN_MEMORY);
  ASSERT_TRUE(a && b);
  for (int f = 0; f < 5; ++f) {
    if (f) {
      Advance(a);
      Advance(b);
    }
    ASSERT_EQ(StartBackgroundDecode(a), 1);
    ASSERT_EQ(StartBackgroundDecode(b), 1);
    EXPECT_EQ(StartBackgroundDecode(a), 0);  // a job is outstanding
    while (!WaitForBackgroundDecode(b)) {
    }
    while (!WaitForBackgroundDecode(a)) {
    }
    EXPECT_EQ(a->clock.decoded_frame, static_cast<uint32_t>(f + 1));
    EXPECT_EQ(b->clock.frames_shown.load(), static_cast<uint32_t>(f + 1));
    EXPECT_EQ(a->video.planes->current_index.load(), (f + 1) % 2u);
  }
  Close(a);
  Close(b);
  test::TestEngine().decode_threads.Stop();
  EXPECT_EQ(test::TestEngine().decode_threads.running_mask(), 0u);
}

TEST_F(DecodeThreads, CloseWaitsForOutstandingJobs) {
  ASSERT_EQ(test::TestEngine().decode_threads.Start(1), 1);
  std::vector<uint8_t> bytes = EmptyFramesMovie(2);
  MovieHandle* movie =
      Open(test::TestEngine(), MovieSource::Memory(bytes.data(), bytes.size()), OPEN_MEMORY);
  ASSERT_NE(movie, nullptr);
  ASSERT_EQ(StartBackgroundDecode(movie), 1);
  Close(movie);  // Close waits for the reply before anything is freed
  test::TestEngine().decode_threads.Stop();
}

}  // namespace
}  // namespace vexil
