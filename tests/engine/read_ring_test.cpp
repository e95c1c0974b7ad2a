// The read-ahead ring of the built-in input, driven directly: pieces, skips
// and seeks inside and outside the ring, the skew after a seek, short reads,
// suspension, and the simulated read speed on a clock the test drives.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "driven_clock.h"
#include "engine/input.h"
#include "engine/input_internal.h"
#include "engine/timer.h"
#include "test_util.h"

namespace vexil {
namespace {

using test::TempFile;

constexpr uint32_t kPiece = kReadPiece;

uint8_t Pattern(uint64_t i) {
  return static_cast<uint8_t>((i * 131) ^ (i >> 9) ^ (i >> 17));
}

std::vector<uint8_t> PatternBytes(uint32_t n) {
  std::vector<uint8_t> bytes(n);
  for (uint32_t i = 0; i < n; ++i) bytes[i] = Pattern(i);
  return bytes;
}

// Where the tests stand in for the engine's lock operations.
std::recursive_timed_mutex g_lock;
int g_waits = 0;
void TestWait(InputRecord*) {
  ++g_waits;
  g_lock.lock();
}
bool TestTry(InputRecord*) {
  return g_lock.try_lock();
}
void TestRelease(InputRecord*) {
  g_lock.unlock();
}
void TestYield(InputRecord*) {}

// A file of `file_bytes` pattern bytes read through a ring of `ring_bytes`
// (rounded as buffer_size does) that believes the movie is `movie_bytes` long.
class RingTest : public ::testing::Test {
 protected:
  void Make(uint32_t file_bytes, uint32_t ring_bytes, uint32_t movie_bytes = 0,
            uint32_t speed = 0) {
    file_ = std::make_unique<TempFile>(PatternBytes(file_bytes));
    in_ = std::make_unique<InputRecord>();
    ASSERT_EQ(OpenFileInput(in_.get(), file_->c_str(), platform::kNoFile, 0), 1);
    memory_.assign(in_->buffer_size(in_.get(), ring_bytes), 0);
    in_->set_buffer(in_.get(), memory_.data(), static_cast<uint32_t>(memory_.size()),
                    movie_bytes ? movie_bytes : file_bytes, speed);
    in_->lock_wait = TestWait;
    in_->lock_try = TestTry;
    in_->lock_release = TestRelease;
    in_->lock_yield = TestYield;
    g_waits = 0;
  }
  void TearDown() override {
    if (in_) in_->close(in_.get());
  }

  int32_t Service() { return in_->service(in_.get()); }
  void Fill() {
    while (Service() > 0) {
    }
  }
  // Reads n bytes at `offset` and checks them against the file.
  void ReadAndCheck(int64_t offset, uint32_t n) {
    const uint32_t from = offset == kNoOffset ? in_->consumer_position : uint32_t(offset);
    std::vector<uint8_t> out(n);
    ASSERT_EQ(in_->read(in_.get(), 0, offset, out.data(), n), n);
    for (uint32_t i = 0; i < n; ++i)
      ASSERT_EQ(out[i], Pattern(uint64_t{from} + i)) << "byte " << from + i;
  }
  int64_t FileOffset() const { return platform::FileTell(in_->file); }
  uint32_t RingOffset(const uint8_t* p) const { return static_cast<uint32_t>(p - in_->ring_start); }

  std::unique_ptr<TempFile> file_;
  std::unique_ptr<InputRecord> in_;
  std::vector<uint8_t> memory_;
};

TEST(RingSizing, BufferSizeRoundsToPiecesPlusAPage) {
  InputRecord in;
  in.Clear();
  const struct {
    uint32_t wanted, memory;
  } cases[] = {
      {0, 266240},      {100000, 266240}, {262144, 266240},
      {262145, 397312}, {300000, 397312}, {0xFFFFFFFFu, 0xFFFFF000u},
  };
  for (const auto& c : cases) EXPECT_EQ(RingBufferSize(&in, c.wanted), c.memory) << c.wanted;
}

TEST(RingSizing, RingStaysInsideItsMemoryAtAnyAlignment) {
  InputRecord in;
  in.Clear();
  std::vector<uint8_t> memory(3 * kPiece + 8192);
  const uintptr_t base = (reinterpret_cast<uintptr_t>(memory.data()) + 4095) & ~uintptr_t{4095};
  auto* aligned = reinterpret_cast<uint8_t*>(base);
  const struct {
    uint32_t shift, size, ring;
  } cases[] = {
      {0, 266240, 2 * kPiece},
      {1, 266240, 2 * kPiece},  // 4095 bytes lost to the alignment still leave two pieces
      {0, 2 * kPiece, 2 * kPiece},
      {100, 2 * kPiece, kPiece},  // not from buffer_size: the lost bytes come off first
      {100, 4000, 0},
  };
  for (const auto& c : cases) {
    RingSetBuffer(&in, aligned + c.shift, c.size, 1000000, 0);
    EXPECT_EQ(in.buffer_bytes, c.ring) << c.shift << " " << c.size;
    EXPECT_EQ(in.free_bytes.load(), c.ring);
    if (c.ring == 0) {
      EXPECT_EQ(in.ring_start, nullptr);
      continue;
    }
    EXPECT_EQ(reinterpret_cast<uintptr_t>(in.ring_start) % 4096, 0u);
    EXPECT_LE(in.ring_end, aligned + c.shift + c.size);
  }
}

TEST_F(RingTest, PiecesFillTheRingUpToTheMovieEnd) {
  const uint32_t movie = 3 * kPiece + 1000;
  Make(movie, 8 * kPiece);
  const int32_t pieces[] = {kPiece, kPiece, kPiece, 1000, 0};
  uint32_t total = 0;
  for (int32_t expected : pieces) {
    EXPECT_EQ(Service(), expected);
    total += static_cast<uint32_t>(expected);
    EXPECT_EQ(in_->buffered.load(), total);
    EXPECT_EQ(in_->free_bytes.load(), 8 * kPiece - total);
    EXPECT_EQ(in_->file_position, total);
  }
  EXPECT_EQ(in_->bytes_read.load(), movie);
  EXPECT_EQ(in_->highest_buffered.load(), movie);
  EXPECT_EQ(in_->target_fill.load(), movie);  // nothing more to read: what is there
  ReadAndCheck(0, movie);
  EXPECT_EQ(in_->buffered.load(), 0u);
  EXPECT_EQ(g_waits, 0);  // all from the ring, without the lock
}

TEST_F(RingTest, FullRingReadsNothingAndWrapsAround) {
  Make(20 * kPiece, 2 * kPiece);
  Fill();
  EXPECT_EQ(in_->buffered.load(), 2 * kPiece);
  EXPECT_EQ(in_->target_fill.load(), 2 * kPiece);
  EXPECT_EQ(RingOffset(in_->fill_pointer), 0u);
  // Reading through the file in odd steps, a piece arriving whenever there is room.
  std::mt19937 random(7);
  while (in_->consumer_position < 20 * kPiece) {
    uint32_t n = std::min<uint32_t>(random() % 90000, 20 * kPiece - in_->consumer_position);
    ReadAndCheck(kNoOffset, n);
    Fill();
  }
  EXPECT_EQ(in_->bytes_read.load(), 20 * kPiece);
}

TEST_F(RingTest, ForwardSkipInsideTheRingLeavesTheFileAlone) {
  Make(10 * kPiece, 4 * kPiece);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Service(), int32_t(kPiece));
  ReadAndCheck(0, 1000);
  const int64_t file_offset = FileOffset();
  const uint32_t bytes_read = in_->bytes_read.load();
  ReadAndCheck(200000, 5000);
  ReadAndCheck(3 * kPiece - 100, 100);  // up to the very end of the data
  EXPECT_EQ(FileOffset(), file_offset);
  EXPECT_EQ(in_->bytes_read.load(), bytes_read);
  EXPECT_EQ(in_->buffered.load(), 0u);
  EXPECT_EQ(in_->free_bytes.load(), 4 * kPiece);
  EXPECT_EQ(in_->consumer_position, 3 * kPiece);
  EXPECT_EQ(in_->consumer_pointer, in_->fill_pointer);
}

TEST_F(RingTest, SeeksBehindOrBeyondTheDataEmptyTheRing) {
  const struct {
    const char* name;
    uint32_t offset;
  } cases[] = {
      {"behind the consumer", 1000},
      {"back to the start", 0},
      {"just past the data", 3 * kPiece + 1},
      {"far beyond", 9 * kPiece + 77},
  };
  for (const auto& c : cases) {
    Make(10 * kPiece, 4 * kPiece);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Service(), int32_t(kPiece));
    ReadAndCheck(0, 50000);
    ReadAndCheck(c.offset, 3000);
    EXPECT_EQ(FileOffset(), c.offset + 3000) << c.name;
    EXPECT_EQ(in_->bytes_read.load(), 3 * kPiece + 3000) << c.name;
    EXPECT_EQ(in_->buffered.load(), 0u) << c.name;
    EXPECT_EQ(in_->free_bytes.load(), 4 * kPiece) << c.name;
    EXPECT_EQ(in_->consumer_pointer, in_->ring_start) << c.name;
    EXPECT_EQ(in_->fill_pointer, in_->ring_start) << c.name;
    ReadAndCheck(kNoOffset, 10);  // the next read goes on from there
    TearDown();
  }
}

TEST_F(RingTest, FirstPieceAfterASeekEndsOnABlockBoundary) {
  // A pure seek to 5000 bytes into a block, and a read that ends there.
  const struct {
    const char* name;
    uint32_t offset, n;
  } cases[] = {
      {"seek", 3 * kPiece + 5000, 0},
      {"read ending 5000 into a block", 3 * kPiece + 1000, 4000},
  };
  for (const auto& c : cases) {
    Make(10 * kPiece, 4 * kPiece);
    ReadAndCheck(c.offset, c.n);
    EXPECT_EQ(in_->file_position, 3 * kPiece + 5000) << c.name;
    EXPECT_EQ(Service(), int32_t(kPiece - 5000)) << c.name;
    EXPECT_EQ(RingOffset(in_->consumer_pointer), 5000u) << c.name;
    EXPECT_EQ(in_->file_position, 4 * kPiece) << c.name;
    EXPECT_EQ(Service(), int32_t(kPiece)) << c.name;
    EXPECT_EQ(in_->free_bytes.load(), 2 * kPiece + 5000) << c.name;
    // The data runs on across the slots, and the ring wraps with it.
    ReadAndCheck(kNoOffset, 2 * kPiece - 5000);
    Fill();
    ReadAndCheck(kNoOffset, 4 * kPiece);
    TearDown();
  }
}

TEST_F(RingTest, LastPieceOfTheMovieIsReadWhole) {
  // 5000 bytes into a block with less than a piece left: no skew.
  Make(3 * kPiece, 4 * kPiece);
  ReadAndCheck(2 * kPiece + 5000, 0);
  EXPECT_EQ(Service(), int32_t(kPiece - 5000));
  EXPECT_EQ(in_->consumer_pointer, in_->ring_start);
  ReadAndCheck(kNoOffset, kPiece - 5000);
}

TEST_F(RingTest, ReadTakesTheLockOnlyToSeekOrReadDirectly) {
  Make(10 * kPiece, 4 * kPiece);
  ReadAndCheck(kNoOffset, 100);  // empty ring: waits for the lock, reads directly
  EXPECT_EQ(g_waits, 1);
  EXPECT_EQ(in_->file_position, 100u);
  Fill();
  ReadAndCheck(kNoOffset, 1000);  // from the ring
  ReadAndCheck(1100, 1000);       // from the ring, at its own position
  EXPECT_EQ(g_waits, 1);
  ReadAndCheck(5000, 1000);  // a skip: under the lock
  EXPECT_EQ(g_waits, 2);
  // The ring holds part of a request: the rest comes directly, under the lock.
  const uint32_t in_ring = in_->buffered.load();
  ReadAndCheck(kNoOffset, in_ring + 7000);
  EXPECT_EQ(g_waits, 3);
  EXPECT_EQ(in_->file_position, in_->consumer_position);
  EXPECT_EQ(in_->buffered.load(), 0u);
  // The lock is free again whatever path was taken.
  ASSERT_TRUE(g_lock.try_lock());
  g_lock.unlock();
}

TEST_F(RingTest, TargetFillFollowsTheConsumer) {
  const uint32_t movie = 10 * kPiece;
  Make(movie, 4 * kPiece);
  ReadAndCheck(0, 1000);
  EXPECT_EQ(in_->target_fill.load(), 4 * kPiece);  // the whole ring
  Fill();
  ReadAndCheck(movie - 3 * kPiece, 1000);
  EXPECT_EQ(in_->target_fill.load(), 3 * kPiece - 1000);  // what is left of the movie
  Fill();
  // Less than a piece more to come than is buffered: what is buffered.
  ReadAndCheck(kNoOffset, 1000);
  EXPECT_EQ(in_->buffered.load(), 3 * kPiece - 2000);
  EXPECT_EQ(in_->target_fill.load(), 3 * kPiece - 2000);
}

TEST_F(RingTest, ShortReadStopsEveryRead) {
  const struct {
    const char* name;
    bool background;
  } cases[] = {{"background piece", true}, {"direct read", false}};
  for (const auto& c : cases) {
    // The movie claims 4 pieces; the file holds 2.5.
    Make(2 * kPiece + kPiece / 2, 8 * kPiece, 4 * kPiece);
    std::vector<uint8_t> out(4 * kPiece);
    if (c.background) {
      EXPECT_EQ(Service(), int32_t(kPiece));
      EXPECT_EQ(Service(), int32_t(kPiece));
      EXPECT_EQ(Service(), int32_t(kPiece / 2)) << c.name;
    } else {
      EXPECT_EQ(in_->read(in_.get(), 0, 0, out.data(), 3 * kPiece), 2 * kPiece + kPiece / 2);
    }
    EXPECT_EQ(in_->input_error.load(), 1u) << c.name;
    EXPECT_EQ(Service(), 0) << c.name;
    EXPECT_EQ(in_->read(in_.get(), 0, 0, out.data(), 10), 0u) << c.name;
    EXPECT_EQ(in_->read(in_.get(), 0, kNoOffset, out.data(), 10), 0u) << c.name;
    TearDown();
  }
}

TEST_F(RingTest, SuspendStopsBackgroundPieces) {
  Make(10 * kPiece, 4 * kPiece);
  EXPECT_EQ(in_->suspend(in_.get(), SUSPEND_PAUSE | SUSPEND_WAIT), 1u);
  EXPECT_EQ(Service(), 0);
  EXPECT_EQ(in_->buffered.load(), 0u);
  ReadAndCheck(kNoOffset, 1000);  // reading goes on, directly
  // Resuming with bit 31 reads one piece at once.
  EXPECT_EQ(in_->suspend(in_.get(), SUSPEND_RESUME | SUSPEND_WAIT), 0u);
  EXPECT_EQ(in_->buffered.load(), kPiece - 1000);
  EXPECT_EQ(in_->suspend(in_.get(), SUSPEND_PAUSE), 1u);
  EXPECT_EQ(in_->suspend(in_.get(), SUSPEND_RESUME), 0u);
  EXPECT_EQ(in_->buffered.load(), kPiece - 1000);
}

TEST_F(RingTest, ServiceGivesUpWhenTheLockIsBusy) {
  Make(10 * kPiece, 4 * kPiece);
  std::atomic<int> step{0};
  std::thread holder([&] {
    std::lock_guard<std::recursive_timed_mutex> hold(g_lock);
    step = 1;
    while (step != 2) std::this_thread::yield();
  });
  while (step != 1) std::this_thread::yield();
  EXPECT_EQ(Service(), -1);
  EXPECT_EQ(in_->buffered.load(), 0u);
  step = 2;
  holder.join();
  Fill();
  EXPECT_EQ(in_->buffered.load(), 4 * kPiece);
}

TEST_F(RingTest, SimulatedSpeedWaitsAndCarriesItsDebt) {
  test::DrivenClock clock;
  Make(10 * kPiece, 4 * kPiece, 0, 100000);
  // A piece that took 10 ms at 100000 bytes a second: 1310 ms owed, 1300 to wait.
  uint32_t t0 = Timer();
  clock.Advance(10);
  input_detail::ApplySimulatedSpeed(in_.get(), kPiece, t0);
  EXPECT_EQ(Timer() - t0, 1310u);
  EXPECT_EQ(in_->speed_debt, 0);
  // A read that was slower than the speed leaves a negative debt for the next.
  t0 = Timer();
  clock.Advance(1810);
  input_detail::ApplySimulatedSpeed(in_.get(), kPiece, t0);
  EXPECT_EQ(Timer() - t0, 1810u);
  EXPECT_EQ(in_->speed_debt, -500);
  t0 = Timer();
  input_detail::ApplySimulatedSpeed(in_.get(), kPiece, t0);
  EXPECT_EQ(Timer() - t0, 810u);
  EXPECT_EQ(in_->speed_debt, 0);
  // Through a background piece: the wait counts as reading time, idle or busy.
  in_->speed_debt = 0;
  EXPECT_EQ(Service(), int32_t(kPiece));
  EXPECT_EQ(in_->read_time.load(), 1310u);
  EXPECT_EQ(in_->idle_read_time.load(), 1310u);
  in_->movie_busy = 1;
  EXPECT_EQ(Service(), int32_t(kPiece));
  EXPECT_EQ(in_->background_read_time.load(), 1310u);
  // Direct reads pay the same price.
  const uint32_t before = Timer();
  ReadAndCheck(9 * kPiece, 50000);
  EXPECT_EQ(Timer() - before, 500u);
  EXPECT_EQ(in_->read_call_time.load(), 500u);
}

}  // namespace
}  // namespace vexil
