// Whole movies played through the engine onto the headless devices, with the
// decode threads, the read service and the sound service running: what the
// device played must be exactly what `vexil decode --wav` decodes from the
// track. And an underrun in the middle of a movie: one sound skip, the read
// ahead refilled, playing resumed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/driver_directsound.h"
#include "audio/driver_waveout.h"
#include "engine/background_decode.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "engine/movie_sound.h"
#include "sound_test_util.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

namespace hs = platform::headless_sound;

const std::string kTool = test::BuiltProgram("tools/vexil");

// The PCM of a WAV file's data chunk.
std::vector<uint8_t> WavData(const std::vector<uint8_t>& wav) {
  size_t pos = 12;
  while (pos + 8 <= wav.size()) {
    const uint32_t size = ReadLE32(&wav[pos + 4]);
    if (std::memcmp(&wav[pos], "data", 4) == 0 && pos + 8 + size <= wav.size())
      return std::vector<uint8_t>(wav.begin() + pos + 8, wav.begin() + pos + 8 + size);
    pos += 8 + size + (size & 1);
  }
  return {};
}

// What `vexil decode MOVIE --wav OUT --track ID` writes.
std::vector<uint8_t> DecodedByTool(const std::string& movie, uint32_t id) {
  test::TempFile out("track.wav");
  const test::ProgramOutcome outcome = test::RunProgram(
      kTool, {"decode", movie, "--quiet", "--wav", out.path(), "--track", std::to_string(id)});
  EXPECT_EQ(outcome.exit_code, 0) << movie << ": " << outcome.error_output;
  return WavData(test::ReadFileBytes(out.path()));
}

// Counts the driver's `ready` calls made by the sound service thread.
struct ServiceWatch {
  static inline std::thread::id player;
  static inline int (*original)(SoundTrack*) = nullptr;
  static inline std::atomic<int> calls{0};

  static int Ready(SoundTrack* t) {
    if (std::this_thread::get_id() != player) ++calls;
    return original(t);
  }
  // Installs the counter on the first track (the ops are read under the sound mutex).
  static void Install(MovieHandle* m) {
    std::lock_guard<std::recursive_timed_mutex> lock(m->sound.sound_mutex);
    player = std::this_thread::get_id();
    calls = 0;
    original = m->sound.track_states[0].ops.ready;
    m->sound.track_states[0].ops.ready = Ready;
  }
};

class PlaybackTest : public test::SoundTest {
 protected:
  void TearDown() override {
    Close(movie_);
    test::TestEngine().decode_threads.Stop();
    SoundTest::TearDown();
  }

  uint64_t Played() {
    uint64_t played = 0;
    for (const hs::DeviceInfo& d : hs::Devices()) played += d.bytes_played;
    return played;
  }

  // Idles on the clock until the next frame is due, as the player does.
  // With `pace_`, each step also lets a millisecond of real time pass until
  // the sound service (which wakes on real time) has fed the output a few
  // times, so that it works alongside the player, decode and read threads.
  void WaitForFrame() {
    for (int guard = 0; guard < 1000 && Wait(movie_); ++guard) {
      Step(kStepMs);
      if (pace_ && ServiceWatch::calls < kServiceCalls)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Plays frames from the current one (already fetched, its decode started)
  // up to and including frame `last`.
  void PlayFrames(int last) {
    for (;;) {
      while (!WaitForBackgroundDecode(movie_)) {
      }
      WaitForFrame();
      if (movie_->reader.current_frame >= last) return;
      Advance(movie_);
      StartBackgroundDecode(movie_);
    }
  }

  // The player's loop over the whole movie, then the clock runs on until the
  // device has played `bytes`.
  void PlayWholeMovie(uint64_t bytes) {
    ASSERT_EQ(StartBackgroundDecode(movie_), 1);
    PlayFrames(static_cast<int>(movie_->container.frame_count));
    for (int guard = 0; guard < 1000 && Played() < bytes; ++guard) {
      Step(kStepMs);
      ServiceSound(movie_);
    }
  }

  static constexpr uint32_t kStepMs = 5;
  static constexpr int kServiceCalls = 3;
  MovieHandle* movie_ = nullptr;
  bool pace_ = false;
};

struct WholeMovieCase {
  const char* name;
  SoundProvider provider;
  int threads;
  test::SoundMoviePlan plan;
  uint32_t open_flags;
  bool with_sound_service = false;
};

test::SoundMoviePlan Plan(uint32_t rate, uint32_t channels, bool sixteen, bool dct, uint32_t frames,
                          uint32_t lead_ms = 750) {
  test::SoundMoviePlan s;
  s.rate = rate;
  s.channels = channels;
  s.sixteen_bit = sixteen;
  s.dct = dct;
  s.frames = frames;
  s.lead_ms = lead_ms;
  s.video_bytes = 20000;  // enough to stream through the read-ahead ring
  s.seed = rate + frames;
  return s;
}

TEST_F(PlaybackTest, DevicePlaysExactlyWhatTheTrackDecodesTo) {
  const WholeMovieCase cases[] = {
      {"waveOut 44.1 kHz stereo", WaveOutSoundProvider, 2, Plan(44100, 2, true, true, 75), 0, true},
      {"DirectSound 44.1 kHz stereo", DirectSoundProvider, 2, Plan(44100, 2, true, true, 75), 0,
       true},
      {"DirectSound 22.05 kHz mono real FFT", DirectSoundProvider, 2,
       Plan(22050, 1, true, false, 60), OPEN_PRELOAD},
      {"waveOut 11025 Hz 8-bit stereo", WaveOutSoundProvider, 0,
       Plan(11025, 2, false, true, 50, 500), 0},
      {"DirectSound 8 kHz 8-bit mono", DirectSoundProvider, 1, Plan(8000, 1, false, false, 40, 500),
       OPEN_NO_THREAD_READ},
      {"short movie", WaveOutSoundProvider, 1, Plan(44100, 2, true, true, 8), 0},
      {"short movie", DirectSoundProvider, 1, Plan(44100, 2, true, true, 2), 0},
  };
  for (const WholeMovieCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFile file(test::MakeSoundMovie(c.plan));
    std::vector<uint8_t> expected = DecodedByTool(file.path(), c.plan.id);
    ASSERT_EQ(expected.size(),
              uint64_t{c.plan.frames} * c.plan.rate / c.plan.fps * 2 * c.plan.channels);
    if (!c.plan.sixteen_bit) expected = test::EightBit(expected);

    ASSERT_EQ(test::TestEngine().decode_threads.Start(c.threads), c.threads);
    ASSERT_EQ(SetSoundSystem(&test::TestEngine().sound_system, c.provider), 1);
    hs::TakeCapture();
    movie_ = Open(test::TestEngine(), MovieSource::Name(file.c_str()), c.open_flags);
    ASSERT_NE(movie_, nullptr);
    ASSERT_EQ(movie_->sound.play_tracks, 1u);
    pace_ = c.with_sound_service;
    if (pace_) {
      ASSERT_NE(movie_->sound.sound_node, nullptr);
      ASSERT_NE(movie_->reader.read_node, nullptr);
      ServiceWatch::Install(movie_);
    }
    PlayWholeMovie(expected.size());
    if (pace_) {
      EXPECT_GE(ServiceWatch::calls, kServiceCalls);
    }
    EXPECT_EQ(movie_->clock.sound_skips, 0u);
    EXPECT_EQ(movie_->clock.skipped_blits, 0u);
    std::vector<uint8_t> played = hs::TakeCapture();
    ASSERT_GE(played.size(), expected.size());
    played.resize(expected.size());
    size_t same = 0;
    while (same < expected.size() && played[same] == expected[same]) ++same;
    EXPECT_EQ(same, expected.size()) << "first difference at byte " << same;
    Close(movie_);
    movie_ = nullptr;
    test::TestEngine().decode_threads.Stop();
  }
}

// The conformance movies spread random amounts of audio over their frames,
// often more than real time, which a player drops once its ring and output are
// full, or less than the output waits for before it starts. These tracks fit.
TEST_F(PlaybackTest, ConformanceTracksPlayAsTheyDecode) {
  const struct {
    const char* file;
    uint32_t id;
    SoundProvider provider;
  } vectors[] = {
      {"audio/a2.vxl", 1, DirectSoundProvider},
      {"audio/a2.vxl", 1, WaveOutSoundProvider},
      {"audio/a3.vxl", 4, DirectSoundProvider},
      {"video/movie_003.vxl", 3, WaveOutSoundProvider},
      {"video/movie_008.vxl", 6, DirectSoundProvider},
      {"video/movie_008.vxl", 4, WaveOutSoundProvider},
      {"video/movie_013.vxl", 4, DirectSoundProvider},
      {"video/movie_038.vxl", 12, WaveOutSoundProvider},
      // A one-frame movie with less audio than the outputs wait for before
      // they start: they start with what they have in the last stretch.
      {"video/movie_023.vxl", 9, WaveOutSoundProvider},
      {"video/movie_023.vxl", 14, DirectSoundProvider},
  };
  ASSERT_EQ(test::TestEngine().decode_threads.Start(2), 2);
  for (const auto& v : vectors) {
    SCOPED_TRACE(testing::Message() << v.file << " track " << v.id);
    const std::string path = test::VectorsDir() + "/" + v.file;
    const std::vector<uint8_t> expected = DecodedByTool(path, v.id);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(SetSoundSystem(&test::TestEngine().sound_system, v.provider), 1);
    hs::TakeCapture();
    OpenOptions track;
    track.track_ids[0] = v.id;
    movie_ = Open(test::TestEngine(), MovieSource::Name(path.c_str()), OPEN_TRACK_LIST, track);
    ASSERT_NE(movie_, nullptr);
    ASSERT_EQ(movie_->sound.play_tracks, 1u);
    PlayWholeMovie(expected.size());
    std::vector<uint8_t> played = hs::TakeCapture();
    ASSERT_GE(played.size(), expected.size());
    played.resize(expected.size());
    size_t same = 0;
    while (same < expected.size() && played[same] == expected[same]) ++same;
    EXPECT_EQ(same, expected.size()) << "first difference at byte " << same;
    Close(movie_);
    movie_ = nullptr;
  }
}

// Records the input's `service` calls made during one Advance.
struct ServiceLog {
  static inline int32_t (*original)(InputRecord*) = nullptr;
  static inline std::atomic<bool> recording{false};
  static inline int calls = 0;
  static inline int32_t last_result = 0;
  static inline uint32_t last_buffered = 0;
  static inline uint32_t last_target = 0;

  static int32_t Service(InputRecord* in) {
    const int32_t result = original(in);
    if (recording) {
      ++calls;
      last_result = result;
      last_buffered = in->buffered.load();
      last_target = in->target_fill.load();
    }
    return result;
  }
};

TEST_F(PlaybackTest, AnUnderrunIsOneSkipThenARefillAndPlayingAgain) {
  for (SoundProvider provider : {WaveOutSoundProvider, DirectSoundProvider}) {
    SCOPED_TRACE(provider == WaveOutSoundProvider ? "waveOut" : "DirectSound");
    test::SoundMoviePlan plan = Plan(22050, 2, true, true, 100);
    plan.video_bytes = 64 * 1024;
    test::TempFile file(test::MakeSoundMovie(plan));
    ASSERT_EQ(test::TestEngine().decode_threads.Start(1), 1);
    ASSERT_EQ(SetSoundSystem(&test::TestEngine().sound_system, provider), 1);
    OpenOptions buffer;
    buffer.read_buffer_size = 1 << 20;
    // Read ahead only while the player idles, so the ring drains when it does not.
    movie_ = Open(test::TestEngine(), MovieSource::Name(file.c_str()),
                  OPEN_READ_BUFFER | OPEN_NO_THREAD_READ, buffer);
    ASSERT_NE(movie_, nullptr);
    ASSERT_FALSE(movie_->open_flags & OPEN_PRELOAD);
    ServiceLog::original = movie_->reader.input->service;
    movie_->reader.input->service = ServiceLog::Service;
    ASSERT_EQ(StartBackgroundDecode(movie_), 1);
    PlayFrames(20);

    // Eight frames without idling: the ring loses eight packets.
    for (int f = 0; f < 8; ++f) {
      Advance(movie_);
      StartBackgroundDecode(movie_);
      while (!WaitForBackgroundDecode(movie_)) {
      }
      Step(40);
      ServiceSound(movie_);
    }
    const InputRecord& in = *movie_->reader.input;
    ASSERT_LT(uint64_t{in.buffered} * 32, uint64_t{in.target_fill} * 29);
    // The driver looks at its device again after 12 ms; by then it has run dry.
    Step(20);
    hs::InjectUnderrun();
    ServiceSound(movie_);
    ASSERT_EQ(movie_->sound.track_states[0].skipped.load(), 1u);

    ServiceLog::calls = 0;
    ServiceLog::recording = true;
    Advance(movie_);
    ServiceLog::recording = false;
    EXPECT_EQ(movie_->clock.sound_skips, 1u);
    EXPECT_EQ(movie_->sound.sound_on.load(), 1u);
    EXPECT_EQ(movie_->clock.base_time, 0u);  // the clock starts again with the next frame
    EXPECT_GT(ServiceLog::calls, 0);
    EXPECT_TRUE(uint64_t{ServiceLog::last_buffered} * 32 >=
                    uint64_t{ServiceLog::last_target} * 29 ||
                ServiceLog::last_result == 0);

    // Playing goes on: the primed silence and then the next frames play.
    const uint64_t played_before = Played();
    StartBackgroundDecode(movie_);
    PlayFrames(60);
    EXPECT_EQ(movie_->clock.sound_skips, 1u);
    EXPECT_GT(Played(), played_before + 22050 * 4 / 2);
    Close(movie_);
    movie_ = nullptr;
    test::TestEngine().decode_threads.Stop();
  }
}

}  // namespace
}  // namespace vexil
