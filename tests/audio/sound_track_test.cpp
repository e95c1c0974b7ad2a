// The engine side of sound, against a driver that records what it gets: which
// tracks open and with what figures, the ring's limits, what ServiceSound
// hands over, sound on and off, and the sound skips of Advance.
#include "audio/sound_track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <thread>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "engine/background_decode.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "engine/movie_sound.h"
#include "sound_test_util.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

using test::FakeDriver;
using test::MakeSoundMovie;
using test::RingBytes;
using test::RingHeld;
using test::SoundMoviePlan;

class SoundTrackTest : public test::SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    ASSERT_EQ(SetSoundSystem(&test::TestEngine().sound_system, FakeDriver::Provider), 1);
  }
  void TearDown() override {
    Close(movie_);
    SoundTest::TearDown();
  }
  void OpenBytes(std::vector<uint8_t> bytes, uint32_t flags = 0, const OpenOptions& options = {}) {
    bytes_ = std::move(bytes);
    movie_ = Open(test::TestEngine(), MovieSource::Memory(bytes_.data(), bytes_.size()),
                  OPEN_MEMORY | flags, options);
    ASSERT_NE(movie_, nullptr);
  }
  // Decodes the current frame on this thread (no decode threads run).
  void Decode() {
    ASSERT_EQ(StartBackgroundDecode(movie_), 1);
    ASSERT_EQ(WaitForBackgroundDecode(movie_), 1);
  }
  // Decodes frames up to frame n, advancing after each but the last.
  void PlayTo(int n) {
    for (int f = movie_->reader.current_frame; f <= n; ++f) {
      if (f > movie_->reader.current_frame) Advance(movie_);
      Decode();
    }
  }
  SoundTrack& Track(uint32_t k = 0) { return movie_->sound.track_states[k]; }

  std::vector<uint8_t> bytes_;
  MovieHandle* movie_ = nullptr;
};

// A movie with one track of this format and largest decoded size, and no audio.
std::vector<uint8_t> TrackMovie(uint32_t format, uint32_t largest, uint32_t frames,
                                uint32_t fps = 25) {
  MovieWriter writer('i', 16, 16, fps, 1);
  writer.AddTrack(format, 0, largest);
  for (uint32_t i = 0; i < frames; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(8));
  return writer.Finish();
}

struct OpenCase {
  const char* name;
  uint32_t format;
  uint32_t largest;
  uint32_t frames;
  int32_t override_num, override_den;  // -1: the file's 25/1
  bool opens;
  uint32_t driver_rate = 0, bits = 0, channels = 0, ring_size = 0, preroll = 0;
  int32_t end_zone = 0;
};

TEST_F(SoundTrackTest, TrackOpenFigures) {
  const OpenCase cases[] = {
      // 5/4 of 138240 is a ring of 172800; 750 ms is 132300 bytes; 462 - 75/4.
      {"44.1 kHz stereo 16-bit", 0x7000AC44, 138240, 462, -1, -1, true, 44100, 16, 2, 172816,
       132300, 444},
      // 750 ms would be 33072 bytes: the preroll is the ring less its 16 spare bytes.
      {"preroll limited by the ring", 0x50005622, 20000, 100, -1, -1, true, 22050, 16, 1, 25104,
       25088, 82},
      {"8-bit mono", 0x80002B11, 8000, 100, -1, -1, true, 11025, 8, 1, 10256, 10240, 82},
      {"ring over two seconds", 0x30001F40, 40000, 100, -1, -1, false},
      {"neither codec", 0x60005622, 8000, 100, -1, -1, false},
      {"no rate", 0x70000000, 8000, 100, -1, -1, false},
      // Played at 50 frames a second: audio twice as fast; the end zone in 50ths.
      {"override doubles", 0x50005622, 8000, 100, 50, 1, true, 44100, 16, 1, 10256, 10240, 63},
      // 44100 x 30000 / (25 x 1001) = 52867.13
      {"override rounds", 0x7000AC44, 8000, 100, 30000, 1001, true, 52867, 16, 2, 10256, 10240, 78},
      {"driver rate limit", 0x7000BB80, 8000, 100, 150, 1, true, 256000, 16, 2, 10256, 10240, 0},
      {"as fast as possible", 0x7000AC44, 8000, 100, 0, 0, false},
      {"end zone not below 0", 0x7000AC44, 8000, 10, -1, -1, true, 44100, 16, 2, 10256, 10240, 0},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t open_before = test::TestEngine().sound_system.open_tracks.load();
    uint32_t flags = 0;
    OpenOptions options;
    if (c.override_num != -1) {
      options.rate_num = c.override_num;
      options.rate_den = c.override_den;
      flags = OPEN_RATE_OVERRIDE;
    }
    OpenBytes(TrackMovie(c.format, c.largest, c.frames), flags, options);
    ASSERT_EQ(movie_->sound.play_tracks, c.opens ? 1u : 0u);
    EXPECT_EQ(movie_->sound.sound_on.load(), c.opens ? 1u : 0u);
    EXPECT_EQ(test::TestEngine().sound_system.open_tracks.load(), open_before + (c.opens ? 1 : 0));
    if (c.opens) {
      const SoundTrack& t = Track();
      EXPECT_EQ(t.driver_rate, c.driver_rate);
      EXPECT_EQ(t.bits, c.bits);
      EXPECT_EQ(t.channels, c.channels);
      EXPECT_EQ(t.sample_rate, c.format & 0xFFFF);
      EXPECT_EQ(t.ring_size, c.ring_size);
      EXPECT_EQ(t.preroll_bytes, c.preroll);
      EXPECT_EQ(t.end_zone_frame, c.end_zone);
      EXPECT_EQ(t.eight_bit_output, c.bits == 8 ? 1u : 0u);
      EXPECT_EQ(t.alignment_mask, ~0u);
      EXPECT_EQ(t.timing_scale, 0x10000u);
      EXPECT_EQ(RingHeld(t), 0u);
      // Bit 31 wins over bit 28.
      EXPECT_EQ(t.decoder->flags & AUDIO_DCT, (c.format & TRACK_RDFT) ? 0u : AUDIO_DCT);
    }
    Close(movie_);
    movie_ = nullptr;
    EXPECT_EQ(test::TestEngine().sound_system.open_tracks.load(), open_before);
  }
}

TEST_F(SoundTrackTest, TrackListMapsIdsAndDropsFailures) {
  MovieWriter writer('i', 16, 16, 25, 1);
  writer.AddTrack(0x50005622, 3, 8000);
  writer.AddTrack(0x00005622, 5, 8000);  // never played: no codec
  writer.AddTrack(0x70005622, 7, 8000);
  writer.AddFrame(true, std::vector<uint8_t>(8));
  const std::vector<uint8_t> movie = writer.Finish();

  const uint32_t ids[] = {7, 9, 5, 3};
  OpenOptions tracks;
  tracks.track_count = 4;
  std::copy(std::begin(ids), std::end(ids), tracks.track_ids);
  OpenBytes(movie, OPEN_TRACK_LIST, tracks);
  ASSERT_EQ(movie_->sound.play_tracks, 2u);
  EXPECT_EQ(movie_->sound.track_map[0], 2u);
  EXPECT_EQ(movie_->sound.track_map[1], 0u);
  EXPECT_EQ(Track(0).channels, 2u);
  EXPECT_EQ(Track(1).channels, 1u);
  Close(movie_);

  FakeDriver::Get().fail_open = true;
  const uint32_t open_before = test::TestEngine().sound_system.open_tracks.load();
  movie_ = nullptr;
  OpenBytes(movie);
  EXPECT_EQ(movie_->sound.play_tracks, 0u);
  EXPECT_EQ(movie_->sound.sound_on.load(), 0u);
  EXPECT_EQ(test::TestEngine().sound_system.open_tracks.load(), open_before);
}

SoundDriverOpen NoDriver(void*) {
  return nullptr;
}
int OtherOpen(SoundTrack* t, uint32_t r, uint32_t b, uint32_t c, uint32_t f,
              const SoundDriverMovie& m) {
  return FakeDriver::Open(t, r, b, c, f, m);
}
SoundDriverOpen OtherProvider(void*) {
  return OtherOpen;
}

TEST_F(SoundTrackTest, SoundSystemProviders) {
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, nullptr), 0);
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, NoDriver),
            0);  // gives nothing: the driver in use stays
  EXPECT_EQ(test::TestEngine().sound_system.open, &FakeDriver::Open);
  OpenBytes(TrackMovie(0x70005622, 8000, 10));
  ASSERT_EQ(movie_->sound.play_tracks, 1u);
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, OtherProvider), 0);  // a track is open
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, FakeDriver::Provider), 1);
  Close(movie_);
  movie_ = nullptr;
  EXPECT_EQ(SetSoundSystem(&test::TestEngine().sound_system, OtherProvider), 1);
  EXPECT_EQ(test::TestEngine().sound_system.open, &OtherOpen);
}

// 22.05 kHz mono: frame 1 carries 20 frames' audio (35280 bytes).
SoundMoviePlan Mono22k(uint32_t frames = 40) {
  SoundMoviePlan s;
  s.rate = 22050;
  s.channels = 1;
  s.frames = frames;
  return s;
}

// The PCM a track's part of a frame yields without any ring.
std::vector<uint8_t> Reference(const MovieHandle* m, uint32_t format) {
  AudioDecoder* d = AudioDecoderOpen(format & 0xFFFF, (format & TRACK_STEREO) ? 2 : 1,
                                     (format & TRACK_RDFT) ? 0 : AUDIO_DCT);
  std::vector<uint8_t> pcm;
  AudioPart part;
  if (FindAudioPart(m->reader.frame_data, m->reader.frame_bytes, m->container.track_count, 0,
                    &part)) {
    AudioPartOutput out;
    out.context = &pcm;
    out.take = [](void* c, const uint8_t* p, uint32_t n) {
      static_cast<std::vector<uint8_t>*>(c)->insert(static_cast<std::vector<uint8_t>*>(c)->end(), p,
                                                    p + n);
    };
    DecodeAudioPart(d, part, out);
  }
  AudioDecoderClose(d);
  return pcm;
}

TEST_F(SoundTrackTest, RingNeverFillsAndDropsTheRest) {
  SoundMoviePlan plan = Mono22k();
  plan.largest_decoded = 8000;  // a ring of 10240 + 16 for a part of 35280 bytes
  OpenBytes(MakeSoundMovie(plan));
  const std::vector<uint8_t> expected = Reference(movie_, test::TrackFormat(plan));
  ASSERT_EQ(expected.size(), 35280u);
  Decode();
  EXPECT_EQ(RingHeld(Track()), Track().ring_size - 16);
  const std::vector<uint8_t> held = RingBytes(Track());
  EXPECT_TRUE(std::equal(held.begin(), held.end(), expected.begin()));

  // A part whose count is less than a block yields the count.
  MovieWriter writer('i', 16, 16, 25, 1);
  writer.AddTrack(test::TrackFormat(plan), 0, 8000);
  const AudioLayout layout = AudioLayoutFor(22050, 1, AUDIO_DCT);
  std::mt19937 rng(5);
  const auto channels = test::RandomChannels(layout.Shape(), rng);
  writer.AddFrame(true, {AudioPartBytes(100, {WriteAudioBlock(layout.Shape(), channels.data())})},
                  std::vector<uint8_t>(8));
  Close(movie_);
  movie_ = nullptr;
  OpenBytes(writer.Finish());
  Decode();
  EXPECT_EQ(RingHeld(Track()), 100u);
}

struct ServiceCase {
  const char* name;
  uint32_t fill_unit, offer, mask;
  bool end_zone;
  uint32_t expected;  // bytes the driver receives (its own format)
};

TEST_F(SoundTrackTest, ServiceSoundHandsOverWholeUnitsUntilTheEndZone) {
  const ServiceCase cases[] = {
      // 35280 held: units of 4000 go while more than one unit is left.
      {"whole units", 4000, 4000, 0, false, 32000},
      {"smaller offers", 4000, 3000, 0, false, 33000},
      {"end zone flushes", 4000, 4000, 0, true, 35280},
      // 3000 masked to 2048 each time, while more than 2000 are held.
      {"alignment mask", 2000, 3000, ~1023u, false, 34816},
      {"mask ignored in the end zone", 2000, 3000, ~1023u, true, 35280},
      {"nothing offered", 4000, 0, 0, true, 0},
  };
  for (const ServiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDriver::Reset();
    FakeDriver::Get().fill_unit = c.fill_unit;
    FakeDriver::Get().offer = c.offer;
    FakeDriver::Get().alignment_mask = c.mask;
    OpenBytes(MakeSoundMovie(Mono22k()));
    ServiceSound(movie_);  // nothing decoded yet: nothing moves
    Decode();
    const std::vector<uint8_t> ring = RingBytes(Track());
    ASSERT_EQ(ring.size(), 35280u);
    if (c.end_zone) Track().end_zone_frame = 0;
    ServiceSound(movie_);
    const auto& got = FakeDriver::Get().received;
    EXPECT_EQ(got.size(), c.expected);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), ring.begin()));
    EXPECT_EQ(RingHeld(Track()), 35280 - c.expected);
    Close(movie_);
    movie_ = nullptr;
  }
}

TEST_F(SoundTrackTest, EightBitOutputGetsTheHighBytePlus128) {
  SoundMoviePlan plan = Mono22k();
  plan.sixteen_bit = false;
  plan.lead_ms = 400;                      // an 8-bit ring holds at most two seconds of 8-bit audio
  FakeDriver::Get().fill_unit = 2 * 3000;  // the driver's 3000 bytes in 16-bit terms
  FakeDriver::Get().offer = 3000;
  OpenBytes(MakeSoundMovie(plan));
  ASSERT_EQ(Track().eight_bit_output, 1u);
  Decode();
  const std::vector<uint8_t> ring = RingBytes(Track());
  Track().end_zone_frame = 0;
  ServiceSound(movie_);
  const auto& got = FakeDriver::Get().received;
  EXPECT_EQ(got, test::EightBit(ring));
  for (uint32_t n : FakeDriver::Get().unlocks) EXPECT_LE(n, 3000u);
}

TEST_F(SoundTrackTest, ServiceSoundGivesWayToTheSoundMutex) {
  OpenBytes(MakeSoundMovie(Mono22k()));
  Decode();
  Track().end_zone_frame = 0;
  std::mutex m;
  std::condition_variable cv;
  bool held = false, done = false;
  std::thread holder([&] {
    std::lock_guard<std::recursive_timed_mutex> sound(movie_->sound.sound_mutex);
    std::unique_lock<std::mutex> lock(m);
    held = true;
    cv.notify_all();
    cv.wait(lock, [&] { return done; });
  });
  {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return held; });
  }
  ServiceSound(movie_);  // returns at once
  EXPECT_TRUE(FakeDriver::Get().received.empty());
  {
    std::lock_guard<std::mutex> lock(m);
    done = true;
  }
  cv.notify_all();
  holder.join();
  ServiceSound(movie_);
  EXPECT_EQ(FakeDriver::Get().received.size(), 35280u);
}

TEST_F(SoundTrackTest, SoundOffPrimesTheRingWithSilence) {
  OpenBytes(MakeSoundMovie(Mono22k()));
  // On frame 1 before its decode: the ring is emptied, not primed.
  EXPECT_EQ(SetSoundOnOff(movie_, 0), 0);
  EXPECT_EQ(RingHeld(Track()), 0u);
  EXPECT_EQ(SetSoundOnOff(movie_, 1), 1);
  EXPECT_EQ(movie_->clock.base_time, 0u);

  PlayTo(2);
  ASSERT_GT(RingHeld(Track()), 0u);
  // While a decode is outstanding the decoder owns the write pointer.
  movie_->video.job_slot[0] = JOB_ISSUED;
  const uint32_t before = RingHeld(Track());
  EXPECT_EQ(SetSoundOnOff(movie_, 0), 0);
  EXPECT_EQ(RingHeld(Track()), before);
  movie_->video.job_slot[0] = 0;
  EXPECT_EQ(SetSoundOnOff(movie_, 1), 1);

  EXPECT_EQ(SetSoundOnOff(movie_, 0), 0);
  EXPECT_EQ(movie_->sound.sound_on.load(), 0u);
  ASSERT_EQ(RingHeld(Track()), Track().preroll_bytes);
  for (uint8_t b : RingBytes(Track())) ASSERT_EQ(b, 0);
  EXPECT_EQ(Track().write_pointer.load(), Track().ring_start);
  EXPECT_EQ(FakeDriver::Get().on_off_calls, (std::vector<int>{0, 1, 0, 1, 0}));
}

TEST_F(SoundTrackTest, SoundThatCannotComeBackOnLeavesTheMovieSilent) {
  OpenBytes(MakeSoundMovie(Mono22k()));
  const uint32_t open_before = test::TestEngine().sound_system.open_tracks.load();
  PlayTo(2);
  FakeDriver::Get().fail_on = true;
  EXPECT_EQ(SetSoundOnOff(movie_, 0), 0);
  EXPECT_EQ(SetSoundOnOff(movie_, 1), 0);
  EXPECT_EQ(movie_->sound.play_tracks, 0u);
  EXPECT_EQ(FakeDriver::Get().closes, 1);
  EXPECT_EQ(test::TestEngine().sound_system.open_tracks.load(), open_before - 1);
  // The clock runs without sound (it restarted at frame 2, so frame 3 is
  // due two periods on) instead of waiting for sound forever.
  Advance(movie_);
  Decode();
  EXPECT_EQ(Wait(movie_), 1);
  Step(80);
  EXPECT_EQ(Wait(movie_), 0);
}

struct SkipCase {
  const char* name;
  int frame;  // the driver reports a skip while this frame is current
  bool counted;
};

TEST_F(SoundTrackTest, SkipsCountOnlyBetweenTheFirstFrameAndTheEndZone) {
  // 40 frames at 25: the end zone begins after frame 22.
  const SkipCase cases[] = {
      {"first frame", 1, false},
      {"second frame", 2, true},
      {"last before the end zone", 22, true},
      {"in the end zone", 23, false},
  };
  for (const SkipCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeDriver::Reset();
    OpenBytes(MakeSoundMovie(Mono22k()));
    ASSERT_EQ(Track().end_zone_frame, 22);
    PlayTo(c.frame);
    Track().skipped = 1;
    Advance(movie_);
    EXPECT_EQ(Track().skipped.load(), 0u);
    EXPECT_EQ(movie_->clock.sound_skips, c.counted ? 1u : 0u);
    const std::vector<int> calls = c.counted ? std::vector<int>{0, 1} : std::vector<int>{};
    EXPECT_EQ(FakeDriver::Get().on_off_calls, calls);
    EXPECT_EQ(movie_->sound.sound_on.load(), 1u);
    EXPECT_EQ(movie_->reader.current_frame, c.frame + 1);
    Close(movie_);
    movie_ = nullptr;
  }
}

TEST_F(SoundTrackTest, PauseReachesTheDriver) {
  OpenBytes(MakeSoundMovie(Mono22k()));
  Decode();
  Pause(movie_, 1);
  Pause(movie_, 0);
  EXPECT_EQ(FakeDriver::Get().pause_calls, (std::vector<int>{1, 0}));
}

}  // namespace
}  // namespace vexil
