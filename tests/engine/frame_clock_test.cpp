// The engine timer and the frame clock, on a clock the tests drive.
#include "engine/frame_clock.h"

#include <gtest/gtest.h>

#include "driven_clock.h"
#include "encoder/movie_writer.h"
#include "engine/movie.h"
#include "platform/timer.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

using test::DrivenClock;

TEST(Timer, NeverZeroNeverBackwards) {
  DrivenClock clock;
  uint32_t first = Timer();
  EXPECT_NE(first, 0u);
  clock.Advance(40);
  EXPECT_EQ(Timer(), first + 40);
  // The counter jumps back (a bad processor counter): the last value is kept.
  clock.AdvanceCounter(-1000);
  clock.AdvanceTick(0);
  uint32_t held = Timer();
  EXPECT_EQ(held, first + 40);
}

TEST(Timer, DriftAgainstTheTickCount) {
  DrivenClock clock;
  uint32_t start = Timer();
  // 150 ms of drift is tolerated: the counter's reading stands.
  clock.AdvanceCounter(1000);
  clock.AdvanceTick(1150);
  EXPECT_EQ(Timer(), start + 1000);
  // 250 ms is corrected: the tick count's progress is taken, and the counter
  // is shifted so later readings continue from there.
  clock.AdvanceCounter(1000);
  clock.AdvanceTick(1250);
  uint32_t corrected = Timer();
  EXPECT_EQ(corrected, start + 1000 + 1250);
  clock.Advance(10);
  EXPECT_EQ(Timer(), corrected + 10);
}

// A movie of `frames` frames at `rate` frames per second, opened from memory.
class ClockTest : public ::testing::Test {
 protected:
  void OpenMovie(uint32_t frames, uint32_t rate_num, uint32_t rate_den = 1, uint32_t flags = 0,
                 const OpenOptions& options = {}) {
    MovieWriter writer('i', 16, 16, rate_num, rate_den);
    for (uint32_t i = 0; i < frames; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(8));
    bytes_ = writer.Finish();
    movie_ = Open(test::TestEngine(), MovieSource::Memory(bytes_.data(), bytes_.size()),
                  OPEN_MEMORY | flags, options);
    ASSERT_NE(movie_, nullptr);
  }
  void TearDown() override { Close(movie_); }

  // What the decode driver does when a frame's decode completes.
  void Decoded() {
    ASSERT_TRUE(ClockDecodeStart(movie_));
    FrameDone(movie_, Timer());
  }

  DrivenClock clock_;
  std::vector<uint8_t> bytes_;
  MovieHandle* movie_ = nullptr;
};

TEST_F(ClockTest, WaitsForTheNextFrame) {
  OpenMovie(10, 25);
  EXPECT_EQ(Wait(movie_), 0);  // nothing decoded yet
  Decoded();  // frame 1 decoded: the clock starts, frame 2 is due one period later
  EXPECT_EQ(Wait(movie_), 1);
  clock_.Advance(39);
  EXPECT_EQ(Wait(movie_), 1);
  clock_.Advance(1);
  EXPECT_EQ(Wait(movie_), 0);
  Advance(movie_);
  Decoded();  // frame 3 is due at 80 ms
  EXPECT_EQ(Wait(movie_), 1);
  clock_.Advance(40);
  EXPECT_EQ(Wait(movie_), 0);
}

TEST_F(ClockTest, AsFastAsPossibleNeverWaitsOrDrops) {
  OpenOptions as_fast_as_possible;
  as_fast_as_possible.rate_num = as_fast_as_possible.rate_den = 0;
  OpenMovie(5, 25, 1, OPEN_RATE_OVERRIDE, as_fast_as_possible);
  Decoded();
  EXPECT_EQ(Wait(movie_), 0);
  clock_.Advance(10000);
  movie_->sound.play_tracks = 1;  // even with sound
  EXPECT_EQ(SkipDecision(movie_, 0), 0);
  EXPECT_EQ(movie_->clock.skipped_blits, 0u);
  movie_->sound.play_tracks = 0;
}

TEST_F(ClockTest, WithoutSoundALateFrameIsShownAndTheClockRebased) {
  OpenMovie(10, 25);
  Decoded();
  clock_.Advance(500);
  EXPECT_EQ(SkipDecision(movie_, 0), 0);
  EXPECT_EQ(movie_->clock.skip_state, 1u);
  EXPECT_EQ(movie_->clock.base_time, Timer());
  EXPECT_EQ(movie_->clock.base_frame, 0);  // frames_shown - 1
  EXPECT_EQ(movie_->clock.skipped_blits, 0u);
}

TEST_F(ClockTest, WithSoundThreeLateFramesAreDroppedThenOneShown) {
  OpenMovie(20, 25);
  movie_->sound.play_tracks = 1;  // as if a track played
  movie_->sound.sound_on = 1;
  Decoded();
  clock_.Advance(1000);  // far behind: every frame is late
  int dropped = 0;
  for (int i = 0; i < 4; ++i) {
    movie_->clock.skip_state = 0;
    dropped += SkipDecision(movie_, 0);
  }
  EXPECT_EQ(dropped, 3);
  EXPECT_EQ(movie_->clock.skipped_blits, 3u);
  EXPECT_EQ(movie_->clock.skip_run, 0u);
  EXPECT_EQ(movie_->clock.skip_state, 1u);
  EXPECT_EQ(movie_->clock.very_late, 1u);  // more than 725 ms
  movie_->sound.play_tracks = 0;
}

TEST_F(ClockTest, NeverSkipAsksUncountedAndCountsNothing) {
  OpenMovie(20, 25);
  movie_->sound.play_tracks = 1;
  Decoded();
  clock_.Advance(300);
  EXPECT_EQ(SkipDecision(movie_, 1), 1);  // late
  EXPECT_EQ(movie_->clock.skip_state, 1u);  // but shown: Advance won't count it
  EXPECT_EQ(movie_->clock.skipped_blits, 0u);
  Advance(movie_);
  EXPECT_EQ(movie_->clock.skipped_blits, 0u);
  movie_->sound.play_tracks = 0;
}

TEST_F(ClockTest, PauseKeepsTheClockPosition) {
  OpenMovie(10, 25);
  Decoded();
  Advance(movie_);
  Decoded();
  clock_.Advance(20);  // the next frame is due at 80 ms
  EXPECT_EQ(Pause(movie_, 1), 1);
  EXPECT_EQ(Pause(movie_, 1), 1);  // no change: nothing happens
  clock_.Advance(10000);
  EXPECT_EQ(Pause(movie_, 0), 0);
  EXPECT_EQ(Wait(movie_), 1);
  clock_.Advance(59);
  EXPECT_EQ(Wait(movie_), 1);
  clock_.Advance(1);
  EXPECT_EQ(Wait(movie_), 0);
}

TEST_F(ClockTest, ResumingAnUnsetClockLeavesItUnset) {
  OpenMovie(10, 25);
  Decoded();
  Pause(movie_, 1);
  Advance(movie_);
  Decoded();  // a decode while paused unsets the clock ... then FrameDone starts it again
  movie_->clock.base_time = 0;
  Pause(movie_, 0);
  EXPECT_EQ(movie_->clock.base_time, 0u);
}

TEST_F(ClockTest, AdvanceWrapsToFrameOneAndResyncsAfterFiveMinutes) {
  OpenMovie(3, 25);
  for (int i = 0; i < 2; ++i) {
    Decoded();
    Advance(movie_);
  }
  EXPECT_EQ(movie_->reader.current_frame, 3);
  Decoded();
  Advance(movie_);
  EXPECT_EQ(movie_->reader.current_frame, 1);
  EXPECT_EQ(movie_->reader.previous_frame, 3);
  EXPECT_EQ(movie_->clock.resync, 0u);
  clock_.Advance(300001);
  for (int i = 0; i < 3; ++i) {
    Decoded();
    Advance(movie_);
  }
  EXPECT_EQ(movie_->reader.current_frame, 1);
  EXPECT_EQ(movie_->clock.resync, 1u);
  ASSERT_TRUE(ClockDecodeStart(movie_));  // the decode start consumes it once
  EXPECT_EQ(movie_->clock.resync, 0u);
  EXPECT_EQ(movie_->clock.base_time, 0u);
}

TEST_F(ClockTest, SlowestFramesAndHistory) {
  OpenMovie(10, 5);  // history of 5
  const uint32_t intervals[] = {0, 100, 300, 200, 250};
  for (uint32_t interval : intervals) {
    clock_.Advance(interval);
    Decoded();
    Advance(movie_);
  }
  // Intervals ended by decodes of frames 2..5; each is booked under the frame
  // decoded before it.
  EXPECT_EQ(movie_->clock.slowest_time, 300u);
  EXPECT_EQ(movie_->clock.slowest_frame, 2u);
  EXPECT_EQ(movie_->clock.second_time, 250u);
  EXPECT_EQ(movie_->clock.second_frame, 4u);
  EXPECT_EQ(movie_->clock.frames_shown.load(), 5u);
  // The ring runs backwards from slot 4: the newest finish time is at history_pos.
  EXPECT_EQ(movie_->clock.history_pos, 0u);
  EXPECT_EQ(movie_->clock.history[HISTORY_DONE_TIME][0], Timer());
  EXPECT_EQ(movie_->clock.history[HISTORY_DONE_TIME][1], Timer() - 250);
}

TEST_F(ClockTest, FirstDecodeBacksDatesTheSlotBefore) {
  OpenMovie(10, 25);
  Decoded();
  uint32_t pos = movie_->clock.history_pos;
  uint32_t previous = (pos + 1) % movie_->clock.history_len;
  EXPECT_EQ(movie_->clock.history[HISTORY_DONE_TIME][previous], movie_->clock.play_start - 40);
}

}  // namespace
}  // namespace vexil
