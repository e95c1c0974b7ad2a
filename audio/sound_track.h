// Sound tracks: one record per played track of a movie, joining an audio
// decoder, a ring of decoded 16-bit PCM and one sound output driver, and the
// engine operations that move audio from a frame's packet into the ring and
// from the ring into the driver.
//
// Threads and locks:
// - The ring is single-producer, single-consumer: only DecodeAudioPacket (on
//   a decode thread, or the player thread without decode threads) moves
//   write_pointer, only ServiceSound moves read_pointer. Each side publishes
//   the bytes it wrote or finished reading with a release store of its
//   pointer and reads the other's with an acquire load.
// - Everything else a track holds after its open (driver fields, driver area,
//   operation table) is used under the movie's sound mutex: ServiceSound (the
//   sound service thread or the player thread), SetSoundOnOff and the pause
//   operations (player thread).
// - The open and the close run on the player thread, while no service or
//   decode uses the movie.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexil {

struct MovieHandle;
struct AudioDecoder;
struct SoundTrack;

// Bytes a driver may keep inside its track record.
constexpr int kSoundDriverAreaBytes = 512;

// The driver operation table (slot order). A driver's open fills slots 1-8;
// 9 and 10 may stay null. Every operation runs under the movie's sound mutex,
// on whichever thread holds it.
struct SoundDriverOperations {
  // 1. Whether a buffer can be filled now (ServiceSound, before each lock).
  //    May set the track's `skipped` when the output ran dry.
  int (*ready)(SoundTrack* track);
  // 2. The space to fill now, in the driver's sample format; 0 = nothing.
  int (*lock)(SoundTrack* track, void** pointer, uint32_t* bytes);
  // 3. After filling: the bytes written (at most what lock offered). Returns nonzero.
  int (*unlock)(SoundTrack* track, uint32_t bytes_written);
  // 4. Volume on the driver's own scale (not called by the engine).
  void (*set_volume)(SoundTrack* track, uint32_t volume);
  // 5. Pan 0..65536, 32768 = centre (not called by the engine).
  void (*set_pan)(SoundTrack* track, uint32_t pan);
  // 6. 1 = pause, 0 = resume (the movie's Pause); returns the paused state.
  int (*pause)(SoundTrack* track, int pause);
  // 7. 1 = on, 0 = off (SetSoundOnOff); returns the resulting on state.
  int (*on_off)(SoundTrack* track, int on);
  // 8. Releases the output (movie close, or a track that fails to open after
  //    the driver opened it).
  void (*close)(SoundTrack* track);
  // 9, 10. Speaker settings (not called by the engine).
  void (*set_speaker_map)(SoundTrack* track, const uint32_t* map, int count);
  void (*set_speaker_volumes)(SoundTrack* track, const uint32_t* map, const uint32_t* volumes,
                              int count);
};

struct SoundTrack {
  std::atomic<uint8_t*> write_pointer;  // decoder side
  uint32_t decoder_memory;  // the decoder's output block offset + 128 (memory accounting)
  uint32_t ring_size;       // ring buffer size + 16
  uint8_t* ring_start;      // null: the track is not open
  uint8_t* ring_end;
  AudioDecoder* decoder;
  std::atomic<uint8_t*> read_pointer;  // ServiceSound side
  uint32_t sample_rate;                // the track's own rate
  // Set by the driver's open:
  uint32_t driver_rate;
  uint32_t bits;            // 8 or 16
  uint32_t channels;        // 1 or 2
  uint32_t fill_unit;       // 16-bit bytes the driver takes per buffer
  uint32_t alignment_mask;  // applied to hand-over amounts; all ones = none
  uint32_t on;              // the driver's output is on
  uint32_t latency;         // milliseconds the driver adds
  uint32_t timing_scale;    // 16.16 speed factor of the frame clock; 0 counts as 0x10000
  // Set by the engine:
  int32_t end_zone_frame;         // the last 0.75 s begin after this frame (never below 0)
  uint32_t preroll_bytes;         // audio wanted in the ring before sound starts
  uint32_t own_service;           // the driver services itself: no sound service
  std::atomic<uint32_t> skipped;  // set by the driver when its output ran dry; cleared by Advance
  uint32_t eight_bit_output;
  alignas(16) unsigned char driver_area[kSoundDriverAreaBytes];
  SoundDriverOperations ops;
};

// Clears a record to all zeros (drivers do this first in their open).
void ClearSoundTrack(SoundTrack* track);

// A driver open operation: (track, rate, bits, channels, movie flags, movie).
// Clears the record, fills the driver fields and the operation table, sets
// `on`; returns 1 on success, 0 on failure. Player thread.
using SoundDriverOpen = int (*)(SoundTrack* track, uint32_t rate, uint32_t bits, uint32_t channels,
                                uint32_t movie_flags, MovieHandle* movie);
// A provider: given its argument (0 asks for the default), returns its driver
// open operation, or null when its output cannot work.
using SoundProvider = SoundDriverOpen (*)(void* argument);

// Movie open: maps the `count` requested ids to file tracks (track_map, which
// has room for `count` entries), opens each mapped track (track_states,
// play_tracks) with the sound system of the movie's engine and, when any
// plays, turns sound on. Tracks that cannot open are left out.
void OpenSoundTracks(MovieHandle* movie, const uint32_t* ids, int count);
// Movie close, after the movie left the sound service: closes every played
// track and releases its ring and decoder.
void CloseSoundTracks(MovieHandle* movie);

// Moves decoded audio from the rings to the drivers: whole fill units before
// the end zone, everything inside it. Any thread; only tries the sound mutex
// and returns at once when another thread holds it.
void ServiceSound(MovieHandle* movie);

// Decodes the audio packet of played track `track` (its part of a frame
// packet: the 32-bit count, then the blocks) into the track's ring, never
// filling the ring completely; what does not fit is dropped. Decode thread.
void DecodeAudioPacket(MovieHandle* movie, uint32_t track, const uint8_t* packet, uint32_t size);

// Turns the movie's sound on (1) or off (0) under the sound mutex; returns the
// resulting `sound_on`. Turning off empties the rings and, past the first
// frame, primes them with the preroll's worth of silence; turning on restarts
// the frame clock. When no track can come back on, the tracks are closed and
// the movie plays on silent. Player thread.
int SetSoundOnOff(MovieHandle* movie, int on);

// Whether the movie is past this track's end-zone frame, or on its last
// frame. From there on the ring is flushed to the driver without waiting for
// whole fill units, and no start threshold's worth of audio may come any
// more: a driver still waiting for one starts with what it has (a track whose
// audio is shorter than the movie's would otherwise never be heard). Under
// the sound mutex.
bool InFinalStretch(const SoundTrack* track, const MovieHandle* movie);

}  // namespace vexil
