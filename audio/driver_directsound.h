// The DirectSound sound driver: one looping secondary buffer of 600 ms per
// track, filled in chunks of 50 ms behind the play cursor. The buffer is
// prefilled before it plays; a buffer found all but empty, or not looked at
// for longer than the resync interval, counts as run dry: the driver reports
// it, pads 100 ms of silence at the write cursor (or behind the data still to
// play) and carries on behind it.
//
// The operations run under the owner's sound mutex (see sound_track.h). The
// process's DirectSound object (platform::SharedSoundDevice: object, users,
// open tracks) is touched only by the provider, the open and the close, under
// its own lock.
#pragma once

#include <cstdint>

#include "audio/sound_track.h"
#include "platform/sound_device.h"

namespace vexil {

constexpr int kMaxSpeakers = 8;

// The driver area of a DirectSound track.
struct DirectSoundState {
  platform::SoundBuffer* buffer;  // the secondary buffer
  uint32_t buffer_size;           // 600 ms, rounded up to 1024 bytes
  uint32_t chunk;                 // 50 ms, rounded up to 256 bytes
  uint32_t rate;
  uint32_t bits;
  uint32_t channels;
  uint32_t volume;  // 0..32767
  uint32_t pan;     // 0..65536
  uint32_t playing;
  uint32_t paused;
  uint32_t write_offset;  // where the next bytes go
  uint32_t lock_size;     // bytes to offer; before playing, prefill still wanted
  uint32_t prefill_total;
  uint32_t last_write_cursor;
  uint32_t last_play_cursor;
  uint32_t underrun_threshold;  // 90 % of the buffer
  uint32_t position_time;       // engine time of the last cursor reading
  uint32_t resync_interval;     // ms without a reading that count as running dry
  void* lock_part[2];           // the current lock
  uint32_t lock_bytes[2];
  uint32_t speaker_count;
  uint32_t speaker_map[kMaxSpeakers];
  uint32_t speaker_volume_count;
  uint32_t speaker_volume_map[kMaxSpeakers];
  int32_t speaker_volumes[kMaxSpeakers];  // hundredths of a decibel
};

// The player's default choice. `object` is the caller's own DirectSound
// object, or null to load the library and create one. Null result when
// DirectSound does not work, or when switching to another object while a
// DirectSound track is open.
SoundDriverOpen DirectSoundProvider(void* object);

// The driver open operation (see SoundDriverOpen).
int DirectSoundDriverOpen(SoundTrack* track, uint32_t rate, uint32_t bits, uint32_t channels,
                          uint32_t movie_flags, const SoundDriverMovie& movie);

// The driver area of a track the DirectSound driver opened.
const DirectSoundState& DirectSoundStateOf(const SoundTrack& track);

// DirectSound tracks open now.
uint32_t DirectSoundTracksOpen();

// The device's scales: pan 0..65536 to -10000..10000, volume 0..32767 to
// hundredths of a decibel (-10000 for silence).
int32_t DirectSoundPan(uint32_t pan);
int32_t DirectSoundVolume(uint32_t volume);

}  // namespace vexil
