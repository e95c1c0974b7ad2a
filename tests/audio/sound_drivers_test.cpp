// The waveOut and DirectSound drivers on the headless devices, driven by the
// test's clock: their figures, volume and pan, starting, running dry, pause,
// on and off, and the provider rules.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/driver_directsound.h"
#include "audio/driver_waveout.h"
#include "engine/movie.h"
#include "platform/headless/sound_headless.h"
#include "sound_test_util.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

namespace hs = platform::headless_sound;

// A track record opened by a driver directly, with the movie figures the
// drivers read (frame count and rate).
class DriverTest : public test::SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    // The DirectSound driver opens on the object its provider chose.
    ASSERT_NE(DirectSoundProvider(nullptr), nullptr);
  }
  void TearDown() override {
    if (open_ && track_->ops.close) track_->ops.close(track_.get());
    SoundTest::TearDown();
  }
  void OpenWith(SoundDriverOpen open, uint32_t rate, uint32_t bits, uint32_t channels,
                uint32_t frames = 1000) {
    movie_.frame_count = frames;
    movie_.rate_num = 25;
    movie_.rate_den = 1;
    ASSERT_EQ(open(track_.get(), rate, bits, channels, 0, movie_), 1);
    open_ = true;
  }
  void Close() {
    track_->ops.close(track_.get());
    open_ = false;
  }
  // What ServiceSound would do with an endless supply of the byte `fill`:
  // returns the bytes handed over.
  uint64_t Feed(uint8_t fill, uint64_t limit = UINT64_MAX) {
    SoundTrack* t = track_.get();
    uint64_t total = 0;
    while (total < limit && t->ops.ready(t)) {
      void* p = nullptr;
      uint32_t n = 0;
      if (!t->ops.lock(t, &p, &n)) break;
      n = static_cast<uint32_t>(std::min<uint64_t>(n, limit - total));
      std::memset(p, fill, n);
      t->ops.unlock(t, n);
      total += n;
      if (n == 0) break;
    }
    return total;
  }
  hs::DeviceInfo Device() {
    const auto devices = hs::Devices();
    EXPECT_EQ(devices.size(), 1u);
    return devices.empty() ? hs::DeviceInfo{} : devices.back();
  }
  const WaveOutState& WaveOut() { return WaveOutStateOf(*track_); }
  const DirectSoundState& Sound() { return DirectSoundStateOf(*track_); }

  SoundDriverMovie movie_{};
  std::unique_ptr<SoundTrack> track_ = std::make_unique<SoundTrack>();
  bool open_ = false;
};

// Runs of equal bytes: {count, value}, ...
std::vector<uint8_t> Runs(std::initializer_list<std::pair<size_t, uint8_t>> runs) {
  std::vector<uint8_t> out;
  for (const auto& [count, value] : runs) out.insert(out.end(), count, value);
  return out;
}

struct FigureCase {
  uint32_t rate, bits, channels;
  uint32_t wave_buffer, wave_threshold, sound_chunk, sound_buffer, sound_threshold;
};

TEST_F(DriverTest, Figures) {
  const FigureCase cases[] = {
      // 176400 bytes a second: 11025 rounded up to 32; half a second; 50 and 600 ms.
      {44100, 16, 2, 11040, 88224, 8960, 106496, 95846},
      {22050, 8, 1, 1408, 11040, 1280, 13312, 11980},
      {8000, 16, 1, 1024, 8000, 1024, 10240, 9216},
  };
  for (const FigureCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.bits << " bits " << c.channels);
    const uint32_t block = c.channels * c.bits / 8;
    OpenWith(WaveOutDriverOpen, c.rate, c.bits, c.channels);
    EXPECT_EQ(WaveOut().buffer_size, c.wave_buffer);
    EXPECT_EQ(WaveOut().start_threshold, c.wave_threshold);
    EXPECT_EQ(track_->fill_unit, c.bits == 8 ? 2 * c.wave_buffer : c.wave_buffer);
    hs::DeviceInfo d = Device();
    EXPECT_EQ(d.kind, hs::DeviceKind::kWaveOut);
    EXPECT_EQ(d.format.samples_per_second, c.rate);
    EXPECT_EQ(d.format.block_align, block);
    EXPECT_EQ(d.format.average_bytes_per_second, c.rate * block);
    Close();

    OpenWith(DirectSoundDriverOpen, c.rate, c.bits, c.channels);
    EXPECT_EQ(Sound().chunk, c.sound_chunk);
    EXPECT_EQ(Sound().buffer_size, c.sound_buffer);
    EXPECT_EQ(Sound().underrun_threshold, c.sound_threshold);
    EXPECT_EQ(Sound().prefill_total, c.sound_buffer);
    EXPECT_EQ(track_->fill_unit, c.bits == 8 ? 2 * c.sound_chunk : c.sound_chunk);
    d = Device();
    EXPECT_EQ(d.kind, hs::DeviceKind::kSoundBuffer);
    EXPECT_EQ(d.buffer_bytes, c.sound_buffer);
    EXPECT_EQ(d.frequency, c.rate);
    EXPECT_EQ(d.pan, 0);     // 32767 is a hair left of centre: 0 after truncation
    EXPECT_EQ(d.volume, 0);  // full volume
    EXPECT_EQ(hs::CooperativeLevel(), platform::DSOUND_LEVEL_PRIORITY);
    EXPECT_EQ(hs::PrimaryFormat().format_tag, platform::WAVE_FORMAT_PCM);
    for (uint32_t v : {track_->latency, track_->own_service, track_->timing_scale})
      EXPECT_EQ(v, 0u);
    Close();
  }
}

TEST_F(DriverTest, DirectSoundPanAndVolume) {
  OpenWith(DirectSoundDriverOpen, 44100, 16, 2);
  const struct {
    uint32_t pan;
    int32_t expected;
  } pans[] = {{0, -10000}, {16384, -5000}, {32768, 0}, {65536, 10000}, {90000, 10000}};
  for (const auto& p : pans) {
    track_->ops.set_pan(track_.get(), p.pan);
    EXPECT_EQ(Device().pan, p.expected) << p.pan;
  }
  const struct {
    uint32_t volume;
    int32_t expected;
  } volumes[] = {{32767, 0}, {40000, 0}, {16384, -1003}, {3277, -3333}, {1, -10000}, {0, -10000}};
  for (const auto& v : volumes) {
    track_->ops.set_volume(track_.get(), v.volume);
    EXPECT_EQ(Device().volume, v.expected) << v.volume;
  }
}

TEST_F(DriverTest, WaveOutVolumeAndPan) {
  OpenWith(WaveOutDriverOpen, 44100, 16, 2);
  const struct {
    bool is_pan;
    uint32_t value;
    uint32_t left, right;
  } steps[] = {
      {false, 65535, 32767, 32767},  // (65535 + 1) x 32767 / 65536; pan 32767 is centre
      {true, 0, 32767, 0},          {true, 65536, 0, 32767},
      {true, 32768, 32766, 32767},   // 32767 x 32768 / 32769
      {false, 32767, 16382, 16383},  // 32768 x 32767 / 65536 = 16383
      {false, 99999, 32766, 32767},
  };
  for (const auto& s : steps) {
    if (s.is_pan)
      track_->ops.set_pan(track_.get(), s.value);
    else
      track_->ops.set_volume(track_.get(), s.value);
    EXPECT_EQ(Device().wave_volume, s.left | s.right << 16) << s.value;
  }
}

TEST_F(DriverTest, WaveOutStartsAtTheThresholdAndPlaysWhatWasWritten) {
  // 10 frames at 25: 70560 bytes of audio, less than half a second.
  OpenWith(WaveOutDriverOpen, 44100, 16, 2, 10);
  ASSERT_EQ(WaveOut().start_threshold, 70560u);
  // Six whole buffers do not start it.
  EXPECT_EQ(Feed(1, 6 * 11040), 66240u);
  EXPECT_EQ(WaveOut().started, 0u);
  EXPECT_EQ(Device().queued, 0u);
  // The rest of the movie, less than a buffer, does: seven buffers queued
  // with what each holds.
  EXPECT_EQ(Feed(2, 4320), 4320u);
  EXPECT_EQ(WaveOut().started, 1u);
  EXPECT_EQ(Device().queued, 7u);
  Step(399);
  EXPECT_EQ(Device().bytes_played, 399u * 176400 / 1000 / 4 * 4);
  Step(1);
  EXPECT_EQ(Device().bytes_played, 70560u);
  EXPECT_EQ(hs::TakeCapture(), Runs({{66240, 1}, {4320, 2}}));

  // Played out: reported once, and a fresh start is awaited.
  EXPECT_EQ(track_->ops.ready(track_.get()), 1);
  EXPECT_EQ(track_->skipped.load(), 1u);
  EXPECT_EQ(WaveOut().started, 0u);
  EXPECT_EQ(WaveOut().submitted, 0u);
  EXPECT_EQ(WaveOut().last_written, -1);
  EXPECT_EQ(WaveOut().locked_index, 0);  // ready chose buffer 0 again
}

TEST_F(DriverTest, WaveOutPauseAndOnOff) {
  OpenWith(WaveOutDriverOpen, 22050, 16, 1);
  Feed(3, 8 * WaveOut().buffer_size);
  ASSERT_EQ(WaveOut().started, 1u);
  EXPECT_EQ(track_->ops.pause(track_.get(), 1), 1);
  EXPECT_EQ(track_->ops.ready(track_.get()), 0);
  Step(1000);
  EXPECT_EQ(Device().bytes_played, 0u);
  EXPECT_EQ(track_->ops.pause(track_.get(), 0), 0);
  Step(100);
  EXPECT_EQ(Device().bytes_played, 4410u);

  EXPECT_EQ(track_->ops.on_off(track_.get(), 0), 0);
  EXPECT_TRUE(hs::Devices().empty());
  EXPECT_EQ(track_->ops.ready(track_.get()), 0);
  EXPECT_EQ(track_->ops.on_off(track_.get(), 1), 1);
  // A reopened device starts like a new one.
  EXPECT_EQ(WaveOut().started, 0u);
  EXPECT_EQ(WaveOut().submitted, 0u);
  EXPECT_EQ(WaveOut().last_written, -1);
  EXPECT_EQ(Device().queued, 0u);
  Feed(4, WaveOut().buffer_size);
  EXPECT_EQ(WaveOut().started, 0u);
}

TEST_F(DriverTest, DirectSoundPrefillsThenFillsBehindThePlayCursor) {
  OpenWith(DirectSoundDriverOpen, 44100, 16, 2);
  EXPECT_EQ(Feed(1, 100000), 100000u);
  EXPECT_EQ(Sound().playing, 0u);
  EXPECT_EQ(Sound().lock_size, 6496u);
  EXPECT_EQ(Feed(2, 6496), 6496u);
  EXPECT_EQ(Sound().playing, 1u);
  EXPECT_EQ(Device().play_calls, 1u);
  // Full: nothing until a chunk and the 1024 bytes kept behind the cursor are free.
  EXPECT_EQ(track_->ops.ready(track_.get()), 0);
  Step(56);  // 9876 bytes played: 8852 usable
  EXPECT_EQ(track_->ops.ready(track_.get()), 0);
  Step(13);  // 12168 played: 11144 usable
  EXPECT_EQ(track_->ops.ready(track_.get()), 1);
  EXPECT_EQ(Sound().lock_size, 11144u);
  EXPECT_EQ(Feed(3, 5000), 5000u);
  // What was offered and not taken is offered again, though less than a chunk.
  EXPECT_EQ(track_->ops.ready(track_.get()), 1);
  EXPECT_EQ(Sound().lock_size, 6144u);
  EXPECT_EQ(track_->skipped.load(), 0u);
  Step(650 - 69);
  EXPECT_EQ(Device().bytes_played, 114660u);
  const std::vector<uint8_t> expected = Runs({{100000, 1}, {6496, 2}, {5000, 3}});
  std::vector<uint8_t> played = hs::TakeCapture();
  ASSERT_GE(played.size(), expected.size());
  played.resize(expected.size());
  EXPECT_EQ(played, expected);
}

TEST_F(DriverTest, DirectSoundRunDryPadsBehindTheData) {
  OpenWith(DirectSoundDriverOpen, 44100, 16, 2);
  Feed(1, 106496);
  ASSERT_EQ(Sound().playing, 1u);
  // Nothing more comes: once less than 10 % is left to play, the driver
  // reports it and pads silence behind the data instead of over it.
  Step(20);
  bool reported = false;
  for (int ms = 0; ms < 700 && !reported; ms += 5) {
    track_->ops.ready(track_.get());
    reported = track_->skipped.load() != 0;
    if (!reported) Step(5);
  }
  ASSERT_TRUE(reported);
  EXPECT_EQ(Sound().write_offset, 2 * 8960u);
  Step(200);
  const std::vector<uint8_t> played = hs::TakeCapture();
  ASSERT_GE(played.size(), 106496u + 2 * 8960);
  for (size_t i = 0; i < 106496u + 2 * 8960; ++i) {
    ASSERT_EQ(played[i], i < 106496 ? 1 : 0) << i;
  }
}

TEST_F(DriverTest, DirectSoundResumeAfterALongPauseIsNoSkip) {
  OpenWith(DirectSoundDriverOpen, 44100, 16, 2);
  Feed(1, 106496);
  Step(100);
  Feed(2);
  EXPECT_EQ(track_->ops.pause(track_.get(), 1), 1);
  EXPECT_EQ(Device().playing, 0u);
  Step(10000);
  EXPECT_EQ(track_->ops.pause(track_.get(), 0), 0);
  Step(20);
  Feed(3);
  EXPECT_EQ(track_->skipped.load(), 0u);
  // A reading more than the resync interval old does count.
  Step(600);
  track_->ops.ready(track_.get());
  EXPECT_EQ(track_->skipped.load(), 1u);
}

TEST_F(DriverTest, DirectSoundOnOffAndLostBuffers) {
  OpenWith(DirectSoundDriverOpen, 22050, 8, 1);
  Feed(200);
  Step(200);
  hs::LoseBuffers();
  EXPECT_GT(Feed(201), 0u);  // restored and retried
  EXPECT_EQ(track_->ops.on_off(track_.get(), 0), 0);
  EXPECT_EQ(Device().playing, 0u);
  EXPECT_EQ(Device().play_cursor, 0u);
  EXPECT_EQ(track_->ops.ready(track_.get()), 0);
  EXPECT_EQ(track_->ops.on_off(track_.get(), 1), 1);
  EXPECT_EQ(Sound().playing, 0u);
  EXPECT_EQ(Sound().write_offset, 0u);
  EXPECT_EQ(Sound().lock_size, Sound().prefill_total);
  hs::TakeCapture();
  Feed(7);
  Step(50);
  // Playing again from the start of the buffer, with the new prefill.
  std::vector<uint8_t> played = hs::TakeCapture();
  ASSERT_EQ(played.size(), 1102u);
  for (uint8_t b : played) ASSERT_EQ(b, 7);
}

TEST_F(DriverTest, ProvidersRefuseToSwitchWhileTracksAreOpen) {
  ASSERT_NE(DirectSoundProvider(nullptr), nullptr);
  platform::SoundDevice* own = nullptr;
  ASSERT_EQ(platform::LoadSoundDeviceLibrary()(nullptr, &own), platform::DSOUND_OK);

  ASSERT_EQ(SetSoundSystem(&test::TestEngine().sound_system, DirectSoundProvider), 1);
  std::vector<uint8_t> bytes = test::MakeSoundMovie(test::SoundMoviePlan{});
  MovieHandle* m =
      Open(test::TestEngine(), MovieSource::Memory(bytes.data(), bytes.size()), OPEN_MEMORY);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->sound.play_tracks, 1u);
  EXPECT_EQ(DirectSoundTracksOpen(), 1u);
  EXPECT_EQ(DirectSoundProvider(own), nullptr);
  EXPECT_NE(DirectSoundProvider(nullptr), nullptr);  // the object in use
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, WaveOutSoundProvider), 0);
  EXPECT_EQ(test::TestEngine().sound_system.open, &DirectSoundDriverOpen);
  vexil::Close(m);

  EXPECT_EQ(DirectSoundTracksOpen(), 0u);
  EXPECT_NE(DirectSoundProvider(own), nullptr);  // the caller's own object now
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, WaveOutSoundProvider), 1);
  own->Release();
  EXPECT_NE(DirectSoundProvider(nullptr), nullptr);

  hs::SetOpenFailure(true);
  EXPECT_EQ(DirectSoundProvider(nullptr), nullptr);  // cannot create the object: shows here
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, DirectSoundProvider), 0);
  EXPECT_EQ(test::TestEngine().sound_system.open, &WaveOutDriverOpen);
}

}  // namespace
}  // namespace vexil
