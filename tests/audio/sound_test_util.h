// Helpers of the sound tests: movies with a sound track, a driver that
// records what the engine hands it, and a fixture on a driven clock with the
// headless sound devices in driven mode.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_layout.h"
#include "audio/sound_track.h"
#include "audio_test_blocks.h"
#include "driven_clock.h"
#include "encoder/audio_block_writer.h"
#include "encoder/movie_writer.h"
#include "engine/container.h"
#include "platform/headless/sound_headless.h"

namespace vexil::test {

struct SoundMoviePlan {
  uint32_t rate = 44100;
  uint32_t channels = 2;
  bool sixteen_bit = true;
  bool dct = true;
  uint32_t frames = 50;
  uint32_t fps = 25;
  // Audio that frame 1 carries ahead of its own, as movies are made to fill
  // the preroll; frames of the last lead carry none.
  uint32_t lead_ms = 750;
  uint32_t id = 0;
  uint32_t seed = 1;
  uint32_t largest_decoded = 0;  // 0: from the parts
  uint32_t video_bytes = 8;      // per frame (the video of a 16 x 16 frame, then junk)
};

inline uint32_t TrackFormat(const SoundMoviePlan& s) {
  return s.rate | (s.channels == 2 ? TRACK_STEREO : 0) | (s.sixteen_bit ? TRACK_16BIT : 0) |
         (s.dct ? TRACK_DCT : TRACK_RDFT);
}

// A 16 x 16 movie whose one track covers the movie's length: frame i carries
// the samples from floor((i + lead) x rate / fps) on (frame 1 from 0), each
// part made of random blocks enough for its count.
inline std::vector<uint8_t> MakeSoundMovie(const SoundMoviePlan& s) {
  MovieWriter writer('i', 16, 16, s.fps, 1);
  const int track = writer.AddTrack(TrackFormat(s), s.id, s.largest_decoded);
  (void)track;
  const AudioLayout layout = AudioLayoutFor(s.rate, s.channels, s.dct ? AUDIO_DCT : 0);
  const uint32_t ready = layout.block_bytes - layout.overlap_bytes;
  const uint32_t frame_bytes = s.channels * 2;
  const uint64_t total = uint64_t{s.frames} * s.rate / s.fps;
  const uint64_t lead = (uint64_t{s.lead_ms} * s.fps + 500) / 1000;
  auto start = [&](uint64_t i) -> uint64_t {
    return i == 0 ? 0 : std::min<uint64_t>(total, (i + lead) * s.rate / s.fps);
  };
  std::mt19937 rng(s.seed);
  for (uint32_t i = 0; i < s.frames; ++i) {
    const uint32_t count = static_cast<uint32_t>((start(i + 1) - start(i)) * frame_bytes);
    std::vector<std::vector<uint8_t>> audio(1);
    if (count) {
      std::vector<std::vector<uint8_t>> blocks;
      for (uint32_t b = 0; b * ready < count; ++b) {
        const auto channels = RandomChannels(layout.Shape(), rng);
        blocks.push_back(WriteAudioBlock(layout.Shape(), channels.data()));
      }
      audio[0] = AudioPartBytes(count, blocks);
    }
    writer.AddFrame(i == 0, audio, std::vector<uint8_t>(s.video_bytes));
  }
  return writer.Finish();
}

// A sound driver that records what it is given. Its space is a budget of
// bytes (in its own sample format) that `ready` and `lock` offer, at most
// `offer` per lock. State is process-wide: one track at a time.
struct FakeDriver {
  uint32_t fill_unit = 4096;
  uint32_t alignment_mask = 0;  // 0: the engine's default
  uint32_t offer = 4096;
  uint64_t space = UINT64_MAX;
  bool fail_open = false;
  bool fail_on = false;  // on_off(1) leaves the output off
  std::vector<uint8_t> received;
  std::vector<uint32_t> unlocks;
  std::vector<int> on_off_calls;
  std::vector<int> pause_calls;
  int closes = 0;
  uint32_t opened_rate = 0, opened_bits = 0, opened_channels = 0;
  std::vector<uint8_t> lock_area;

  static FakeDriver& Get() {
    static FakeDriver driver;
    return driver;
  }
  static void Reset() { Get() = FakeDriver{}; }

  static SoundDriverOpen Provider(void*) { return Open; }

  static int Open(SoundTrack* t, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t,
                  const SoundDriverMovie&) {
    FakeDriver& d = Get();
    ClearSoundTrack(t);
    if (d.fail_open) return 0;
    d.opened_rate = rate;
    d.opened_bits = bits;
    d.opened_channels = channels;
    t->driver_rate = rate;
    t->bits = bits;
    t->channels = channels;
    t->fill_unit = d.fill_unit;
    t->alignment_mask = d.alignment_mask;
    t->on = 1;
    t->ops = {Ready, Lock, Unlock, nullptr, nullptr, Pause, OnOff, Close, nullptr, nullptr};
    return 1;
  }
  static int Ready(SoundTrack* t) { return t->on && Get().space > 0; }
  static int Lock(SoundTrack*, void** p, uint32_t* n) {
    FakeDriver& d = Get();
    *n = static_cast<uint32_t>(std::min<uint64_t>(d.offer, d.space));
    d.lock_area.assign(*n, 0xEE);
    *p = d.lock_area.data();
    return 1;
  }
  static int Unlock(SoundTrack*, uint32_t n) {
    FakeDriver& d = Get();
    d.received.insert(d.received.end(), d.lock_area.begin(), d.lock_area.begin() + n);
    d.unlocks.push_back(n);
    d.space -= std::min<uint64_t>(n, d.space);
    return 1;
  }
  static int Pause(SoundTrack*, int p) {
    Get().pause_calls.push_back(p);
    return p;
  }
  static int OnOff(SoundTrack* t, int on) {
    FakeDriver& d = Get();
    d.on_off_calls.push_back(on);
    t->on = on && !d.fail_on ? 1 : 0;
    return static_cast<int>(t->on);
  }
  static void Close(SoundTrack*) { ++Get().closes; }
};

// A driven clock, headless devices in driven mode, capture in memory.
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::headless_sound::SetDriven(true);
    platform::headless_sound::SetOpenFailure(false);
    platform::headless_sound::SetMemoryCapture(true);
    FakeDriver::Reset();
  }
  void TearDown() override {
    platform::headless_sound::SetMemoryCapture(false);
    platform::headless_sound::SetDriven(false);
  }
  // Moves the clock on and brings the devices along.
  void Step(uint32_t ms) {
    clock_.Advance(ms);
    platform::headless_sound::Update();
  }

  DrivenClock clock_;
};

// The 16-bit bytes a track's ring holds now.
inline uint32_t RingHeld(const SoundTrack& t) {
  const uint8_t* w = t.write_pointer.load();
  const uint8_t* r = t.read_pointer.load();
  return w >= r ? static_cast<uint32_t>(w - r) : static_cast<uint32_t>(w - r) + t.ring_size;
}

// The ring's bytes from the read pointer on.
inline std::vector<uint8_t> RingBytes(const SoundTrack& t) {
  std::vector<uint8_t> out;
  const uint8_t* r = t.read_pointer.load();
  for (uint32_t i = 0, n = RingHeld(t); i < n; ++i) {
    out.push_back(*r++);
    if (r == t.ring_end) r = t.ring_start;
  }
  return out;
}

// 8-bit output of 16-bit samples: each sample's high byte plus 128.
inline std::vector<uint8_t> EightBit(const std::vector<uint8_t>& pcm16) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < pcm16.size(); i += 2) {
    int16_t s;
    std::memcpy(&s, &pcm16[i], 2);
    out.push_back(static_cast<uint8_t>((s >> 8) + 128));
  }
  return out;
}

}  // namespace vexil::test
