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
  uint32_t scale = movie->sound.track_states[0].timing_scale;
  return scale ? scale : kTimingScaleOne;
}

void UnsetClock(MovieHandle* movie) {
  movie->clock.base_time = 0;
  movie->clock.pause_offset = 0;
}

void RebaseClock(MovieHandle* movie, uint32_t now) {
  movie->clock.base_time = now;
  movie->clock.base_frame = static_cast<int32_t>(movie->clock.frames_shown.load()) - 1;
  movie->clock.pause_offset = 0;
}

// Signed lateness of the next frame against the clock.
int32_t Lateness(const MovieHandle* movie, uint32_t now) {
  return static_cast<int32_t>(now - ClockElapsed(movie) - movie->clock.base_time);
}

}  // namespace

void StartClock(MovieHandle* movie) {
  if (movie->clock.base_time == 0) RebaseClock(movie, Timer());
}

uint32_t ClockElapsed(const MovieHandle* movie) {
  if (movie->clock.rate_num == 0) return 0;
  uint32_t frames =
      movie->clock.frames_shown.load() - static_cast<uint32_t>(movie->clock.base_frame);
  uint32_t ms = frames * 1000u;
  uint32_t elapsed =
      static_cast<uint32_t>(uint64_t{ms} * movie->clock.rate_den / movie->clock.rate_num);
  return static_cast<uint32_t>(uint64_t{elapsed} * TimingScale(movie) / 65536);
}

void AccountCopyTime(MovieHandle* movie) {
  uint32_t first = movie->clock.first_copy_time;
  if (first != 0 && first != kCopyTimeAfterDecode) {
    movie->clock.blit_time.fetch_add(Timer() - first, std::memory_order_relaxed);
    movie->clock.first_copy_time = 0;
  }
}

int Wait(MovieHandle* movie) {
  if (!movie || movie->reader.stopped || (movie->clock.frames_shown == 0 && !movie->clock.paused))
    return 0;
  StartClock(movie);
  ServiceSound(movie);
  AccountCopyTime(movie);
  if (!movie->clock.paused && (movie->sound.play_tracks == 0 || movie->sound.sound_on)) {
    if (movie->clock.rate_num == 0) return 0;
    if (Lateness(movie, Timer()) >= 0) return 0;
  }
  // Idle: read ahead, without ever waiting for the read-ahead lock.
  ReadWhileWaiting(movie);
  return 1;
}

int SkipDecision(MovieHandle* movie, int uncounted) {
  StartClock(movie);
  if (movie->clock.rate_num != 0) {
    uint32_t now = Timer();
    int32_t lateness = Lateness(movie, now);
    if (lateness >= 0 && static_cast<uint32_t>(lateness) > movie->clock.late_limit) {
      if (movie->sound.play_tracks > 0) {
        if (lateness > 725) movie->clock.very_late = 1;
        if (movie->clock.skip_run >= 3) {
          movie->clock.skip_state = 1;
          movie->clock.skip_run = 0;
          return 0;
        }
        ++movie->clock.skip_run;
        if (uncounted) {
          // The frame is copied anyway: it counts as shown, so Advance does
          // not decide (and count) it again.
          movie->clock.skip_state = 1;
          return 1;
        }
        ++movie->clock.skipped_blits;
        movie->clock.skip_state = 2;
        movie->clock.skip_next = 1;
        return 1;
      }
      // Without sound a late movie is never dropped: its clock starts again.
      RebaseClock(movie, now);
    }
  }
  movie->clock.skip_state = 1;
  return 0;
}

void Advance(MovieHandle* movie) {
  if (!movie || movie->video.job_slot[0] || movie->video.job_slot[1]) return;
  if (movie->clock.skip_state == 0) SkipDecision(movie, 0);
  bool sound_skip = false;
  const bool very_late = movie->clock.very_late;
  movie->clock.skip_state = 0;
  if (very_late) {
    movie->clock.very_late = 0;
    sound_skip = true;
  } else {
    for (uint32_t t = 0; t < movie->sound.play_tracks; ++t) {
      SoundTrack& track = movie->sound.track_states[t];
      if (track.skipped.exchange(0) && movie->reader.current_frame > 1 &&
          movie->reader.current_frame <= track.end_zone_frame)
        sound_skip = true;
    }
  }
  if (sound_skip) {
    ++movie->clock.sound_skips;
    std::lock(movie->reader.read_lock, movie->sound.sound_mutex);  // one wait for both
    SetSoundOnOff(movie, 0);
    ReadForRecovery(movie);
    UnsetClock(movie);
    SetSoundOnOff(movie, 1);
    movie->sound.sound_mutex.unlock();  // the sound mutex goes first
    movie->reader.read_lock.unlock();
  }
  ServiceSound(movie);
  AccountCopyTime(movie);
  const uint32_t frames = movie->container.frame_count;
  const uint32_t current = static_cast<uint32_t>(movie->reader.current_frame);
  FetchFrame(movie, movie->reader.current_frame > 0 && current < frames ? current + 1 : 1);
}

int Pause(MovieHandle* movie, int paused) {
  if (!movie) return 0;
  paused = paused ? 1 : 0;
  if (static_cast<uint32_t>(paused) == movie->clock.paused) return paused;
  AccountCopyTime(movie);
  movie->clock.last_done_time = 0;
  {
    std::lock_guard<std::recursive_timed_mutex> lock(movie->sound.sound_mutex);
    for (uint32_t t = 0; t < movie->sound.play_tracks; ++t) {
      SoundTrack& track = movie->sound.track_states[t];
      if (track.ops.pause) track.ops.pause(&track, paused);
    }
  }
  ServiceSound(movie);
  uint32_t now = Timer();
  if (paused) {
    movie->clock.pause_offset = movie->clock.base_time ? now - movie->clock.base_time : 0;
  } else if (movie->clock.base_time) {
    movie->clock.base_time = now - movie->clock.pause_offset;
    if (movie->clock.base_time == 0) movie->clock.base_time = 1;
  }
  movie->clock.paused = static_cast<uint32_t>(paused);
  return paused;
}

void FetchFrame(MovieHandle* movie, uint32_t n) {
  uint32_t i = n ? n - 1 : 0;
  if (i >= movie->container.frame_count) i = 0;
  movie->clock.skip_state = 0;
  ServiceSound(movie);
  movie->reader.previous_frame = movie->reader.current_frame;
  if (i == 0) {
    uint32_t now = Timer();
    if (movie->clock.loop_time == 0) movie->clock.loop_time = now;
    if (now - movie->clock.loop_time > 300000) {
      movie->clock.loop_time = now;
      movie->clock.resync = 1;
    }
  }
  const uint32_t entry = movie->container.frame_index[i];
  movie->reader.frame_offset = IndexOffset(entry);
  movie->reader.frame_is_key = entry & INDEX_KEY;
  movie->reader.frame_bytes =
      IndexOffset(movie->container.frame_index[i + 1]) - movie->reader.frame_offset;
  if (movie->reader.preload_data) {
    movie->reader.frame_data = movie->reader.preload_data +
                               (movie->reader.frame_offset - movie->container.first_packet_offset);
    // A preloaded file that ended early holds only the packets before its end.
    const uint32_t loaded = movie->reader.input->movie_size;
    if (movie->reader.preload_block &&
        uint64_t{movie->reader.frame_offset} + movie->reader.frame_bytes > loaded) {
      movie->reader.frame_bytes =
          movie->reader.frame_offset < loaded ? loaded - movie->reader.frame_offset : 0;
      movie->reader.input->input_error = 1;
    }
  } else {
    InputRecord* in = movie->reader.input.get();
    uint32_t got = in->read(in, i + 1, movie->reader.frame_offset, movie->reader.frame_data,
                            movie->reader.frame_bytes);
    // A short read has set the input error; the packet holds only what came.
    if (got < movie->reader.frame_bytes) movie->reader.frame_bytes = got;
  }
  ServiceSound(movie);
  // The sound service reads the frame number under the sound mutex.
  std::lock_guard<std::recursive_timed_mutex> sound(movie->sound.sound_mutex);
  movie->reader.current_frame = static_cast<int32_t>(i + 1);
}

bool ClockDecodeStart(MovieHandle* movie) {
  if (movie->clock.decoded_frame == static_cast<uint32_t>(movie->reader.current_frame))
    return false;
  if (movie->reader.input->input_error) movie->reader.stopped = 1;
  if (movie->reader.stopped) return false;
  AccountCopyTime(movie);
  if (movie->clock.resync) {
    movie->clock.resync = 0;
    if (movie->sound.sound_on) {
      SetSoundOnOff(movie, 0);
      SetSoundOnOff(movie, 1);
    }
    UnsetClock(movie);
  }
  if (movie->clock.paused) UnsetClock(movie);
  movie->clock.skip_state = 0;
  return true;
}

void FrameDone(MovieHandle* movie, uint32_t time) {
  const uint32_t len = movie->clock.history_len;
  movie->clock.history_pos = movie->clock.history_pos == 0 ? len - 1 : movie->clock.history_pos - 1;
  if (movie->clock.last_done_time) {
    uint32_t interval = time - movie->clock.last_done_time;
    if (interval > movie->clock.slowest_time) {
      movie->clock.second_time = movie->clock.slowest_time;
      movie->clock.second_frame = movie->clock.slowest_frame;
      movie->clock.slowest_time = interval;
      movie->clock.slowest_frame = movie->clock.decoded_frame;
    } else if (interval > movie->clock.second_time) {
      movie->clock.second_time = interval;
      movie->clock.second_frame = movie->clock.decoded_frame;
    }
  }
  movie->clock.last_done_time = time;
  const uint32_t pos = movie->clock.history_pos;
  const InputRecord& in = *movie->reader.input;
  movie->clock.history[HISTORY_DONE_TIME][pos] = time;
  movie->clock.history[HISTORY_AUDIO_TIME][pos] = movie->clock.audio_time.load();
  movie->clock.history[HISTORY_VIDEO_TIME][pos] = movie->clock.video_time.load();
  movie->clock.history[HISTORY_BLIT_TIME][pos] = movie->clock.blit_time.load();
  movie->clock.history[HISTORY_READ_TIME][pos] = in.read_call_time.load();
  movie->clock.history[HISTORY_IDLE_READ_TIME][pos] = in.idle_read_time.load();
  movie->clock.history[HISTORY_BACKGROUND_READ_TIME][pos] = in.background_read_time.load();
  if (movie->clock.play_start == 0) {
    // The ring runs backwards: the previous position is one further on.
    uint32_t previous = pos + 1 < len ? pos + 1 : 0;
    movie->clock.history[HISTORY_DONE_TIME][previous] =
        time - static_cast<uint32_t>(1000ull * movie->container.file_rate_den /
                                     movie->container.file_rate_num);
    movie->clock.play_start = time;
    movie->reader.input->idle_read_time = 0;
    movie->reader.input->background_read_time = 0;
  } else {
    ServiceSound(movie);
  }
  movie->clock.frames_shown.fetch_add(1);
  StartClock(movie);
  movie->clock.decoded_frame = static_cast<uint32_t>(movie->reader.current_frame);
  movie->reader.previous_frame = movie->reader.current_frame;
  movie->clock.first_copy_time = kCopyTimeAfterDecode;
}

}  // namespace vexil
