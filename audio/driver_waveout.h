// The waveOut sound driver: 16 buffers of 1/16 second each, queued on a
// waveOut device. Playing starts once half a second has been handed over (or
// all of the movie's audio, when it is shorter), and starts again that way
// after the output ran dry.
//
// The operations run under the owner's sound mutex (see sound_track.h); the
// device marks buffers done on its own, which `ready` reads from the headers.
#pragma once

#include <cstdint>

#include "audio/sound_track.h"
#include "platform/sound_device.h"

namespace vexil {

constexpr int kWaveOutBuffers = 16;

// The driver area of a waveOut track.
struct WaveOutState {
  // One allocation: the 16 buffers, a table of 16 header pointers, the 16 headers.
  uint8_t* buffer_memory;
  platform::WaveHeader** headers;
  uint32_t buffer_size;      // 1/16 second, rounded up to 32 bytes
  uint32_t start_threshold;  // half a second, rounded up to 32 bytes, at most total_bytes
  uint64_t total_bytes;      // the movie's audio: frames x 1/frame rate x bytes per second
  uint32_t started;
  int32_t locked_index;  // -1 = none
  int32_t last_written;  // -1 = none
  uint64_t submitted;    // bytes handed over since the last start
  uint32_t volume;       // 0..32767
  uint32_t pan;          // 0..65536
  uint32_t paused;
  platform::WaveOutDevice* device;  // null while off
  uint32_t on;
};

// The player's waveOut choice: the argument is ignored.
SoundDriverOpen WaveOutSoundProvider(void* ignored);

// The driver open operation (see SoundDriverOpen).
int WaveOutDriverOpen(SoundTrack* track, uint32_t rate, uint32_t bits, uint32_t channels,
                      uint32_t movie_flags, const SoundDriverMovie& movie);

// The driver area of a track the waveOut driver opened.
const WaveOutState& WaveOutStateOf(const SoundTrack& track);

}  // namespace vexil
