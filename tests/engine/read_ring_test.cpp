// The read-ahead ring of the built-in input, driven directly: pieces, skips
// and seeks inside and outside the ring, the skew after a seek, short reads,
// suspension, and the simulated read speed on a clock the test drives.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "driven_clock.h"
#include "engine/input.h"
#include "engine/input_internal.h"
#include "platform/timer.h"
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
    if (in_) in_->close(in_.get());
    file_ = std::make_unique<TempFile>(PatternBytes(file_bytes));
    in_ = std::make_unique<InputRecord>();
    ASSERT_EQ(OpenFileInput(in_.get(), file_->c_str(), platform::kNoFile, 0, nullptr, nullptr), 1);
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

  std::unique_ptr<TempFile> file_;
  std::unique_ptr<InputRecord> in_;
  std::vector<uint8_t> memory_;
};

TEST(RingSizing, BufferSizeAndRingPlacement) {
  InputRecord in;
  in.Clear();
  for (auto [wanted, memory] : {std::pair<uint32_t, uint32_t>{100000, 266240},
                                {300000, 397312},
                                {0, 266240},
                                {262145, 397312},
                                {0xFFFFFFFFu, 0xFFFFF000u}})
    EXPECT_EQ(RingBufferSize(&in, wanted), memory) << wanted;
  // The ring starts on 4 KiB and never runs past its memory, even for a size
  // that did not come from buffer_size.
  std::vector<uint8_t> memory(3 * kPiece + 8192);
  auto* aligned = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(memory.data()) + 4095) &
                                             ~uintptr_t{4095});
  const struct {
    uint32_t shift, size, ring;
  } cases[] = {{0, 266240, 2 * kPiece}, {1, 266240, 2 * kPiece}, {100, 2 * kPiece, kPiece}};
  for (const auto& c : cases) {
    RingSetBuffer(&in, aligned + c.shift, c.size, 1000000, 0);
    EXPECT_EQ(in.buffer_bytes, c.ring) << c.shift;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(in.ring_start) % 4096, 0u);
    EXPECT_LE(in.ring_end, aligned + c.shift + c.size);
  }
}

TEST_F(RingTest, PiecesUpToAFullRingOrTheMovieEnd) {
  Make(3 * kPiece + 1000, 4 * kPiece);
  for (int32_t expected : {kPiece, kPiece, kPiece, 1000u, 0u}) EXPECT_EQ(Service(), expected);
  EXPECT_EQ(in_->free_bytes.load(), kPiece - 1000);
  EXPECT_EQ(in_->target_fill.load(), 3 * kPiece + 1000);  // nothing more to come
  ReadAndCheck(0, 3 * kPiece + 1000);
  EXPECT_EQ(g_waits, 0);  // all from the ring, without the lock
  Make(10 * kPiece, 2 * kPiece);
  for (int32_t expected : {kPiece, kPiece, 0u}) EXPECT_EQ(Service(), expected);
  EXPECT_EQ(in_->fill_pointer, in_->ring_start);
}

TEST_F(RingTest, ForwardSkipInsideTheRingLeavesTheFileAlone) {
  Make(10 * kPiece, 4 * kPiece);
  Fill();
  ReadAndCheck(0, 1000);
  const int64_t file_offset = FileOffset();
  ReadAndCheck(200000, 5000);
  ReadAndCheck(4 * kPiece - 100, 100);  // up to the very end of the data
  EXPECT_EQ(FileOffset(), file_offset);
  EXPECT_EQ(in_->bytes_read.load(), 4 * kPiece);
  EXPECT_EQ(in_->free_bytes.load(), 4 * kPiece);
  EXPECT_EQ(in_->consumer_pointer, in_->fill_pointer);
  EXPECT_EQ(g_waits, 2);  // the skips, not the reads
}

TEST_F(RingTest, SeeksBehindOrBeyondTheDataEmptyTheRing) {
  for (uint32_t offset : {1000u, 0u, 3 * kPiece + 1, 9 * kPiece + 77}) {
    Make(10 * kPiece, 4 * kPiece);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Service(), int32_t(kPiece));
    ReadAndCheck(0, 50000);
    ReadAndCheck(offset, 3000);
    EXPECT_EQ(FileOffset(), offset + 3000) << offset;
    EXPECT_EQ(in_->bytes_read.load(), 3 * kPiece + 3000) << offset;
    EXPECT_EQ(in_->free_bytes.load(), 4 * kPiece) << offset;
    EXPECT_EQ(in_->fill_pointer, in_->ring_start) << offset;
    ReadAndCheck(kNoOffset, 10);
  }
}

TEST_F(RingTest, FirstPieceAfterASeekEndsOnABlockBoundary) {
  const struct {
    const char* name;
    uint32_t movie, offset, n, first_piece, skew;
  } cases[] = {
      {"seek 5000 into a block", 10 * kPiece, 3 * kPiece + 5000, 0, kPiece - 5000, 5000},
      // The skew follows the file position after the read, not the seek offset.
      {"read ending 5000 into a block", 10 * kPiece, 3 * kPiece + 1000, 4000, kPiece - 5000, 5000},
      {"last piece of the movie is read whole", 3 * kPiece, 2 * kPiece + 5000, 0, kPiece - 5000, 0},
  };
  for (const auto& c : cases) {
    Make(c.movie, 4 * kPiece);
    ReadAndCheck(c.offset, c.n);
    EXPECT_EQ(Service(), int32_t(c.first_piece)) << c.name;
    EXPECT_EQ(static_cast<uint32_t>(in_->consumer_pointer - in_->ring_start), c.skew) << c.name;
    // The data runs on across the slots, and the ring wraps with it.
    Fill();
    ReadAndCheck(kNoOffset, in_->buffered.load());
    Fill();
    ReadAndCheck(kNoOffset, in_->buffered.load());
  }
}

TEST_F(RingTest, ReadsDirectlyOnlyUnderTheLock) {
  Make(10 * kPiece, 4 * kPiece);
  ReadAndCheck(kNoOffset, 100);  // empty ring: waits for the lock, reads directly
  EXPECT_EQ(g_waits, 1);
  Fill();
  ReadAndCheck(kNoOffset, 1000);  // from the ring, without the lock
  EXPECT_EQ(g_waits, 1);
  // Less than a piece of room left: the ring is as full as it usefully gets.
  EXPECT_EQ(in_->target_fill.load(), 4 * kPiece - 1100);
  const uint32_t in_ring = in_->buffered.load();
  ReadAndCheck(kNoOffset, in_ring + 7000);  // the ring, then the rest directly
  EXPECT_EQ(g_waits, 2);
  EXPECT_EQ(in_->file_position, in_->consumer_position);
  // Near the end the ring should hold what is left of the movie.
  ReadAndCheck(7 * kPiece, 1000);
  EXPECT_EQ(in_->target_fill.load(), 3 * kPiece - 1000);
  ASSERT_TRUE(g_lock.try_lock());  // released on every path
  g_lock.unlock();
}

TEST_F(RingTest, ShortReadStopsEveryRead) {
  // The movie claims 4 pieces; the file holds 2.5 (8 pieces of ring hold it all).
  const uint32_t file_bytes = 2 * kPiece + kPiece / 2;
  Make(file_bytes, 8 * kPiece, 4 * kPiece);
  std::vector<uint8_t> out(4 * kPiece);
  EXPECT_EQ(in_->read(in_.get(), 0, 0, out.data(), 3 * kPiece), file_bytes);
  EXPECT_EQ(in_->input_error.load(), 1u);
  EXPECT_EQ(Service(), 0);
  EXPECT_EQ(in_->read(in_.get(), 0, 0, out.data(), 10), 0u);
}

TEST_F(RingTest, BackgroundPiecesEndTheMovieWhereTheFileEnds) {
  // Read ahead, a file cut short ends the movie where it ends: what the ring
  // holds is delivered, and the error comes with the first read past it.
  const uint32_t file_bytes = 2 * kPiece + kPiece / 2;
  Make(file_bytes, 8 * kPiece, 4 * kPiece);
  Fill();
  EXPECT_EQ(in_->input_error.load(), 0u);
  EXPECT_EQ(in_->movie_size.load(), file_bytes);
  EXPECT_EQ(in_->buffered.load(), file_bytes);
  EXPECT_EQ(Service(), 0);
  ReadAndCheck(0, file_bytes - 10);
  std::vector<uint8_t> out(100);
  EXPECT_EQ(in_->read(in_.get(), 0, kNoOffset, out.data(), 100), 10u);
  EXPECT_EQ(in_->input_error.load(), 1u);
  EXPECT_EQ(Service(), 0);
  EXPECT_EQ(in_->read(in_.get(), 0, 0, out.data(), 10), 0u);
}

TEST_F(RingTest, SuspendStopsBackgroundPieces) {
  Make(10 * kPiece, 4 * kPiece);
  EXPECT_EQ(in_->suspend(in_.get(), SUSPEND_PAUSE | SUSPEND_WAIT), 1u);
  EXPECT_EQ(Service(), 0);
  ReadAndCheck(kNoOffset, 1000);  // reading goes on, directly
  // Resuming with bit 31 reads one piece at once; without, none.
  EXPECT_EQ(in_->suspend(in_.get(), SUSPEND_RESUME | SUSPEND_WAIT), 0u);
  EXPECT_EQ(in_->buffered.load(), kPiece - 1000);
  in_->suspend(in_.get(), SUSPEND_PAUSE);
  EXPECT_EQ(in_->suspend(in_.get(), SUSPEND_RESUME), 0u);
  EXPECT_EQ(in_->buffered.load(), kPiece - 1000);
}

TEST_F(RingTest, SimulatedSpeedWaitsAndCarriesItsDebt) {
  test::DrivenClock clock;
  Make(10 * kPiece, 4 * kPiece, 0, 100000);
  // At 100000 bytes a second a piece owes 1310 ms: `took` ms of reading, then
  // the wait; a slow read leaves a negative debt for the next one.
  const struct {
    uint32_t took, total;
    int32_t debt;
  } reads[] = {{10, 1310, 0}, {1810, 1810, -500}, {0, 810, 0}};
  for (const auto& r : reads) {
    const uint32_t t0 = Timer();
    clock.Advance(r.took);
    input_detail::ApplySimulatedSpeed(in_.get(), kPiece, t0);
    EXPECT_EQ(Timer() - t0, r.total) << r.took;
    EXPECT_EQ(in_->speed_debt, r.debt) << r.took;
  }
  // A background piece counts the wait as reading time, idle or busy.
  EXPECT_EQ(Service(), int32_t(kPiece));
  in_->movie_busy = 1;
  EXPECT_EQ(Service(), int32_t(kPiece));
  EXPECT_EQ(in_->read_time.load(), 2620u);
  EXPECT_EQ(in_->idle_read_time.load(), 1310u);
  EXPECT_EQ(in_->background_read_time.load(), 1310u);
  // Direct reads pay the same price, inside the read call time.
  ReadAndCheck(9 * kPiece, 50000);
  EXPECT_EQ(in_->read_call_time.load(), 500u);
}

}  // namespace
}  // namespace vexil
