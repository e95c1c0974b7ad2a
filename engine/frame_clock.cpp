#include "engine/frame_clock.h"

#include <mutex>

#include "audio/sound_track.h"
#include "engine/container.h"
#include "engine/foreground_read.h"
#include "engine/movie.h"
#include "engine/movie_sound.h"
#include "platform/timer.h"

namespace vexil {
namespace {

uint32_t TimingScale(const MovieHandle* movie) {
  uint32_t scale = movie->track_states[0].timing_scale;
  return scale ? scale : 0x10000;
}

void UnsetClock(MovieHandle* movie) {
  movie->base_time = 0;
  movie->pause_offset = 0;
}

void RebaseClock(MovieHandle* movie, uint32_t now) {
  movie->base_time = now;
  movie->base_frame = static_cast<int32_t>(movie->frames_shown.load()) - 1;
  movie->pause_offset = 0;
}

// Signed lateness of the next frame against the clock.
int32_t Lateness(const MovieHandle* movie, uint32_t now) {
  return static_cast<int32_t>(now - ClockElapsed(movie) - movie->base_time);
}

}  // namespace

void StartClock(MovieHandle* movie) {
  if (movie->base_time == 0) RebaseClock(movie, Timer());
}

uint32_t ClockElapsed(const MovieHandle* movie) {
  if (movie->rate_num == 0) return 0;
  uint32_t frames = movie->frames_shown.load() - static_cast<uint32_t>(movie->base_frame);
  uint32_t ms = frames * 1000u;
  uint32_t elapsed = static_cast<uint32_t>(uint64_t{ms} * movie->rate_den / movie->rate_num);
  return static_cast<uint32_t>(uint64_t{elapsed} * TimingScale(movie) / 65536);
}

void AccountCopyTime(MovieHandle* movie) {
  uint32_t first = movie->first_copy_time;
  if (first != 0 && first != kCopyTimeAfterDecode) {
    movie->blit_time.fetch_add(Timer() - first, std::memory_order_relaxed);
    movie->first_copy_time = 0;
  }
}

int Wait(MovieHandle* movie) {
  if (!movie || movie->stopped || (movie->frames_shown == 0 && !movie->paused)) return 0;
  StartClock(movie);
  ServiceSound(movie);
  AccountCopyTime(movie);
  if (!movie->paused && (movie->play_tracks == 0 || movie->sound_on)) {
    if (movie->rate_num == 0) return 0;
    if (Lateness(movie, Timer()) >= 0) return 0;
  }
  // Idle: read ahead, without ever waiting for the read-ahead lock.
  ReadWhileWaiting(movie);
  return 1;
}

int SkipDecision(MovieHandle* movie, int uncounted) {
  StartClock(movie);
  if (movie->rate_num != 0) {
    uint32_t now = Timer();
    int32_t lateness = Lateness(movie, now);
    if (lateness >= 0 && static_cast<uint32_t>(lateness) > movie->late_limit) {
      if (movie->play_tracks > 0) {
        if (lateness > 725) movie->very_late = 1;
        if (movie->skip_run >= 3) {
          movie->skip_state = 1;
          movie->skip_run = 0;
          return 0;
        }
        ++movie->skip_run;
        if (uncounted) {
          // The frame is copied anyway: it counts as shown, so Advance does
          // not decide (and count) it again.
          movie->skip_state = 1;
          return 1;
        }
        ++movie->skipped_blits;
        movie->skip_state = 2;
        movie->skip_next = 1;
        return 1;
      }
      // Without sound a late movie is never dropped: its clock starts again.
      RebaseClock(movie, now);
    }
  }
  movie->skip_state = 1;
  return 0;
}

void Advance(MovieHandle* movie) {
  if (!movie || movie->job_slot[0] || movie->job_slot[1]) return;
  if (movie->skip_state == 0) SkipDecision(movie, 0);
  bool sound_skip = false;
  const bool very_late = movie->very_late;
  movie->skip_state = 0;
  if (very_late) {
    movie->very_late = 0;
    sound_skip = true;
  } else {
    for (uint32_t t = 0; t < movie->play_tracks; ++t) {
      SoundTrack& track = movie->track_states[t];
      if (track.skipped.exchange(0) && movie->current_frame > 1 &&
          movie->current_frame <= track.end_zone_frame)
        sound_skip = true;
    }
  }
  if (sound_skip) {
    ++movie->sound_skips;
    std::lock(movie->read_lock, movie->sound_mutex);  // one wait for both
    SetSoundOnOff(movie, 0);
    ReadForRecovery(movie);
    UnsetClock(movie);
    SetSoundOnOff(movie, 1);
    movie->sound_mutex.unlock();  // the sound mutex goes first
    movie->read_lock.unlock();
  }
  ServiceSound(movie);
  AccountCopyTime(movie);
  const uint32_t frames = movie->frame_count;
  const uint32_t current = static_cast<uint32_t>(movie->current_frame);
  FetchFrame(movie, movie->current_frame > 0 && current < frames ? current + 1 : 1);
}

int Pause(MovieHandle* movie, int paused) {
  if (!movie) return 0;
  paused = paused ? 1 : 0;
  if (static_cast<uint32_t>(paused) == movie->paused) return paused;
  AccountCopyTime(movie);
  movie->last_done_time = 0;
  {
    std::lock_guard<std::recursive_timed_mutex> lock(movie->sound_mutex);
    for (uint32_t t = 0; t < movie->play_tracks; ++t) {
      SoundTrack& track = movie->track_states[t];
      if (track.ops.pause) track.ops.pause(&track, paused);
    }
  }
  ServiceSound(movie);
  uint32_t now = Timer();
  if (paused) {
    movie->pause_offset = movie->base_time ? now - movie->base_time : 0;
  } else if (movie->base_time) {
    movie->base_time = now - movie->pause_offset;
    if (movie->base_time == 0) movie->base_time = 1;
  }
  movie->paused = static_cast<uint32_t>(paused);
  return paused;
}

void FetchFrame(MovieHandle* movie, uint32_t n) {
  uint32_t i = n ? n - 1 : 0;
  if (i >= movie->frame_count) i = 0;
  movie->skip_state = 0;
  ServiceSound(movie);
  movie->previous_frame = movie->current_frame;
  if (i == 0) {
    uint32_t now = Timer();
    if (movie->loop_time == 0) movie->loop_time = now;
    if (now - movie->loop_time > 300000) {
      movie->loop_time = now;
      movie->resync = 1;
    }
  }
  const uint32_t entry = movie->frame_index[i];
  movie->frame_offset = IndexOffset(entry);
  movie->frame_is_key = entry & INDEX_KEY;
  movie->frame_bytes = IndexOffset(movie->frame_index[i + 1]) - movie->frame_offset;
  if (movie->preload_data) {
    movie->frame_data = movie->preload_data + (movie->frame_offset - movie->first_packet_offset);
    // A preloaded file that ended early holds only the packets before its end.
    const uint32_t loaded = movie->input.movie_size;
    if (movie->preload_block && uint64_t{movie->frame_offset} + movie->frame_bytes > loaded) {
      movie->frame_bytes = movie->frame_offset < loaded ? loaded - movie->frame_offset : 0;
      movie->input.input_error = 1;
    }
  } else {
    InputRecord* in = &movie->input;
    uint32_t got = in->read(in, i + 1, movie->frame_offset, movie->frame_data, movie->frame_bytes);
    // A short read has set the input error; the packet holds only what came.
    if (got < movie->frame_bytes) movie->frame_bytes = got;
  }
  ServiceSound(movie);
  // The sound service reads the frame number under the sound mutex.
  std::lock_guard<std::recursive_timed_mutex> sound(movie->sound_mutex);
  movie->current_frame = static_cast<int32_t>(i + 1);
}

bool ClockDecodeStart(MovieHandle* movie) {
  if (movie->decoded_frame == static_cast<uint32_t>(movie->current_frame)) return false;
  if (movie->input.input_error) movie->stopped = 1;
  if (movie->stopped) return false;
  AccountCopyTime(movie);
  if (movie->resync) {
    movie->resync = 0;
    if (movie->sound_on) {
      SetSoundOnOff(movie, 0);
      SetSoundOnOff(movie, 1);
    }
    UnsetClock(movie);
  }
  if (movie->paused) UnsetClock(movie);
  movie->skip_state = 0;
  return true;
}

void FrameDone(MovieHandle* movie, uint32_t time) {
  const uint32_t len = movie->history_len;
  movie->history_pos = movie->history_pos == 0 ? len - 1 : movie->history_pos - 1;
  if (movie->last_done_time) {
    uint32_t interval = time - movie->last_done_time;
    if (interval > movie->slowest_time) {
      movie->second_time = movie->slowest_time;
      movie->second_frame = movie->slowest_frame;
      movie->slowest_time = interval;
      movie->slowest_frame = movie->decoded_frame;
    } else if (interval > movie->second_time) {
      movie->second_time = interval;
      movie->second_frame = movie->decoded_frame;
    }
  }
  movie->last_done_time = time;
  const uint32_t pos = movie->history_pos;
  const InputRecord& in = movie->input;
  movie->history[HISTORY_DONE_TIME][pos] = time;
  movie->history[HISTORY_AUDIO_TIME][pos] = movie->audio_time.load();
  movie->history[HISTORY_VIDEO_TIME][pos] = movie->video_time.load();
  movie->history[HISTORY_BLIT_TIME][pos] = movie->blit_time.load();
  movie->history[HISTORY_READ_TIME][pos] = in.read_call_time.load();
  movie->history[HISTORY_IDLE_READ_TIME][pos] = in.idle_read_time.load();
  movie->history[HISTORY_BACKGROUND_READ_TIME][pos] = in.background_read_time.load();
  if (movie->play_start == 0) {
    // The ring runs backwards: the previous position is one further on.
    uint32_t previous = pos + 1 < len ? pos + 1 : 0;
    movie->history[HISTORY_DONE_TIME][previous] =
        time - static_cast<uint32_t>(1000ull * movie->file_rate_den / movie->file_rate_num);
    movie->play_start = time;
    movie->input.idle_read_time = 0;
    movie->input.background_read_time = 0;
  } else {
    ServiceSound(movie);
  }
  movie->frames_shown.fetch_add(1);
  StartClock(movie);
  movie->decoded_frame = static_cast<uint32_t>(movie->current_frame);
  movie->previous_frame = movie->current_frame;
  movie->first_copy_time = kCopyTimeAfterDecode;
}

}  // namespace vexil
