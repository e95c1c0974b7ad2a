// Engines share nothing: each has its own decode threads, service threads and
// sound output, a movie decodes the same on any of them, and an engine's
// threads end with it.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/driver_waveout.h"
#include "encoder/movie_writer.h"
#include "engine/background_decode.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/threads.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

// Every frame's luma plane, decoded with whatever threads the engine has.
std::vector<std::vector<uint8_t>> LumaFrames(MovieHandle* movie) {
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t f = 0; f < movie->container.frame_count; ++f) {
    if (f) Advance(movie);
    EXPECT_EQ(StartBackgroundDecode(movie), 1);
    while (!WaitForBackgroundDecode(movie)) {
    }
    const PlaneEntry& luma =
        movie->video.planes->sets[movie->video.planes->current_index.load()].plane[0];
    frames.emplace_back(luma.samples,
                        luma.samples + size_t{luma.pitch} * movie->container.file_height);
  }
  return frames;
}

TEST(Engine, TwoEnginesShareNothingAndDecodeAlike) {
  const std::string path = test::VectorsDir() + "/video/movie_003.vxl";
  const int threads_before = platform::ThreadsAlive();
  {
    Engine a, b;
    ASSERT_EQ(a.decode_threads.Start(2), 2);
    EXPECT_EQ(b.decode_threads.running_mask(), 0u);
    ASSERT_EQ(SetSoundSystem(&a.sound_system, WaveOutSoundProvider), 1);
    EXPECT_EQ(b.sound_system.open, nullptr);

    OpenOptions track;
    track.track_ids[0] = 3;
    MovieHandle* on_a = Open(a, MovieSource::Name(path.c_str()), OPEN_TRACK_LIST, track);
    MovieHandle* on_b = Open(b, MovieSource::Name(path.c_str()), OPEN_TRACK_LIST, track);
    ASSERT_TRUE(on_a && on_b);
    EXPECT_EQ(on_a->engine, &a);
    EXPECT_EQ(on_a->sound.play_tracks, 1u);
    EXPECT_EQ(on_b->sound.play_tracks, 0u);  // b has no sound output
    EXPECT_EQ(a.sound_system.open_tracks.load(), 1u);
    EXPECT_EQ(a.services.ThreadCount(), 1);  // a's sound service
    EXPECT_EQ(b.services.ThreadCount(), 0);
    EXPECT_EQ(LumaFrames(on_a), LumaFrames(on_b));
    Close(on_a);
    EXPECT_EQ(a.services.ThreadCount(), 0);
    EXPECT_EQ(a.sound_system.open_tracks.load(), 0u);
    Close(on_b);

    // Streamed: each movie joins the read service of its own engine.
    MovieWriter writer('i', 32, 16, 25, 1);
    for (int i = 0; i < 40; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(20000, 1));
    test::TempFile file(writer.Finish());
    on_a = Open(a, MovieSource::Name(file.c_str()), OPEN_NO_PLANES);
    on_b = Open(b, MovieSource::Name(file.c_str()), OPEN_NO_PLANES);
    ASSERT_TRUE(on_a && on_b);
    ASSERT_FALSE(on_a->open_flags & OPEN_PRELOAD);
    EXPECT_EQ(a.services.ThreadCount(), 1);
    EXPECT_EQ(b.services.ThreadCount(), 1);
    Close(on_b);
    EXPECT_EQ(a.services.ThreadCount(), 1);
    EXPECT_EQ(b.services.ThreadCount(), 0);
    Close(on_a);
  }
  // Every thread the two engines started was stopped and joined with them.
  EXPECT_EQ(platform::ThreadsAlive(), threads_before);
}

TEST(Engine, ClosingAMovieWaitsForItsOutstandingDecode) {
  const std::string path = test::VectorsDir() + "/video/movie_003.vxl";
  Engine engine;
  ASSERT_EQ(engine.decode_threads.Start(2), 2);
  MovieHandle* movie = Open(engine, MovieSource::Name(path.c_str()), 0);
  ASSERT_NE(movie, nullptr);
  ASSERT_EQ(StartBackgroundDecode(movie), 1);
  Close(movie);  // blocks until both jobs answered, then frees the movie
  // The replies were taken: the rings are empty for the next movie.
  movie = Open(engine, MovieSource::Name(path.c_str()), 0);
  ASSERT_NE(movie, nullptr);
  ASSERT_EQ(StartBackgroundDecode(movie), 1);
  EXPECT_EQ(WaitForBackgroundDecode(movie), 1);
  EXPECT_EQ(movie->clock.decoded_frame, 1u);
  Close(movie);
}

}  // namespace
}  // namespace vexil
