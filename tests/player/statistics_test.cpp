// The statistics line and the playback summary, from movies played on a
// driven clock.
#include "player/statistics.h"

#include <gtest/gtest.h>

#include "driven_clock.h"
#include "encoder/movie_writer.h"
#include "engine/background_decode.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/timer.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

TEST(Summary, Durations) {
  const struct {
    uint32_t ms;
    const char* text;
  } cases[] = {
      {0, "0 milliseconds"},          {1, "1 millisecond"},
      {999, "999 milliseconds"},      {1000, "1 second"},
      {1500, "1 second"},             {59999, "59 seconds"},
      {60000, "1 minute 0 seconds"},  {61000, "1 minute 1 second"},
      {125000, "2 minutes 5 seconds"}, {3600000, "1 hour 0 minutes"},
      {3725000, "1 hour 2 minutes"},  {7260000, "2 hours 1 minute"},
  };
  for (const auto& c : cases) EXPECT_EQ(DurationText(c.ms), c.text) << c.ms;
}

class Played : public ::testing::Test {
 protected:
  // Plays `frames` frames of a 25 fps movie, 40 ms apart, decoding on the caller's thread.
  void Play(uint32_t frames, uint32_t movie_frames = 50) {
    MovieWriter writer('i', 64, 48, 25, 1);
    for (uint32_t i = 0; i < movie_frames; ++i)
      writer.AddFrame(i == 0, std::vector<uint8_t>(100 + i * 4));
    bytes_ = writer.Finish();
    movie_ =
        Open(test::TestEngine(), MovieSource::Memory(bytes_.data(), bytes_.size()), OPEN_MEMORY);
    ASSERT_NE(movie_, nullptr);
    for (uint32_t f = 0; f < frames; ++f) {
      if (f) {
        clock_.Advance(40);
        Advance(movie_);
      }
      ASSERT_EQ(StartBackgroundDecode(movie_), 1);
      ASSERT_EQ(WaitForBackgroundDecode(movie_), 1);
    }
  }
  void TearDown() override { Close(movie_); }

  test::DrivenClock clock_;
  std::vector<uint8_t> bytes_;
  MovieHandle* movie_ = nullptr;
};

std::string Line(const std::string& text, const std::string& start) {
  size_t at = text.find(start);
  if (at == std::string::npos) return "(missing " + start + ")";
  return text.substr(at, text.find('\n', at) - at);
}

TEST_F(Played, SummaryText) {
  Play(10);
  clock_.Advance(40);
  SummaryRecord s = CaptureSummary(movie_, Timer());
  EXPECT_EQ(s.frames_shown, 10u);
  EXPECT_EQ(s.total_time, 400u);
  EXPECT_EQ(s.peak_frame, movie_->container.peak_frame + 1);
  std::string text = SummaryText(s, "DIBSection", 1920, 1080, 32);
  EXPECT_EQ(text.substr(0, text.find('\n')), "Video: 64 x 48 at 25.0 frames/sec");
  EXPECT_EQ(Line(text, "Frame rate played"), "Frame rate played: 25.0 frames/sec");
  EXPECT_EQ(Line(text, "Frame rate obtained"), "Frame rate obtained: 25.0 frames/sec");
  EXPECT_EQ(Line(text, "Skipped frames"), "Skipped frames: 0");
  EXPECT_EQ(Line(text, "Total playback time"), "Total playback time: 400 milliseconds");
  EXPECT_EQ(Line(text, "Slowest frame"), "Slowest frame: 1 (25.0 frames/sec)");
  EXPECT_EQ(Line(text, "Second slowest"), "Second slowest frame: 2 (25.0 frames/sec)");
  EXPECT_EQ(Line(text, "Blitting style"), "Blitting style: DIBSection");
  EXPECT_EQ(Line(text, "Video mode"), "Video mode: 1920 x 1080 at 32 bits");
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(Played, AsFastAsPossibleAndOneFrame) {
  OpenOptions as_fast_as_possible;
  as_fast_as_possible.rate_num = as_fast_as_possible.rate_den = 0;
  MovieWriter writer('i', 16, 16, 10, 1);
  writer.AddFrame(true, std::vector<uint8_t>(8));
  bytes_ = writer.Finish();
  movie_ = Open(test::TestEngine(), MovieSource::Memory(bytes_.data(), bytes_.size()),
                OPEN_MEMORY | OPEN_RATE_OVERRIDE, as_fast_as_possible);
  ASSERT_NE(movie_, nullptr);
  SummaryRecord none = CaptureSummary(movie_, Timer());
  EXPECT_EQ(SummaryText(none, "x", 1, 1, 1), "");  // nothing played: no summary
  ASSERT_EQ(StartBackgroundDecode(movie_), 1);
  ASSERT_EQ(WaitForBackgroundDecode(movie_), 1);
  clock_.Advance(5);
  std::string text = SummaryText(CaptureSummary(movie_, Timer()), "x", 1, 1, 1);
  EXPECT_EQ(Line(text, "Frame rate played"), "Frame rate played: As fast as possible");
  EXPECT_EQ(text.find("Second slowest"), std::string::npos);
  EXPECT_NE(text.find("Slowest frame: 0 (1000.0 frames/sec)\n\nAverage"), std::string::npos) << text;
}

TEST_F(Played, StatisticsLineAtTheSecondFrameUsesOneFrame) {
  Play(2);
  // Frame 2 was fetched and decoded: the window is one frame of 40 ms.
  EXPECT_EQ(StatisticsLine(movie_),
            "Fr: 2, FPS: 25.0, Buf: 100%, Vid: 0%, Aud: 0%, Blit: 0%, Read: 0%, Back: 0%, "
            "Rate: " +
                std::to_string(104 * 25));
}

TEST_F(Played, StatisticsLineOverASecond) {
  Play(40);
  // 25 frames per second: a window of 24 frames over 960 ms, packets 100 + 4i
  // bytes; frames 16..39 (0-based) end at the current frame.
  uint32_t bytes = 0;
  for (uint32_t i = 16; i < 40; ++i) bytes += 100 + 4 * i;
  EXPECT_EQ(StatisticsLine(movie_), "Fr: 40, FPS: 25.0, Buf: 100%, Vid: 0%, Aud: 0%, Blit: 0%, "
                                    "Read: 0%, Back: 0%, Rate: " +
                                        std::to_string(bytes * 25 / 24));
}

}  // namespace
}  // namespace vexil
