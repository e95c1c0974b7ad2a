// The waveOut-like device on SDL: the audio callback plays the queued
// headers in order and marks each done once its last byte is taken.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>

#include "platform/sdl/sound_audio_sdl.h"
#include "platform/sdl/sound_sdl.h"

namespace vexil::platform::sdl_sound {
namespace {

class SdlWaveOut final : public WaveOutDevice {
 public:
  explicit SdlWaveOut(const PcmFormat& format) : format_(format) {}

  bool Start() {
    if (!output_.Open(format_, Fill, this)) return false;
    output_.Run(true);
    return true;
  }

  uint32_t PrepareHeader(WaveHeader* h) override {
    if (!h || (!h->data && h->buffer_length)) return WAVE_INVALID_PARAMETER;
    h->flags.fetch_or(WAVE_HEADER_PREPARED, std::memory_order_acq_rel);
    return WAVE_OK;
  }

  uint32_t UnprepareHeader(WaveHeader* h) override {
    if (!h) return WAVE_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    if (h->flags.load(std::memory_order_acquire) & WAVE_HEADER_IN_QUEUE) return WAVE_STILL_PLAYING;
    h->flags.fetch_and(~WAVE_HEADER_PREPARED, std::memory_order_acq_rel);
    return WAVE_OK;
  }

  uint32_t Write(WaveHeader* h) override {
    if (!h) return WAVE_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    const uint32_t flags = h->flags.load(std::memory_order_acquire);
    if (!(flags & WAVE_HEADER_PREPARED)) return WAVE_UNPREPARED;
    if (flags & WAVE_HEADER_IN_QUEUE) return WAVE_STILL_PLAYING;
    h->flags.store((flags & ~WAVE_HEADER_DONE) | WAVE_HEADER_IN_QUEUE, std::memory_order_release);
    queue_.push_back(h);
    return WAVE_OK;
  }

  uint32_t Pause() override {
    output_.Run(false);
    return WAVE_OK;
  }

  uint32_t Restart() override {
    output_.Run(true);
    return WAVE_OK;
  }

  uint32_t Reset() override {
    std::lock_guard<std::mutex> guard(lock_);
    while (!queue_.empty()) FinishHead();
    return WAVE_OK;
  }

  uint32_t SetVolume(uint32_t volume) override {
    std::lock_guard<std::mutex> guard(lock_);
    left_ = (volume & 0xFFFF) / 65535.0f;
    right_ = (volume >> 16) / 65535.0f;
    return WAVE_OK;
  }

  uint32_t Close() override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (!queue_.empty()) return WAVE_STILL_PLAYING;
    }
    output_.Close();
    delete this;
    return WAVE_OK;
  }

 private:
  ~SdlWaveOut() = default;

  void FinishHead() {
    WaveHeader* h = queue_.front();
    queue_.pop_front();
    head_offset_ = 0;
    const uint32_t flags = h->flags.load(std::memory_order_relaxed);
    h->flags.store((flags & ~WAVE_HEADER_IN_QUEUE) | WAVE_HEADER_DONE, std::memory_order_release);
  }

  // SDL's audio thread: the next bytes of the queue, silence when it runs out.
  static void Fill(void* context, uint8_t* out, uint32_t bytes) {
    auto* self = static_cast<SdlWaveOut*>(context);
    std::lock_guard<std::mutex> guard(self->lock_);
    uint32_t done = 0;
    while (done < bytes && !self->queue_.empty()) {
      WaveHeader* h = self->queue_.front();
      const uint32_t n = std::min(bytes - done, h->buffer_length - self->head_offset_);
      std::memcpy(out + done, h->data + self->head_offset_, n);
      done += n;
      self->head_offset_ += n;
      if (self->head_offset_ >= h->buffer_length) self->FinishHead();
    }
    std::memset(out + done, PcmSilence(self->format_), bytes - done);
    ApplyGains(self->format_, out, done, self->left_, self->right_);
  }

  const PcmFormat format_;
  AudioOutput output_;
  std::mutex lock_;  // the queue, against SDL's audio thread
  std::deque<WaveHeader*> queue_;
  uint32_t head_offset_ = 0;
  float left_ = 1.0f;
  float right_ = 1.0f;
};

}  // namespace

uint32_t OpenWaveOut(WaveOutDevice** device, const PcmFormat& format) {
  if (!device) return WAVE_INVALID_PARAMETER;
  *device = nullptr;
  if (!PcmFormatValid(format)) return WAVE_BAD_FORMAT;
  auto* d = new (std::nothrow) SdlWaveOut(format);
  if (!d) return WAVE_NO_MEMORY;
  if (!d->Start()) {
    d->Close();
    return WAVE_BAD_DEVICE;
  }
  *device = d;
  return WAVE_OK;
}

}  // namespace vexil::platform::sdl_sound
