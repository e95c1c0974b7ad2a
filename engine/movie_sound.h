// A movie's sound: which of its file's tracks play (one SoundTrack record
// each, audio/sound_track.h), turning sound on and off, feeding the drivers
// and decoding a packet's audio into the rings.
//
// Locks: the records of the played tracks, `play_tracks` after the open, and
// `sound_on` changes are used under the movie's sound mutex; ServiceSound
// only tries it. A track's ring is fed by the decode parts without the mutex
// (see audio/sound_track.h). The open and the close run on the player thread
// while no service or decode uses the movie.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace vexil {

struct MovieHandle;
struct ServiceNode;
struct SoundTrack;

struct MovieSound {
  // The sound mutex: the sound service node borrows it.
  std::recursive_timed_mutex sound_mutex;
  ServiceNode* sound_node;  // null: not on the sound service
  uint32_t play_tracks;
  SoundTrack* track_states;  // as many records as the open's track list (at least 1)
  uint32_t* track_map;       // for each played track, its index in the file's tables
  std::atomic<uint32_t> sound_on;
};

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
// frame: the track's final stretch (SoundTrack::final_stretch). Under the
// sound mutex.
bool InFinalStretch(const SoundTrack* track, const MovieHandle* movie);

}  // namespace vexil
