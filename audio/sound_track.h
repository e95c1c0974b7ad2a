// Sound tracks: one record per played track of a movie, joining an audio
// decoder, a ring of decoded 16-bit PCM and one sound output driver.
//
// Threads: the ring is single-producer (the decode part moves write_pointer)
// and single-consumer (ServiceSound moves read_pointer); ServiceSound, on/off
// and pause run under the movie's sound mutex.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexil {

struct MovieHandle;
struct AudioDecoder;
struct SoundTrack;

// Bytes a driver may keep inside its track record.
constexpr int kSoundDriverAreaBytes = 512;

// The driver operation table (slot order). Drivers fill slots 1-8.
struct SoundDriverOperations {
  int (*ready)(SoundTrack* track);
  // Space to fill now: returns 0 when there is none.
  int (*lock)(SoundTrack* track, void** pointer, uint32_t* bytes);
  int (*unlock)(SoundTrack* track, uint32_t bytes_written);
  void (*set_volume)(SoundTrack* track, int32_t volume);
  void (*set_pan)(SoundTrack* track, uint32_t pan);  // 0..65536, 32768 centre
  int (*pause)(SoundTrack* track, int pause);
  int (*on_off)(SoundTrack* track, int on);
  void (*close)(SoundTrack* track);
  void (*set_speaker_map)(SoundTrack* track, const uint32_t* map, int count);
  void (*set_speaker_volumes)(SoundTrack* track, const uint32_t* map, const int32_t* volumes,
                              int count);
};

struct SoundTrack {
  std::atomic<uint8_t*> write_pointer;
  uint32_t decoder_memory;
  uint32_t ring_size;  // ring buffer size + 16
  uint8_t* ring_start;  // null: the track is not open
  uint8_t* ring_end;
  AudioDecoder* decoder;
  std::atomic<uint8_t*> read_pointer;
  uint32_t sample_rate;
  uint32_t driver_rate;
  uint32_t bits;
  uint32_t channels;
  uint32_t fill_unit;
  uint32_t alignment_mask;
  uint32_t on;
  uint32_t latency;
  uint32_t timing_scale;  // 16.16; the frame clock's speed factor
  int32_t end_zone_frame;
  uint32_t preroll_bytes;
  uint32_t own_service;
  std::atomic<uint32_t> skipped;
  uint32_t eight_bit_output;
  alignas(16) unsigned char driver_area[kSoundDriverAreaBytes];
  SoundDriverOperations ops;
};

// A driver open operation: clears the record, fills the driver fields and the
// operation table, sets `on`. Returns 1 on success.
using SoundDriverOpen = int (*)(SoundTrack* track, uint32_t rate, uint32_t bits,
                                uint32_t channels, uint32_t movie_flags, MovieHandle* movie);
// A provider: called with 0, returns its driver open operation.
using SoundProvider = SoundDriverOpen (*)(int);

// Track ids for the next open (count, ids); after each open: one id, 0.
constexpr int kMaxTrackList = 8;
void SetSoundTrack(int count, const uint32_t* ids);
int SoundTrackListCount();
const uint32_t* SoundTrackListIds();
void ResetSoundTrackList();

// Opens the played tracks of a freshly opened movie (track_map, track_states,
// play_tracks) and, when any plays, turns sound on. Called by Open.
void OpenSoundTracks(MovieHandle* movie);
// Closes every played track of a movie. Called by Close.
void CloseSoundTracks(MovieHandle* movie);

}  // namespace vexil

namespace vexil {
// Moves decoded audio from the rings to the drivers (any thread; only tries
// the sound mutex).
void ServiceSound(MovieHandle* movie);
// Decodes one audio packet of played track `track` into its ring (decode
// threads; the frame decode part calls it before the frame's video).
void DecodeAudioPacket(MovieHandle* movie, uint32_t track, const uint8_t* packet, uint32_t size);
// Turns the movie's sound on or off; returns the resulting on state.
int SetSoundOnOff(MovieHandle* movie, int on);
}  // namespace vexil
