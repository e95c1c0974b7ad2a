#include "audio/sound_track.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "audio/sound_arithmetic.h"
#include "audio/sound_system.h"
#include "audio/track_format.h"
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
bool RateOverridden(const SoundTrackParams& p) {
  return uint64_t{p.rate_num} * p.file_rate_den != uint64_t{p.file_rate_num} * p.rate_den;
}

bool TryOpen(SoundTrack* track, SoundSystem* system, const SoundTrackParams& p, uint64_t* memory) {
  const SoundDriverOpen open = system->open;
  const uint32_t format = p.format;
  if (!open || !(format & (TRACK_RDFT | TRACK_DCT))) return false;
  // As fast as possible (rate 0) has no audio speed to play at.
  if (p.rate_num == 0 || p.rate_den == 0) return false;
  const uint32_t channels = (format & TRACK_STEREO) ? 2 : 1;
  const uint32_t bits = (format & TRACK_16BIT) ? 16 : 8;
  const uint32_t rate = format & TRACK_RATE_MASK;
  if (rate == 0) return false;

  // Audio keeps pace with a changed frame rate: rate x played / own.
  uint64_t driver_rate = rate;
  if (RateOverridden(p)) {
    driver_rate = MulDivRound(uint64_t{rate} * p.file_rate_den, p.rate_num,
                              uint64_t{p.file_rate_num} * p.rate_den);
  }
  driver_rate = std::min(driver_rate, kMaxDriverRate);
  if (driver_rate == 0) return false;

  // A ring of 5/4 of the largest packet's audio, at most two seconds' worth.
  const uint64_t buffer = (uint64_t{p.largest_packet} * 5 / 4 + 255) & ~uint64_t{255};
  const uint64_t two_seconds = uint64_t{channels} * bits * rate * 2 / 8;
  if (buffer > two_seconds) return false;

  const SoundDriverMovie movie{p.frame_count, p.rate_num, p.rate_den};
  if (!open(track, static_cast<uint32_t>(driver_rate), bits, channels, p.movie_flags, movie))
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
  *memory += uint64_t{track->ring_size} + track->decoder_memory;

  // The frame after which the last 0.75 s of the movie begin.
  const int64_t tail = static_cast<int64_t>(uint64_t{p.rate_num} * 3 / (uint64_t{p.rate_den} * 4));
  const int64_t end_zone = int64_t{p.frame_count} - tail;
  track->end_zone_frame = static_cast<int32_t>(std::clamp<int64_t>(end_zone, 0, INT32_MAX));
  system->open_tracks.fetch_add(1);
  if (track->timing_scale == 0) track->timing_scale = kTimingScaleOne;
  return true;
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

void ServiceTrack(SoundTrack& t) {
  const bool end_zone = t.final_stretch != 0;
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

bool OpenSoundTrack(SoundTrack* track, SoundSystem* system, const SoundTrackParams& params,
                    uint64_t* memory) {
  if (TryOpen(track, system, params, memory)) return true;
  ClearSoundTrack(track);
  return false;
}

void CloseSoundTrack(SoundTrack* track, SoundSystem* system) {
  if (track->ops.close) track->ops.close(track);
  AudioDecoderClose(track->decoder);
  if (track->ring_start) {
    Free(track->ring_start);
    system->open_tracks.fetch_sub(1);
  }
  ClearSoundTrack(track);
}

void ServiceSoundTrack(SoundTrack* track) {
  ServiceTrack(*track);
}

void DecodeIntoSoundTrack(SoundTrack* track, const uint8_t* packet, uint32_t size) {
  if (!track->ring_start || !track->decoder) return;
  AudioPartOutput output;
  output.context = track;
  output.allowed = RingAllowed;
  output.take = RingTake;
  DecodeAudioPart(track->decoder, AudioPart{packet, size}, output);
}

void ResetSoundTrackRing(SoundTrack* track, bool prime) {
  track->write_pointer.store(track->ring_start, std::memory_order_relaxed);
  track->read_pointer.store(track->ring_start, std::memory_order_relaxed);
  if (prime) PrimeWithSilence(*track);
}

}  // namespace vexil
