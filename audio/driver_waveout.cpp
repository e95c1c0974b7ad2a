#include "audio/driver_waveout.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/sound_arithmetic.h"
#include "platform/heap.h"

namespace vexil {
namespace {

using platform::WAVE_HEADER_DONE;
using platform::WAVE_OK;
using platform::WaveHeader;

static_assert(sizeof(WaveOutState) <= kSoundDriverAreaBytes);
static_assert(alignof(WaveOutState) <= 16);

WaveOutState& State(SoundTrack* t) {
  return *reinterpret_cast<WaveOutState*>(t->driver_area);
}

uint32_t BlockAlign(const SoundTrack* t) {
  return t->channels * t->bits / 8;
}
uint32_t BytesPerSecond(const SoundTrack* t) {
  return t->driver_rate * BlockAlign(t);
}

platform::PcmFormat Format(const SoundTrack* t) {
  platform::PcmFormat f{};
  f.format_tag = platform::WAVE_FORMAT_PCM;
  f.channels = static_cast<uint16_t>(t->channels);
  f.samples_per_second = t->driver_rate;
  f.average_bytes_per_second = BytesPerSecond(t);
  f.block_align = static_cast<uint16_t>(BlockAlign(t));
  f.bits_per_sample = static_cast<uint16_t>(t->bits);
  return f;
}

bool Done(const WaveOutState& s, int i) {
  return s.headers[i]->flags.load(std::memory_order_acquire) & WAVE_HEADER_DONE;
}

void MarkDone(WaveHeader* h) {
  h->flags.fetch_or(WAVE_HEADER_DONE, std::memory_order_acq_rel);
}

// Sizes, memory with silence, the device, the prepared headers.
bool OpenDevice(SoundTrack* t, WaveOutState& s) {
  const uint64_t bps = BytesPerSecond(t);
  s.buffer_size = static_cast<uint32_t>((bps * 1000 / 16000 + 31) & ~uint64_t{31});
  s.start_threshold = static_cast<uint32_t>(
      std::min<uint64_t>((bps * 1000 / 2000 + 31) & ~uint64_t{31}, s.total_bytes));
  const size_t buffers = size_t{s.buffer_size} * kWaveOutBuffers;
  const size_t bytes = buffers + kWaveOutBuffers * (sizeof(WaveHeader*) + sizeof(WaveHeader));
  auto* memory = static_cast<uint8_t*>(Alloc(bytes));
  if (!memory) return false;
  std::memset(memory, t->bits == 8 ? 128 : 0, buffers);
  auto** table = reinterpret_cast<WaveHeader**>(memory + buffers);
  auto* headers = reinterpret_cast<WaveHeader*>(table + kWaveOutBuffers);
  for (int i = 0; i < kWaveOutBuffers; ++i) {
    table[i] = new (&headers[i]) WaveHeader{};
    table[i]->data = memory + size_t{s.buffer_size} * i;
  }
  platform::WaveOutDevice* device = nullptr;
  if (platform::WaveOutOpen(&device, Format(t)) != WAVE_OK) {
    Free(memory);
    return false;
  }
  for (int i = 0; i < kWaveOutBuffers; ++i) {
    table[i]->buffer_length = s.buffer_size;
    device->PrepareHeader(table[i]);
    MarkDone(table[i]);
  }
  s.buffer_memory = memory;
  s.headers = table;
  s.device = device;
  return true;
}

void CloseDevice(WaveOutState& s) {
  if (!s.device) return;
  s.device->Reset();
  for (int i = 0; i < kWaveOutBuffers; ++i) {
    s.headers[i]->buffer_length = s.buffer_size;
    s.device->UnprepareHeader(s.headers[i]);
    MarkDone(s.headers[i]);
  }
  s.device->Close();
  s.device = nullptr;
  Free(s.buffer_memory);
  s.buffer_memory = nullptr;
  s.headers = nullptr;
}

// Queues buffer i with its length; a buffer the device refuses stays free.
void WriteBuffer(WaveOutState& s, int i) {
  WaveHeader* h = s.headers[i];
  h->flags.fetch_and(~WAVE_HEADER_DONE, std::memory_order_acq_rel);
  if (s.device->Write(h) != WAVE_OK) MarkDone(h);
}

void ApplyVolume(WaveOutState& s) {
  uint32_t left = s.volume, right = s.volume;
  if (s.pan <= 32767)
    right = s.volume * s.pan / 32767;
  else
    left = s.volume * (65536 - s.pan) / 32769;
  if (s.device) s.device->SetVolume((left & 0xFFFF) | (right << 16));
}

int Ready(SoundTrack* t) {
  WaveOutState& s = State(t);
  if (s.paused || !s.on) return 0;
  if (s.started) {
    bool all_done = true;
    for (int i = 0; i < kWaveOutBuffers && all_done; ++i) all_done = Done(s, i);
    if (all_done) {
      // Played out: report it, and wait for another start threshold's worth.
      t->skipped = 1;
      s.started = 0;
      s.submitted = 0;
      s.locked_index = -1;
      s.last_written = -1;
    }
  }
  int i = (s.last_written + 1) % kWaveOutBuffers;
  if (!Done(s, i)) {
    i = 0;
    while (i < kWaveOutBuffers && !Done(s, i)) ++i;
    if (i == kWaveOutBuffers) return 0;
  }
  s.locked_index = i;
  return 1;
}

int Lock(SoundTrack* t, void** pointer, uint32_t* bytes) {
  WaveOutState& s = State(t);
  if (s.locked_index < 0 || !s.headers) return 0;
  *pointer = s.headers[s.locked_index]->data;
  *bytes = s.buffer_size;
  return 1;
}

int Unlock(SoundTrack* t, uint32_t written) {
  WaveOutState& s = State(t);
  if (s.locked_index < 0 || !s.device) return 0;
  const int i = s.locked_index;
  s.locked_index = -1;
  s.last_written = i;
  written = std::min(written, s.buffer_size);
  s.submitted += written;
  // Each buffer plays the length written to it, also those queued at the start.
  s.headers[i]->buffer_length = written;
  if (s.started) {
    WriteBuffer(s, i);
  } else if (s.submitted >= s.start_threshold || t->final_stretch) {
    s.started = 1;
    for (int j = 0; j <= s.last_written; ++j) WriteBuffer(s, j);
  }
  return 1;
}

void SetVolume(SoundTrack* t, uint32_t v) {
  WaveOutState& s = State(t);
  s.volume = static_cast<uint32_t>((v < 65536 ? uint64_t{v} + 1 : 65536) * 32767 / 65536);
  ApplyVolume(s);
}

void SetPan(SoundTrack* t, uint32_t p) {
  WaveOutState& s = State(t);
  s.pan = std::min<uint32_t>(p, 65536);
  ApplyVolume(s);
}

int Pause(SoundTrack* t, int pause) {
  WaveOutState& s = State(t);
  if (pause) {
    if (s.device) s.device->Pause();
    s.paused = 1;
  } else {
    if (s.device) s.device->Restart();
    s.paused = 0;
  }
  return static_cast<int>(s.paused);
}

int OnOff(SoundTrack* t, int on) {
  WaveOutState& s = State(t);
  if (on && !s.on) {
    if (OpenDevice(t, s)) {
      s.on = 1;
      // A fresh device has nothing queued: start as after an open.
      s.started = 0;
      s.locked_index = -1;
      s.last_written = -1;
      s.submitted = 0;
    }
  } else if (!on && s.on) {
    CloseDevice(s);
    s.on = 0;
  }
  t->on = s.on;
  return static_cast<int>(s.on);
}

void Close(SoundTrack* t) {
  CloseDevice(State(t));
}

constexpr SoundDriverOperations kWaveOutOperations = {Ready, Lock,  Unlock, SetVolume, SetPan,
                                                      Pause, OnOff, Close,  nullptr,   nullptr};

}  // namespace

SoundDriverOpen WaveOutSoundProvider(void*) {
  return WaveOutDriverOpen;
}

int WaveOutDriverOpen(SoundTrack* t, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t,
                      const SoundDriverMovie& movie) {
  ClearSoundTrack(t);
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) || rate == 0) return 0;
  WaveOutState& s = *new (t->driver_area) WaveOutState{};
  t->driver_rate = rate;
  t->bits = bits;
  t->channels = channels;
  const uint64_t bps = BytesPerSecond(t);
  // The movie's audio, in whole sample frames; one second without a frame rate.
  s.total_bytes = bps;
  if (movie.rate_num) {
    s.total_bytes = MulDiv(uint64_t{movie.frame_count} * bps, movie.rate_den, movie.rate_num);
    s.total_bytes -= s.total_bytes % BlockAlign(t);
  }
  s.locked_index = -1;
  s.last_written = -1;
  s.volume = 32767;
  s.pan = 32767;
  s.paused = 0;
  s.on = 1;
  t->on = 1;
  t->ops = kWaveOutOperations;
  if (!OpenDevice(t, s)) {
    ClearSoundTrack(t);
    return 0;
  }
  t->latency = 0;
  t->fill_unit = bits == 8 ? s.buffer_size * 2 : s.buffer_size;
  return 1;
}

const WaveOutState& WaveOutStateOf(const SoundTrack& track) {
  return *reinterpret_cast<const WaveOutState*>(track.driver_area);
}

}  // namespace vexil
