#include "audio/driver_directsound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "audio/sound_arithmetic.h"
#include "platform/time.h"
#include "platform/timer.h"

namespace vexil {
namespace {

using platform::DSOUND_OK;
using platform::SoundBuffer;
using platform::SoundResult;

static_assert(sizeof(DirectSoundState) <= kSoundDriverAreaBytes);
static_assert(alignof(DirectSoundState) <= 16);

constexpr uint32_t kDefaultRate = 44100;
constexpr uint32_t kSecondaryFlags =
    platform::DSOUND_CAPS_CONTROL_FREQUENCY | platform::DSOUND_CAPS_CONTROL_PAN |
    platform::DSOUND_CAPS_CONTROL_VOLUME | platform::DSOUND_CAPS_GLOBAL_FOCUS |
    platform::DSOUND_CAPS_PRECISE_POSITION;  // 0x180E0
constexpr uint32_t kResyncMs = 540;
constexpr uint32_t kPositionMaxAgeMs = 12;
constexpr uint32_t kCursorSlack = 1024;  // bytes kept free behind the play cursor
constexpr uint32_t kStallMs = 50;        // a start that has not moved for this long is retried
constexpr uint32_t kPollLimitMs = 200;   // every wait on the device ends after about this
constexpr uint32_t kLostRetryMs = 10;

// The process's DirectSound object, shared by every track. The provider, the
// open and the close hold its lock; the steps below run under it.
using Shared = platform::SharedSoundDevice;
Shared& TheDevice() {
  return platform::ProcessSoundDevice();
}

DirectSoundState& State(SoundTrack* t) {
  return *reinterpret_cast<DirectSoundState*>(t->driver_area);
}

platform::PcmFormat Format(uint32_t rate, uint32_t bits, uint32_t channels) {
  platform::PcmFormat f{};
  f.format_tag = platform::WAVE_FORMAT_PCM;
  f.channels = static_cast<uint16_t>(channels);
  f.samples_per_second = rate;
  f.block_align = static_cast<uint16_t>(channels * bits / 8);
  f.average_bytes_per_second = rate * f.block_align;
  f.bits_per_sample = static_cast<uint16_t>(bits);
  return f;
}

// The first answer stands for the process.
void* SoundWindow(Shared& g) {
  if (!g.window_found) {
    g.window = platform::FindSoundWindow();
    g.window_found = true;
  }
  return g.window;
}

// Reference-counted: the first user sets DirectSound up.
bool Initialise(Shared& g) {
  if (g.users++ > 0) return true;
  if (g.owned) {
    platform::SoundDevice* object = nullptr;
    if (!g.create || g.create(nullptr, &object) != DSOUND_OK || !object) {
      --g.users;
      return false;
    }
    g.object = object;
  }
  if (!g.object) {
    --g.users;
    return false;
  }
  if (g.object->SetCooperativeLevel(SoundWindow(g), platform::DSOUND_LEVEL_PRIORITY) == DSOUND_OK)
    g.set_primary_format = !g.primary_format_done;
  return true;
}

void DropReference(Shared& g) {
  if (g.users == 0 || --g.users > 0) return;
  if (g.primary) {
    g.primary->Release();
    g.primary = nullptr;
  }
  if (g.owned && g.object) {
    g.object->Release();
    g.object = nullptr;
  }
}

// Forward distance from a to b in a ring of `size` bytes.
uint32_t Forward(uint32_t a, uint32_t b, uint32_t size) {
  return (b + size - a) % size;
}

// A lost buffer is restored and the call tried again, 10 ms apart, for about
// 200 ms at most.
template <typename Call>
SoundResult RetryLost(SoundBuffer* buffer, Call call) {
  const uint32_t start = Timer();
  for (;;) {
    const SoundResult r = call();
    if (r != platform::DSOUND_ERR_BUFFER_LOST || Timer() - start >= kPollLimitMs) return r;
    platform::Sleep(kLostRetryMs);
    buffer->Restore();
  }
}

SoundResult PlayLooped(DirectSoundState& s) {
  return RetryLost(s.buffer, [&] { return s.buffer->Play(0, 0, platform::DSOUND_PLAY_LOOPING); });
}

void FillSilence(DirectSoundState& s, uint32_t offset, uint32_t bytes) {
  bytes = std::min(bytes, s.buffer_size);
  if (bytes == 0) return;
  void* part[2] = {};
  uint32_t length[2] = {};
  if (RetryLost(s.buffer, [&] {
        return s.buffer->Lock(offset % s.buffer_size, bytes, &part[0], &length[0], &part[1],
                              &length[1], 0);
      }) != DSOUND_OK)
    return;
  const int silence = s.bits == 8 ? 128 : 0;
  for (int i = 0; i < 2; ++i) {
    if (part[i]) std::memset(part[i], silence, length[i]);
  }
  s.buffer->Unlock(part[0], length[0], part[1], length[1]);
}

// Reads the cursors until two readings in a row lie within 1024 bytes of each
// other, for about 200 ms at most; the last pair counts.
bool ReadPosition(DirectSoundState& s, uint32_t* play, uint32_t* write) {
  uint32_t p0 = 0, w0 = 0;
  if (s.buffer->GetCurrentPosition(&p0, &w0) != DSOUND_OK) return false;
  const uint32_t start = Timer();
  for (;;) {
    uint32_t p1 = 0, w1 = 0;
    if (s.buffer->GetCurrentPosition(&p1, &w1) != DSOUND_OK) return false;
    const uint32_t dp = std::min(Forward(p0, p1, s.buffer_size), Forward(p1, p0, s.buffer_size));
    const uint32_t dw = std::min(Forward(w0, w1, s.buffer_size), Forward(w1, w0, s.buffer_size));
    *play = p1 % s.buffer_size;
    *write = w1 % s.buffer_size;
    if ((dp < kCursorSlack && dw < kCursorSlack) || Timer() - start >= kPollLimitMs) return true;
    p0 = p1;
    w0 = w1;
    platform::Sleep(0);
  }
}

void RememberPosition(DirectSoundState& s) {
  uint32_t play = 0, write = 0;
  if (ReadPosition(s, &play, &write)) {
    s.last_play_cursor = play;
    s.last_write_cursor = write;
  }
  s.position_time = Timer();
}

// Plays from where the buffer stands and waits until the play cursor is in
// the first chunk; a start that does not move within 50 ms is given again.
void StartPlayback(DirectSoundState& s) {
  s.playing = 1;
  PlayLooped(s);
  uint32_t play = 0, write = 0;
  ReadPosition(s, &play, &write);
  uint32_t seen = play, seen_time = Timer();
  bool moved = false;
  const uint32_t start = Timer();
  while (play > s.chunk && Timer() - start < kPollLimitMs) {
    platform::Sleep(1);
    if (!ReadPosition(s, &play, &write)) break;
    const uint32_t now = Timer();
    if (play != seen) {
      seen = play;
      seen_time = now;
      moved = true;
    } else if (!moved && now - seen_time > kStallMs) {
      PlayLooped(s);
      s.paused = 0;
      seen = play;
      seen_time = now;
    }
  }
  s.last_play_cursor = play;
  s.last_write_cursor = write;
  s.position_time = Timer();
}

int32_t SpeakerVolume(uint32_t volume) {
  if (volume == 0) return platform::DSOUND_VOLUME_MIN;
  const double ratio = std::min<uint32_t>(volume, 32767) / 32767.0;
  const long a = std::lround(2000.0 * std::log10(ratio));
  return static_cast<int32_t>(std::max<long>(a, platform::DSOUND_VOLUME_MIN));
}

void Apply(DirectSoundState& s) {
  s.buffer->SetFrequency(s.rate);
  s.buffer->SetPan(DirectSoundPan(s.pan));
  s.buffer->SetVolume(DirectSoundVolume(s.volume));
}

// --- operations ---

int Ready(SoundTrack* t) {
  DirectSoundState& s = State(t);
  if (s.paused || !t->on) return 0;
  if (!s.playing) return 1;  // prefilling: lock_size holds what is still wanted
  enum class Step {
    kPosition,
    kFree,
    kSkip
  } step = Timer() - s.position_time > kPositionMaxAgeMs ? Step::kPosition : Step::kFree;
  bool padded = false;
  for (;;) {
    switch (step) {
      case Step::kPosition: {
        uint32_t play = 0, write = 0;
        if (!ReadPosition(s, &play, &write)) return 0;
        const uint32_t play_advance = Forward(s.last_play_cursor, play, s.buffer_size);
        const uint32_t write_advance = Forward(s.last_write_cursor, write, s.buffer_size);
        const uint32_t apart = play_advance > write_advance ? play_advance - write_advance
                                                            : write_advance - play_advance;
        if (apart > s.buffer_size / 2) return 0;
        const uint32_t now = Timer();
        const uint32_t since = now - s.position_time;
        s.last_play_cursor = play;
        s.last_write_cursor = write;
        s.position_time = now;
        step = since < s.resync_interval ? Step::kFree : Step::kSkip;
        break;
      }
      case Step::kFree: {
        const uint32_t free = Forward(s.write_offset, s.last_play_cursor, s.buffer_size);
        const uint32_t usable = free < kCursorSlack ? 0 : (free - kCursorSlack) & ~3u;
        if (usable < s.chunk && !(s.lock_size != 0 && usable != 0)) return 0;
        if (usable < s.underrun_threshold) {
          s.lock_size = usable;
          return 1;
        }
        step = Step::kSkip;
        break;
      }
      case Step::kSkip: {
        // One pad per call: the pad leaves a sixth of the buffer filled, so a
        // second one would find the device itself misbehaving.
        if (padded) return 0;
        padded = true;
        t->skipped = 1;
        // The pad goes at the write cursor, or behind the written data when
        // that still lies ahead of the write cursor: audio written but not
        // yet played is not padded over.
        uint32_t pad_at = s.last_write_cursor;
        if (Forward(s.last_write_cursor, s.write_offset, s.buffer_size) <
            Forward(s.last_write_cursor, s.last_play_cursor, s.buffer_size))
          pad_at = s.write_offset;
        const uint32_t room = Forward(pad_at, s.last_play_cursor, s.buffer_size) & ~3u;
        const uint32_t pad = std::min(2 * s.chunk, room);
        FillSilence(s, pad_at, pad);
        s.write_offset = (pad_at + pad) % s.buffer_size;
        step = Step::kPosition;
        break;
      }
    }
  }
}

int Lock(SoundTrack* t, void** pointer, uint32_t* bytes) {
  DirectSoundState& s = State(t);
  if (s.lock_size == 0) return 0;
  void* part[2] = {};
  uint32_t length[2] = {};
  const uint32_t size = std::min(s.lock_size, s.buffer_size);
  if (RetryLost(s.buffer, [&] {
        return s.buffer->Lock(s.write_offset, size, &part[0], &length[0], &part[1], &length[1], 0);
      }) != DSOUND_OK)
    return 0;
  if (!part[0] || length[0] == 0) {
    s.buffer->Unlock(part[0], length[0], part[1], length[1]);
    return 0;
  }
  s.lock_part[0] = part[0];
  s.lock_part[1] = part[1];
  s.lock_bytes[0] = length[0];
  s.lock_bytes[1] = length[1];
  *pointer = part[0];  // a wrapping range is offered up to the buffer end
  *bytes = length[0];
  return 1;
}

int Unlock(SoundTrack* t, uint32_t written) {
  DirectSoundState& s = State(t);
  if (!s.lock_part[0]) return 0;
  written = std::min(written, s.lock_bytes[0]);
  s.write_offset = (s.write_offset + written) % s.buffer_size;
  s.lock_size -= std::min(written, s.lock_size);
  s.buffer->Unlock(s.lock_part[0], s.lock_bytes[0], s.lock_part[1], s.lock_bytes[1]);
  s.lock_part[0] = s.lock_part[1] = nullptr;
  s.lock_bytes[0] = s.lock_bytes[1] = 0;
  if (!s.playing && !s.paused && (s.lock_size == 0 || t->final_stretch)) StartPlayback(s);
  return 1;
}

void SetVolume(SoundTrack* t, uint32_t volume) {
  DirectSoundState& s = State(t);
  s.volume = std::min<uint32_t>(volume, 32767);
  Apply(s);
}

void SetPan(SoundTrack* t, uint32_t pan) {
  DirectSoundState& s = State(t);
  s.pan = std::min<uint32_t>(pan, 65536);
  Apply(s);
}

int Pause(SoundTrack* t, int pause) {
  DirectSoundState& s = State(t);
  if (pause) {
    if (s.playing) s.buffer->Stop();
    s.paused = 1;
  } else {
    if (s.playing) {
      PlayLooped(s);
      // The cursors moved on while stopped only as far as the device let
      // them, and the time since the last reading is the pause: read afresh.
      RememberPosition(s);
    } else if (s.lock_size == 0 && t->on) {
      StartPlayback(s);
    }
    s.paused = 0;
  }
  return static_cast<int>(s.paused);
}

int OnOff(SoundTrack* t, int on) {
  DirectSoundState& s = State(t);
  if (on && !t->on) {
    s.playing = 0;
    t->on = 1;
    s.write_offset = 0;
    s.lock_size = s.prefill_total;
  } else if (!on && t->on) {
    s.buffer->Stop();
    const uint32_t start = Timer();
    uint32_t status = 0;
    while (s.buffer->GetStatus(&status) == DSOUND_OK && status != 0 &&
           Timer() - start < kPollLimitMs)
      platform::Sleep(1);
    s.buffer->SetCurrentPosition(0);
    FillSilence(s, 0, s.buffer_size);
    t->on = 0;
  }
  return static_cast<int>(t->on);
}

void Close(SoundTrack* t) {
  DirectSoundState& s = State(t);
  if (!s.buffer) return;
  s.buffer->Stop();
  s.paused = 1;
  s.buffer->Release();
  s.buffer = nullptr;
  Shared& g = TheDevice();
  std::lock_guard<std::mutex> hold(g.lock);
  --g.open_tracks;
  DropReference(g);
}

void SetSpeakerMap(SoundTrack* t, const uint32_t* map, int count) {
  DirectSoundState& s = State(t);
  s.speaker_count = static_cast<uint32_t>(std::clamp(count, 0, kMaxSpeakers));
  for (uint32_t i = 0; i < s.speaker_count; ++i) s.speaker_map[i] = map[i];
  Apply(s);
}

void SetSpeakerVolumes(SoundTrack* t, const uint32_t* map, const uint32_t* volumes, int count) {
  DirectSoundState& s = State(t);
  s.speaker_volume_count = static_cast<uint32_t>(std::clamp(count, 0, kMaxSpeakers));
  for (uint32_t i = 0; i < s.speaker_volume_count; ++i) {
    s.speaker_volume_map[i] = map[i];
    s.speaker_volumes[i] = SpeakerVolume(volumes[i]);
  }
  Apply(s);
}

constexpr SoundDriverOperations kDirectSoundOperations = {
    Ready, Lock, Unlock, SetVolume, SetPan, Pause, OnOff, Close, SetSpeakerMap, SetSpeakerVolumes};

}  // namespace

int32_t DirectSoundPan(uint32_t pan) {
  const int32_t p = static_cast<int32_t>(std::min<uint32_t>(pan, 65536));
  return (p - 32768) * 10000 / 32768;
}

int32_t DirectSoundVolume(uint32_t volume) {
  if (volume == 0) return platform::DSOUND_VOLUME_MIN;
  const double ratio = std::min<uint32_t>(volume, 32767) / 32767.0;
  const long a = std::lround(3333.3333 * std::log10(ratio));
  return static_cast<int32_t>(std::max<long>(a, platform::DSOUND_VOLUME_MIN));
}

SoundDriverOpen DirectSoundProvider(void* object) {
  Shared& g = TheDevice();
  std::lock_guard<std::mutex> hold(g.lock);
  auto* wanted = static_cast<platform::SoundDevice*>(object);
  const bool same = wanted ? (!g.owned && g.object == wanted) : g.owned;
  if (!same) {
    if (g.open_tracks > 0) return nullptr;  // open tracks play on the object in use
    g.owned = wanted == nullptr;
    g.object = wanted;
  }
  if (g.owned && !g.create) {
    g.create = platform::LoadSoundDeviceLibrary();
    if (!g.create) return nullptr;
  }
  // Set DirectSound up once so that a failure shows here, not at the first movie.
  if (!Initialise(g)) return nullptr;
  DropReference(g);
  return DirectSoundDriverOpen;
}

int DirectSoundDriverOpen(SoundTrack* t, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t,
                          const SoundDriverMovie& movie) {
  if (rate == 0) rate = kDefaultRate;
  ClearSoundTrack(t);
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return 0;
  Shared& g = TheDevice();
  std::lock_guard<std::mutex> hold(g.lock);
  if (!Initialise(g)) return 0;
  DirectSoundState& s = *new (t->driver_area) DirectSoundState{};
  s.rate = rate;
  s.bits = bits;
  s.channels = channels;
  t->driver_rate = rate;
  t->bits = bits;
  t->channels = channels;
  const platform::PcmFormat format = Format(rate, bits, channels);
  const uint64_t bps = format.average_bytes_per_second;
  s.chunk = static_cast<uint32_t>((bps * 50 / 1000 + 255) & ~uint64_t{255});
  s.buffer_size = static_cast<uint32_t>((bps * 600 / 1000 + 1023) & ~uint64_t{1023});
  s.underrun_threshold = static_cast<uint32_t>(uint64_t{s.buffer_size} * 90 / 100);
  s.resync_interval = kResyncMs;
  t->latency = 0;
  // The movie's audio; the whole buffer without a frame rate.
  uint64_t total = s.buffer_size;
  if (movie.rate_num)
    total = MulDiv(uint64_t{movie.frame_count} * bps, movie.rate_den, movie.rate_num);

  if (g.set_primary_format) {
    g.set_primary_format = false;
    g.primary_format_done = true;
    platform::SoundBufferDescription primary{};
    primary.size = sizeof primary;
    primary.flags = platform::DSOUND_CAPS_PRIMARY_BUFFER;
    if (g.object->CreateSoundBuffer(primary, &g.primary) == DSOUND_OK && g.primary) {
      g.primary->SetFormat(format);
      g.primary->Play(0, 0, platform::DSOUND_PLAY_LOOPING);
    }
  }

  platform::SoundBufferDescription description{};
  description.size = sizeof description;
  description.flags = kSecondaryFlags;
  description.buffer_bytes = s.buffer_size;
  description.format = &format;
  if (g.object->CreateSoundBuffer(description, &s.buffer) != DSOUND_OK || !s.buffer) {
    DropReference(g);
    ClearSoundTrack(t);
    return 0;
  }
  s.volume = 32767;
  s.pan = 32767;
  Apply(s);
  FillSilence(s, 0, s.buffer_size);
  s.write_offset = 0;
  s.playing = 0;
  uint64_t prefill = std::min<uint64_t>(s.buffer_size, total);
  prefill -= prefill % format.block_align;
  s.prefill_total = static_cast<uint32_t>(prefill);
  s.lock_size = s.prefill_total;
  ++g.open_tracks;
  s.paused = 0;
  t->on = 1;
  t->ops = kDirectSoundOperations;
  t->fill_unit = bits == 8 ? s.chunk * 2 : s.chunk;
  return 1;
}

const DirectSoundState& DirectSoundStateOf(const SoundTrack& track) {
  return *reinterpret_cast<const DirectSoundState*>(track.driver_area);
}

uint32_t DirectSoundTracksOpen() {
  Shared& g = TheDevice();
  std::lock_guard<std::mutex> hold(g.lock);
  return g.open_tracks;
}

}  // namespace vexil
