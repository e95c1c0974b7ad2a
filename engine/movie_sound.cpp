#include "engine/movie_sound.h"

#include <mutex>

#include "audio/sound_system.h"
#include "audio/sound_track.h"
#include "engine/engine.h"
#include "engine/movie.h"

namespace vexil {
namespace {

bool DecodeOutstanding(const MovieHandle* movie) {
  return movie->video.job_slot[0].load() != 0 || movie->video.job_slot[1].load() != 0;
}

// Every played track closed; the movie goes on as one without sound.
void CloseAllTracks(MovieHandle* movie) {
  for (uint32_t k = 0; k < movie->sound.play_tracks; ++k)
    CloseSoundTrack(&movie->sound.track_states[k], &movie->engine->sound_system);
  movie->sound.play_tracks = 0;
  movie->sound.sound_on = 0;
  movie->sound.track_states[0].timing_scale = kTimingScaleOne;
}

}  // namespace

void OpenSoundTracks(MovieHandle* movie, const uint32_t* ids, int count) {
  // Each requested id maps to the first file track that carries it.
  uint32_t mapped = 0;
  for (int i = 0; i < count; ++i) {
    for (uint32_t t = 0; t < movie->container.track_count; ++t) {
      if (movie->container.track_ids[t] == ids[i]) {
        movie->sound.track_map[mapped++] = t;
        break;
      }
    }
  }
  // Tracks that fail are left out of the map; their record is reused.
  movie->sound.play_tracks = 0;
  for (uint32_t m = 0; m < mapped; ++m) {
    SoundTrack* track = &movie->sound.track_states[movie->sound.play_tracks];
    const uint32_t file_track = movie->sound.track_map[m];
    SoundTrackParams params{};
    params.format = movie->container.track_formats[file_track];
    params.largest_packet = movie->container.track_max_sizes[file_track];
    params.frame_count = movie->container.frame_count;
    params.rate_num = movie->clock.rate_num;
    params.rate_den = movie->clock.rate_den;
    params.file_rate_num = movie->container.file_rate_num;
    params.file_rate_den = movie->container.file_rate_den;
    params.movie_flags = movie->open_flags;
    if (OpenSoundTrack(track, &movie->engine->sound_system, params, &movie->total_memory))
      movie->sound.track_map[movie->sound.play_tracks++] = file_track;
  }
  if (movie->sound.play_tracks == 0) {
    movie->sound.track_states[0].timing_scale = kTimingScaleOne;
    return;
  }
  movie->sound.sound_on = 1;
}

void CloseSoundTracks(MovieHandle* movie) {
  std::lock_guard<std::recursive_timed_mutex> lock(movie->sound.sound_mutex);
  for (uint32_t k = 0; k < movie->sound.play_tracks; ++k)
    CloseSoundTrack(&movie->sound.track_states[k], &movie->engine->sound_system);
  movie->sound.play_tracks = 0;
}

void ServiceSound(MovieHandle* movie) {
  if (!movie || movie->clock.frames_shown.load() == 0) return;
  std::unique_lock<std::recursive_timed_mutex> lock(movie->sound.sound_mutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  const uint32_t tracks = movie->sound.play_tracks;
  if (tracks == 0 || !movie->sound.track_states[tracks - 1].ops.ready) return;
  for (uint32_t k = 0; k < tracks; ++k) {
    SoundTrack& t = movie->sound.track_states[k];
    t.final_stretch = InFinalStretch(&t, movie) ? 1 : 0;
    ServiceSoundTrack(&t);
  }
}

void DecodeAudioPacket(MovieHandle* movie, uint32_t track, const uint8_t* packet, uint32_t size) {
  if (!movie || track >= movie->sound.play_tracks) return;
  DecodeIntoSoundTrack(&movie->sound.track_states[track], packet, size);
}

int SetSoundOnOff(MovieHandle* movie, int on) {
  if (!movie) return 0;
  std::lock_guard<std::recursive_timed_mutex> lock(movie->sound.sound_mutex);
  const bool was_on = movie->sound.sound_on.load() != 0;
  // The decoder moves the write pointer: the rings are emptied only while no
  // decode of the movie is outstanding.
  const bool quiet = !DecodeOutstanding(movie);
  const bool first_frame = movie->reader.current_frame == 1 && movie->clock.decoded_frame != 1;
  bool any_on = false;
  for (uint32_t k = 0; k < movie->sound.play_tracks; ++k) {
    SoundTrack& t = movie->sound.track_states[k];
    if (!t.ops.on_off) continue;
    const int result = t.ops.on_off(&t, on ? 1 : 0);
    if (on) {
      any_on = any_on || result;
    } else if (!result && was_on && quiet && t.ring_start) {
      ResetSoundTrackRing(&t, !first_frame);
    }
  }
  if (on) {
    if (any_on && !was_on) {
      movie->sound.sound_on = 1;
      movie->clock.base_time = 0;  // the frame clock starts again
      movie->clock.pause_offset = 0;
    } else if (!any_on && !was_on && movie->sound.play_tracks > 0 && quiet) {
      // Without an output that plays, the clock would wait for sound forever.
      CloseAllTracks(movie);
      movie->clock.base_time = 0;
      movie->clock.pause_offset = 0;
    }
  } else if (was_on) {
    movie->sound.sound_on = 0;
  }
  return movie->sound.sound_on.load() ? 1 : 0;
}

bool InFinalStretch(const SoundTrack* track, const MovieHandle* movie) {
  // At very low frame rates the last 0.75 seconds hold no whole frame: the
  // last frame itself then starts the final stretch.
  return movie &&
         (movie->reader.current_frame > track->end_zone_frame ||
          static_cast<uint32_t>(movie->reader.current_frame) >= movie->container.frame_count);
}

}  // namespace vexil
