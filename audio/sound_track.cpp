#include "audio/sound_track.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "audio/sound_arithmetic.h"
#include "audio/sound_system.h"
#include "engine/container.h"
#include "engine/engine.h"
#include "engine/movie.h"
#include "platform/heap.h"

namespace vexil {
namespace {

constexpr uint64_t kMaxDriverRate = 256000;
constexpr uint32_t kPrerollMs = 750;
// The ring keeps this much free, so that it never fills completely and a full
// ring is never mistaken for an empty one.
constexpr uint32_t kRingSlack = 16;

// Bytes in the ring, given both pointers.
uint32_t Held(const SoundTrack& t, const uint8_t* write, const uint8_t* read) {
  return write >= read ? static_cast<uint32_t>(write - read)
                       : static_cast<uint32_t>(write - read) + t.ring_size;
}

// The ring holds the decoder's 16-bit samples: whole sample frames are
// channels x 2 bytes.
uint32_t FrameBytes(const SoundTrack& t) {
  return t.decoder ? t.decoder->channels * 2 : 4;
}

// --- track open and close ---

// The frame rate as played differs from the file's own.
bool RateOverridden(const MovieHandle* m) {
  return uint64_t{m->rate_num} * m->file_rate_den != uint64_t{m->file_rate_num} * m->rate_den;
}

bool OpenTrack(MovieHandle* movie, SoundTrack* track, uint32_t file_track) {
  SoundSystem& system = movie->engine->sound_system;
  const SoundDriverOpen open = system.open;
  const uint32_t format = movie->track_formats[file_track];
  if (!open || !(format & (TRACK_RDFT | TRACK_DCT))) return false;
  // As fast as possible (rate 0) has no audio speed to play at.
  if (movie->rate_num == 0 || movie->rate_den == 0) return false;
  const uint32_t channels = (format & TRACK_STEREO) ? 2 : 1;
  const uint32_t bits = (format & TRACK_16BIT) ? 16 : 8;
  const uint32_t rate = format & TRACK_RATE_MASK;
  if (rate == 0) return false;

  // Audio keeps pace with a changed frame rate: rate x played / own.
  uint64_t driver_rate = rate;
  if (RateOverridden(movie)) {
    driver_rate = MulDivRound(uint64_t{rate} * movie->file_rate_den, movie->rate_num,
                              uint64_t{movie->file_rate_num} * movie->rate_den);
  }
  driver_rate = std::min(driver_rate, kMaxDriverRate);
  if (driver_rate == 0) return false;

  // A ring of 5/4 of the largest packet's audio, at most two seconds' worth.
  const uint64_t buffer =
      (uint64_t{movie->track_max_sizes[file_track]} * 5 / 4 + 255) & ~uint64_t{255};
  const uint64_t two_seconds = uint64_t{channels} * bits * rate * 2 / 8;
  if (buffer > two_seconds) return false;

  if (!open(track, static_cast<uint32_t>(driver_rate), bits, channels, movie->open_flags, movie))
    return false;
  track->sample_rate = rate;
  if (track->alignment_mask == 0) track->alignment_mask = ~0u;
  track->ring_size = static_cast<uint32_t>(buffer) + kRingSlack;
  auto* ring = static_cast<uint8_t*>(Alloc(track->ring_size));
  if (!ring) {
    track->ops.close(track);
    return false;
  }
  std::memset(ring, 0, track->ring_size);

  const uint32_t preroll_ms = track->latency < kPrerollMs ? kPrerollMs - track->latency : 0;
  track->eight_bit_output = track->bits == 8 ? 1 : 0;
  track->ring_start = ring;
  track->ring_end = ring + track->ring_size;
  track->write_pointer.store(ring, std::memory_order_relaxed);
  track->read_pointer.store(ring, std::memory_order_relaxed);
  uint64_t preroll = driver_rate * channels * 2 * preroll_ms / 1000;
  preroll &= ~uint64_t{3};
  preroll -= preroll % (channels * 2);
  track->preroll_bytes = static_cast<uint32_t>(std::min<uint64_t>(preroll, buffer));

  const bool dct = !(format & TRACK_RDFT) && (format & TRACK_DCT);
  track->decoder = AudioDecoderOpen(rate, channels, dct ? AUDIO_DCT : 0);
  if (!track->decoder) {
    track->ops.close(track);
    Free(ring);
    track->ring_start = nullptr;
    return false;
  }
  track->decoder_memory = track->decoder->output_block_offset + 128;
  movie->total_memory += uint64_t{track->ring_size} + track->decoder_memory;

  // The frame after which the last 0.75 s of the movie begin.
  const int64_t tail =
      static_cast<int64_t>(uint64_t{movie->rate_num} * 3 / (uint64_t{movie->rate_den} * 4));
  const int64_t end_zone = int64_t{movie->frame_count} - tail;
  track->end_zone_frame = static_cast<int32_t>(std::clamp<int64_t>(end_zone, 0, INT32_MAX));
  system.open_tracks.fetch_add(1);
  if (track->timing_scale == 0) track->timing_scale = 0x10000;
  return true;
}

void CloseTrack(SoundSystem& system, SoundTrack* track) {
  if (track->ops.close) track->ops.close(track);
  AudioDecoderClose(track->decoder);
  if (track->ring_start) {
    Free(track->ring_start);
    system.open_tracks.fetch_sub(1);
  }
  ClearSoundTrack(track);
}

// Every played track closed; the movie goes on as one without sound.
void CloseAllTracks(MovieHandle* movie) {
  for (uint32_t k = 0; k < movie->play_tracks; ++k)
    CloseTrack(movie->engine->sound_system, &movie->track_states[k]);
  movie->play_tracks = 0;
  movie->sound_on = 0;
  movie->track_states[0].timing_scale = 0x10000;
}

// --- ring to driver ---

// Copies `amount` bytes of 16-bit samples from the read pointer to `out`,
// wrapping at the ring end; for 8-bit output each sample becomes its high
// byte plus 128.
void CopyFromRing(const SoundTrack& t, const uint8_t* read, uint8_t* out, uint32_t amount) {
  uint32_t done = 0;
  while (done < amount) {
    const uint32_t run =
        std::min<uint32_t>(amount - done, static_cast<uint32_t>(t.ring_end - read));
    if (t.eight_bit_output) {
      for (uint32_t i = 0; i < run; i += 2) {
        int16_t sample;
        std::memcpy(&sample, read + i, 2);
        out[(done + i) / 2] = static_cast<uint8_t>((sample >> 8) + 128);
      }
    } else {
      std::memcpy(out + done, read, run);
    }
    done += run;
    read += run;
    if (read == t.ring_end) read = t.ring_start;
  }
}

void ServiceTrack(SoundTrack& t, bool end_zone) {
  if (!t.ring_start || !t.ops.ready || !t.ops.lock || !t.ops.unlock) return;
  const uint32_t frame = FrameBytes(t);
  const uint32_t mask = t.eight_bit_output ? t.alignment_mask << 1 : t.alignment_mask;
  while (t.ops.ready(&t)) {
    uint8_t* const read = t.read_pointer.load(std::memory_order_relaxed);
    const uint32_t held = Held(t, t.write_pointer.load(std::memory_order_acquire), read);
    // Before the end zone only whole buffers go; inside it the rest is flushed.
    if (held <= t.fill_unit && !(end_zone && held > 0)) break;
    void* space = nullptr;
    uint32_t length = 0;
    if (!t.ops.lock(&t, &space, &length)) break;
    const uint64_t offered = t.eight_bit_output ? uint64_t{length} * 2 : length;
    uint32_t amount = static_cast<uint32_t>(std::min<uint64_t>(offered, held));
    if (!end_zone) amount &= mask;
    amount -= amount % frame;
    if (space && amount) {
      CopyFromRing(t, read, static_cast<uint8_t*>(space), amount);
      const size_t offset = (static_cast<size_t>(read - t.ring_start) + amount) % t.ring_size;
      t.read_pointer.store(t.ring_start + offset, std::memory_order_release);
    } else {
      amount = 0;
    }
    t.ops.unlock(&t, t.eight_bit_output ? amount / 2 : amount);
    if (amount == 0) break;  // the driver offered nothing usable
  }
}

// --- packet to ring ---

uint32_t RingAllowed(void* context) {
  const auto& t = *static_cast<SoundTrack*>(context);
  const uint32_t held = Held(t, t.write_pointer.load(std::memory_order_relaxed),
                             t.read_pointer.load(std::memory_order_acquire));
  const uint32_t free16 = (t.ring_size - held) & ~15u;
  return free16 > kRingSlack ? free16 - kRingSlack : 0;
}

void RingTake(void* context, const uint8_t* pcm, uint32_t bytes) {
  auto& t = *static_cast<SoundTrack*>(context);
  uint8_t* write = t.write_pointer.load(std::memory_order_relaxed);
  uint32_t done = 0;
  while (done < bytes) {
    const uint32_t run =
        std::min<uint32_t>(bytes - done, static_cast<uint32_t>(t.ring_end - write));
    std::memcpy(write, pcm + done, run);
    done += run;
    write += run;
    if (write == t.ring_end) write = t.ring_start;
  }
  t.write_pointer.store(write, std::memory_order_release);
}

// --- on and off ---

bool DecodeOutstanding(const MovieHandle* movie) {
  return movie->job_slot[0].load() != 0 || movie->job_slot[1].load() != 0;
}

// An emptied ring gets the preroll's worth of silence just behind its start,
// so the output restarts with that much in hand.
void PrimeWithSilence(SoundTrack& t) {
  uint8_t* const read = t.ring_end - t.preroll_bytes;
  std::memset(read, 0, t.preroll_bytes);
  t.read_pointer.store(t.preroll_bytes ? read : t.ring_start, std::memory_order_release);
}

}  // namespace

void ClearSoundTrack(SoundTrack* track) {
  track->~SoundTrack();
  new (track) SoundTrack{};
}

void OpenSoundTracks(MovieHandle* movie, const uint32_t* ids, int count) {
  // Each requested id maps to the first file track that carries it.
  uint32_t mapped = 0;
  for (int i = 0; i < count; ++i) {
    for (uint32_t t = 0; t < movie->track_count; ++t) {
      if (movie->track_ids[t] == ids[i]) {
        movie->track_map[mapped++] = t;
        break;
      }
    }
  }
  // Tracks that fail are left out of the map; their record is reused.
  movie->play_tracks = 0;
  for (uint32_t m = 0; m < mapped; ++m) {
    SoundTrack* track = &movie->track_states[movie->play_tracks];
    const uint32_t file_track = movie->track_map[m];
    if (OpenTrack(movie, track, file_track)) {
      movie->track_map[movie->play_tracks++] = file_track;
    } else {
      ClearSoundTrack(track);
    }
  }
  if (movie->play_tracks == 0) {
    movie->track_states[0].timing_scale = 0x10000;
    return;
  }
  movie->sound_on = 1;
}

void CloseSoundTracks(MovieHandle* movie) {
  std::lock_guard<std::recursive_timed_mutex> lock(movie->sound_mutex);
  for (uint32_t k = 0; k < movie->play_tracks; ++k)
    CloseTrack(movie->engine->sound_system, &movie->track_states[k]);
  movie->play_tracks = 0;
}

void ServiceSound(MovieHandle* movie) {
  if (!movie || movie->frames_shown.load() == 0) return;
  std::unique_lock<std::recursive_timed_mutex> lock(movie->sound_mutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  const uint32_t tracks = movie->play_tracks;
  if (tracks == 0 || !movie->track_states[tracks - 1].ops.ready) return;
  for (uint32_t k = 0; k < tracks; ++k) {
    SoundTrack& t = movie->track_states[k];
    ServiceTrack(t, InFinalStretch(&t, movie));
  }
}

void DecodeAudioPacket(MovieHandle* movie, uint32_t track, const uint8_t* packet, uint32_t size) {
  if (!movie || track >= movie->play_tracks) return;
  SoundTrack& t = movie->track_states[track];
  if (!t.ring_start || !t.decoder) return;
  AudioPartOutput output;
  output.context = &t;
  output.allowed = RingAllowed;
  output.take = RingTake;
  DecodeAudioPart(t.decoder, AudioPart{packet, size}, output);
}

int SetSoundOnOff(MovieHandle* movie, int on) {
  if (!movie) return 0;
  std::lock_guard<std::recursive_timed_mutex> lock(movie->sound_mutex);
  const bool was_on = movie->sound_on.load() != 0;
  // The decoder moves the write pointer: the rings are emptied only while no
  // decode of the movie is outstanding.
  const bool quiet = !DecodeOutstanding(movie);
  const bool first_frame = movie->current_frame == 1 && movie->decoded_frame != 1;
  bool any_on = false;
  for (uint32_t k = 0; k < movie->play_tracks; ++k) {
    SoundTrack& t = movie->track_states[k];
    if (!t.ops.on_off) continue;
    const int result = t.ops.on_off(&t, on ? 1 : 0);
    if (on) {
      any_on = any_on || result;
    } else if (!result && was_on && quiet && t.ring_start) {
      t.write_pointer.store(t.ring_start, std::memory_order_relaxed);
      t.read_pointer.store(t.ring_start, std::memory_order_relaxed);
      if (!first_frame) PrimeWithSilence(t);
    }
  }
  if (on) {
    if (any_on && !was_on) {
      movie->sound_on = 1;
      movie->base_time = 0;  // the frame clock starts again
      movie->pause_offset = 0;
    } else if (!any_on && !was_on && movie->play_tracks > 0 && quiet) {
      // Without an output that plays, the clock would wait for sound forever.
      CloseAllTracks(movie);
      movie->base_time = 0;
      movie->pause_offset = 0;
    }
  } else if (was_on) {
    movie->sound_on = 0;
  }
  return movie->sound_on.load() ? 1 : 0;
}

bool InFinalStretch(const SoundTrack* track, const MovieHandle* movie) {
  // At very low frame rates the last 0.75 seconds hold no whole frame: the
  // last frame itself then starts the final stretch.
  return movie && (movie->current_frame > track->end_zone_frame ||
                   static_cast<uint32_t>(movie->current_frame) >= movie->frame_count);
}

}  // namespace vexil
