// Sound tracks: one record per played track of a movie, joining an audio
// decoder, a ring of decoded 16-bit PCM and one sound output driver, and the
// operations that open and close a track, move audio from a packet into its
// ring and from its ring into its driver. The movie-level operations (which
// tracks of a movie play, the movie's sound mutex, sound on and off) are the
// engine's (engine/movie_sound.h).
//
// Threads and locks:
// - The ring is single-producer, single-consumer: only DecodeIntoSoundTrack
//   (on a decode thread, or the player thread without decode threads) moves
//   write_pointer, only ServiceSoundTrack and ResetSoundTrackRing move
//   read_pointer. Each side publishes the bytes it wrote or finished reading
//   with a release store of its pointer and reads the other's with an acquire
//   load.
// - Everything else a track holds after its open (driver fields, driver area,
//   operation table, final_stretch) is used under the owner's sound mutex:
//   ServiceSoundTrack (the sound service thread or the player thread), on and
//   off and the pause operations (player thread).
// - The open and the close run on the owner's thread, while no service or
//   decode uses the track.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexil {

struct AudioDecoder;
struct SoundSystem;
struct SoundTrack;

// Bytes a driver may keep inside its track record.
constexpr int kSoundDriverAreaBytes = 512;

// The driver operation table (slot order). A driver's open fills slots 1-8;
// 9 and 10 may stay null. Every operation runs under the owner's sound mutex
// (the movie's), on whichever thread holds it.
struct SoundDriverOperations {
  // 1. Whether a buffer can be filled now (ServiceSoundTrack, before each lock).
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

// The frame clock's speed factor at the file's own speed (16.16 fixed point).
constexpr uint32_t kTimingScaleOne = 0x10000;

struct SoundTrack {
  std::atomic<uint8_t*> write_pointer;  // decoder side
  uint32_t decoder_memory;  // the decoder's output block offset + 128 (memory accounting)
  uint32_t ring_size;       // ring buffer size + 16
  uint8_t* ring_start;      // null: the track is not open
  uint8_t* ring_end;
  AudioDecoder* decoder;
  std::atomic<uint8_t*> read_pointer;  // ServiceSoundTrack side
  uint32_t sample_rate;                // the track's own rate
  // Set by the driver's open:
  uint32_t driver_rate;
  uint32_t bits;            // 8 or 16
  uint32_t channels;        // 1 or 2
  uint32_t fill_unit;       // 16-bit bytes the driver takes per buffer
  uint32_t alignment_mask;  // applied to hand-over amounts; all ones = none
  uint32_t on;              // the driver's output is on
  uint32_t latency;         // milliseconds the driver adds
  uint32_t timing_scale;    // 16.16 speed factor of the frame clock; 0 counts as kTimingScaleOne
  // Set by the track's owner:
  int32_t end_zone_frame;         // the last 0.75 s begin after this frame (never below 0)
  // The movie's last stretch has come (past the end-zone frame, or on the
  // last frame): the owner sets it under the sound mutex before it services
  // the track. From there on the ring is flushed to the driver without
  // waiting for whole fill units, and a driver still waiting for a start
  // threshold's worth of audio starts with what it has (a track whose audio
  // is shorter than the movie's would otherwise never be heard).
  uint32_t final_stretch;
  uint32_t preroll_bytes;         // audio wanted in the ring before sound starts
  uint32_t own_service;           // the driver services itself: no sound service
  std::atomic<uint32_t> skipped;  // set by the driver when its output ran dry; cleared by Advance
  uint32_t eight_bit_output;
  alignas(16) unsigned char driver_area[kSoundDriverAreaBytes];
  SoundDriverOperations ops;
};

// Clears a record to all zeros (drivers do this first in their open).
void ClearSoundTrack(SoundTrack* track);

// What a driver's open learns of the movie the track plays for: its length
// in frames at the rate it plays at (rate_num 0: as fast as possible).
struct SoundDriverMovie {
  uint32_t frame_count;
  uint32_t rate_num;
  uint32_t rate_den;
};

// A driver open operation: (track, rate, bits, channels, movie flags, movie).
// Clears the record, fills the driver fields and the operation table, sets
// `on`; returns 1 on success, 0 on failure. Owner thread.
using SoundDriverOpen = int (*)(SoundTrack* track, uint32_t rate, uint32_t bits, uint32_t channels,
                                uint32_t movie_flags, const SoundDriverMovie& movie);
// A provider: given its argument (0 asks for the default), returns its driver
// open operation, or null when its output cannot work.
using SoundProvider = SoundDriverOpen (*)(void* argument);

// What a track's open needs of its movie.
struct SoundTrackParams {
  uint32_t format;          // the track's format word (TRACK_*, audio/track_format.h)
  uint32_t largest_packet;  // the track's largest decoded packet, bytes
  uint32_t frame_count;
  uint32_t rate_num, rate_den;            // the rate the movie plays at
  uint32_t file_rate_num, file_rate_den;  // the movie's own rate
  uint32_t movie_flags;                   // handed to the driver's open
};

// Opens a track with the system's driver: the driver at the track's rate (kept
// in pace with a changed frame rate), a ring of 5/4 of the largest packet, the
// decoder, the preroll and the end-zone frame. False (the record cleared)
// when the track cannot play: no driver, no codec, no rate, a ring of more
// than two seconds, or a failed driver, ring or decoder. The bytes the ring
// and the decoder take are added to *memory. Owner thread.
bool OpenSoundTrack(SoundTrack* track, SoundSystem* system, const SoundTrackParams& params,
                    uint64_t* memory);
// Closes the driver and releases the ring and the decoder; the record is
// cleared. A track that is not open is only cleared. Owner thread.
void CloseSoundTrack(SoundTrack* track, SoundSystem* system);

// Moves decoded audio from the ring to the driver: whole fill units before
// the final stretch, everything in it. Under the sound mutex.
void ServiceSoundTrack(SoundTrack* track);

// Decodes one audio packet of the track (its part of a frame packet: the
// 32-bit count, then the blocks) into the ring, never filling the ring
// completely; what does not fit is dropped. Decode thread.
void DecodeIntoSoundTrack(SoundTrack* track, const uint8_t* packet, uint32_t size);

// Empties the ring; with `prime`, the preroll's worth of silence is put just
// behind its start, so the output restarts with that much in hand. Under the
// sound mutex, while no decode of the track is outstanding.
void ResetSoundTrackRing(SoundTrack* track, bool prime);

}  // namespace vexil
