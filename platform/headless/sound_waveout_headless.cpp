// The headless waveOut device: plays its queue of headers at the format's
// byte rate on the clock source, marking each header done as its last byte
// plays.
#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

#include "platform/headless/sound_headless_internal.h"

namespace vexil::platform::headless_sound {
namespace {

using detail::BytesDue;
using detail::DeviceClock;

// How often the real-time playing thread moves a device on.
constexpr auto kPlayingPeriod = std::chrono::milliseconds(4);

class HeadlessWaveOut final : public WaveOutDevice, public detail::Instrumented {
 public:
  explicit HeadlessWaveOut(const PcmFormat& format) : format_(format) { basis_ms_ = clock_.Now(); }

  void Start() {
    detail::Register(this);
    if (!detail::Driven()) playing_thread_ = std::thread([this] { PlayInRealTime(); });
  }

  uint32_t PrepareHeader(WaveHeader* h) override {
    if (!h || (!h->data && h->buffer_length)) return WAVE_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    h->flags.fetch_or(WAVE_HEADER_PREPARED, std::memory_order_acq_rel);
    return WAVE_OK;
  }

  uint32_t UnprepareHeader(WaveHeader* h) override {
    if (!h) return WAVE_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    if (h->flags.load(std::memory_order_acquire) & WAVE_HEADER_IN_QUEUE) return WAVE_STILL_PLAYING;
    h->flags.fetch_and(~WAVE_HEADER_PREPARED, std::memory_order_acq_rel);
    return WAVE_OK;
  }

  uint32_t Write(WaveHeader* h) override {
    if (!h) return WAVE_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    const uint32_t flags = h->flags.load(std::memory_order_acquire);
    if (!(flags & WAVE_HEADER_PREPARED)) return WAVE_UNPREPARED;
    if (flags & WAVE_HEADER_IN_QUEUE) return WAVE_STILL_PLAYING;
    h->flags.store((flags & ~WAVE_HEADER_DONE) | WAVE_HEADER_IN_QUEUE, std::memory_order_release);
    queue_.push_back(h);
    FinishEmptyHeads();
    return WAVE_OK;
  }

  uint32_t Pause() override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    paused_ = true;
    return WAVE_OK;
  }

  uint32_t Restart() override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());  // paused: only moves the start of playing to now
    paused_ = false;
    return WAVE_OK;
  }

  uint32_t Reset() override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    while (!queue_.empty()) FinishHead();
    return WAVE_OK;
  }

  uint32_t SetVolume(uint32_t volume) override {
    std::lock_guard<std::mutex> guard(lock_);
    volume_ = volume;
    return WAVE_OK;
  }

  uint32_t Close() override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      PlayTo(clock_.Now());
      if (!queue_.empty()) return WAVE_STILL_PLAYING;
    }
    detail::Unregister(this);
    stop_ = true;
    if (playing_thread_.joinable()) playing_thread_.join();
    delete this;
    return WAVE_OK;
  }

  void Update() override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
  }

  void InjectUnderrun() override {
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t now = clock_.Now();
    PlayTo(now);
    while (!queue_.empty()) {
      WaveHeader* h = queue_.front();
      PlayBytes(h, h->buffer_length - head_offset_);
      FinishHead();
    }
    Rebase(now);
  }

  DeviceInfo Info() override {
    std::lock_guard<std::mutex> guard(lock_);
    DeviceInfo info{};
    info.kind = DeviceKind::kWaveOut;
    info.format = format_;
    info.bytes_played = played_;
    info.playing = paused_ ? 0 : 1;
    info.queued = static_cast<uint32_t>(queue_.size());
    info.wave_volume = volume_;
    return info;
  }

 private:
  ~HeadlessWaveOut() = default;

  void PlayInRealTime() {
    while (!stop_) {
      std::this_thread::sleep_for(kPlayingPeriod);
      Update();
    }
  }

  void Rebase(uint64_t now) {
    basis_ms_ = now;
    basis_bytes_ = played_;
  }

  void PlayBytes(WaveHeader* h, uint32_t n) {
    detail::Capture(format_, h->data + head_offset_, n);
    head_offset_ += n;
    played_ += n;
  }

  void FinishHead() {
    WaveHeader* h = queue_.front();
    queue_.pop_front();
    head_offset_ = 0;
    const uint32_t flags = h->flags.load(std::memory_order_relaxed);
    h->flags.store((flags & ~WAVE_HEADER_IN_QUEUE) | WAVE_HEADER_DONE, std::memory_order_release);
  }

  // Headers of no bytes are done as soon as they reach the head.
  void FinishEmptyHeads() {
    while (!queue_.empty() && head_offset_ == queue_.front()->buffer_length) FinishHead();
  }

  // Plays what is due by `now`. Paused or with nothing queued the device
  // stands still, and playing later starts from that moment.
  void PlayTo(uint64_t now) {
    if (paused_ || queue_.empty()) {
      Rebase(now);
      return;
    }
    const uint64_t due = BytesDue(basis_bytes_, now - basis_ms_, format_.average_bytes_per_second,
                                  format_.block_align);
    while (played_ < due && !queue_.empty()) {
      WaveHeader* h = queue_.front();
      const uint64_t left = h->buffer_length - head_offset_;
      PlayBytes(h, static_cast<uint32_t>(std::min<uint64_t>(left, due - played_)));
      FinishEmptyHeads();
    }
    if (queue_.empty()) Rebase(now);
  }

  std::mutex lock_;
  const PcmFormat format_;
  DeviceClock clock_;
  std::deque<WaveHeader*> queue_;  // written headers, oldest first
  uint32_t head_offset_ = 0;       // bytes of the oldest header played
  bool paused_ = false;
  uint64_t basis_ms_ = 0;     // playing runs from this time ...
  uint64_t basis_bytes_ = 0;  // ... and this many bytes played
  uint64_t played_ = 0;
  uint32_t volume_ = 0xFFFFFFFFu;
  std::atomic<bool> stop_{false};
  std::thread playing_thread_;
};

}  // namespace

uint32_t OpenWaveOut(WaveOutDevice** device, const PcmFormat& format) {
  if (!device) return WAVE_INVALID_PARAMETER;
  *device = nullptr;
  if (detail::OpenFailure()) return WAVE_BAD_DEVICE;
  if (!PcmFormatValid(format)) return WAVE_BAD_FORMAT;
  auto* d = new (std::nothrow) HeadlessWaveOut(format);
  if (!d) return WAVE_NO_MEMORY;
  d->Start();
  *device = d;
  return WAVE_OK;
}

}  // namespace vexil::platform::headless_sound
