// The headless DirectSound device: secondary buffers whose play cursor runs
// through the looping buffer at the buffer's frequency on the clock source,
// capturing the bytes it passes. The write cursor runs 10 ms ahead of it.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "platform/headless/sound_headless_internal.h"

namespace vexil::platform::headless_sound {
namespace {

using detail::BytesDue;
using detail::DeviceClock;

constexpr uint32_t kMinBufferBytes = 4;
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;
constexpr uint32_t kMinFrequency = 100;
constexpr uint32_t kMaxFrequency = 200000;

// The primary buffer only records the format it is given.
class HeadlessPrimary final : public SoundBuffer {
 public:
  SoundResult GetCurrentPosition(uint32_t* play, uint32_t* write) override {
    if (play) *play = 0;
    if (write) *write = 0;
    return DSOUND_OK;
  }
  SoundResult GetStatus(uint32_t* status) override {
    if (!status) return DSOUND_ERR_INVALID_PARAMETER;
    *status = playing_ ? DSOUND_STATUS_PLAYING | DSOUND_STATUS_LOOPING : 0;
    return DSOUND_OK;
  }
  SoundResult Lock(uint32_t, uint32_t, void**, uint32_t*, void**, uint32_t*, uint32_t) override {
    return DSOUND_ERR_INVALID_PARAMETER;
  }
  SoundResult Unlock(void*, uint32_t, void*, uint32_t) override {
    return DSOUND_ERR_INVALID_PARAMETER;
  }
  SoundResult Play(uint32_t, uint32_t, uint32_t flags) override {
    if (!(flags & DSOUND_PLAY_LOOPING)) return DSOUND_ERR_INVALID_PARAMETER;
    playing_ = true;
    return DSOUND_OK;
  }
  SoundResult Stop() override {
    playing_ = false;
    return DSOUND_OK;
  }
  SoundResult SetCurrentPosition(uint32_t) override { return DSOUND_ERR_INVALID_PARAMETER; }
  SoundResult SetFormat(const PcmFormat& format) override {
    if (!PcmFormatValid(format)) return DSOUND_ERR_INVALID_PARAMETER;
    detail::RecordPrimaryFormat(format);
    return DSOUND_OK;
  }
  SoundResult SetFrequency(uint32_t) override { return DSOUND_ERR_INVALID_PARAMETER; }
  SoundResult SetPan(int32_t) override { return DSOUND_OK; }
  SoundResult SetVolume(int32_t) override { return DSOUND_OK; }
  SoundResult Restore() override { return DSOUND_OK; }
  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ~HeadlessPrimary() = default;
  std::atomic<uint32_t> references_{1};
  bool playing_ = false;
};

class HeadlessBuffer final : public SoundBuffer, public detail::Instrumented {
 public:
  HeadlessBuffer(const PcmFormat& format, uint32_t bytes)
      : format_(format), data_(bytes, PcmSilence(format)), frequency_(format.samples_per_second) {
    const uint32_t lead = format.average_bytes_per_second / 100;
    lead_ = std::max<uint32_t>(lead - lead % format.block_align, format.block_align);
    lead_ = std::min<uint32_t>(lead_, bytes - bytes % format.block_align);
    basis_ms_ = clock_.Now();
  }

  SoundResult GetCurrentPosition(uint32_t* play, uint32_t* write) override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    if (play) *play = cursor_;
    if (write) *write = playing_ ? (cursor_ + lead_) % Size() : cursor_;
    return DSOUND_OK;
  }

  SoundResult GetStatus(uint32_t* status) override {
    if (!status) return DSOUND_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    *status = 0;
    if (playing_) *status |= DSOUND_STATUS_PLAYING | (looping_ ? DSOUND_STATUS_LOOPING : 0);
    if (lost_) *status |= DSOUND_STATUS_BUFFER_LOST;
    return DSOUND_OK;
  }

  SoundResult Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                   uint32_t* bytes2, uint32_t) override {
    if (!part1 || !bytes1 || offset >= Size() || bytes == 0 || bytes > Size())
      return DSOUND_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    if (lost_) return DSOUND_ERR_BUFFER_LOST;
    const uint32_t first = std::min(bytes, Size() - offset);
    *part1 = data_.data() + offset;
    *bytes1 = first;
    if (part2) *part2 = first < bytes ? data_.data() : nullptr;
    if (bytes2) *bytes2 = bytes - first;
    return DSOUND_OK;
  }

  SoundResult Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    uint32_t end = 0;
    if (!Inside(part1, bytes1, &end)) return DSOUND_ERR_INVALID_PARAMETER;
    if (part2 && bytes2 && !Inside(part2, bytes2, &end)) return DSOUND_ERR_INVALID_PARAMETER;
    written_end_ = end % Size();
    has_written_ = true;
    return DSOUND_OK;
  }

  SoundResult Play(uint32_t, uint32_t, uint32_t flags) override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    if (lost_) return DSOUND_ERR_BUFFER_LOST;
    playing_ = true;
    looping_ = flags & DSOUND_PLAY_LOOPING;
    ++play_calls_;
    return DSOUND_OK;
  }

  SoundResult Stop() override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
    playing_ = false;
    return DSOUND_OK;
  }

  SoundResult SetCurrentPosition(uint32_t position) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (position >= Size()) return DSOUND_ERR_INVALID_PARAMETER;
    const uint64_t now = clock_.Now();
    PlayTo(now);
    cursor_ = position - position % format_.block_align;
    Rebase(now);
    return DSOUND_OK;
  }

  SoundResult SetFormat(const PcmFormat&) override { return DSOUND_ERR_INVALID_PARAMETER; }

  SoundResult SetFrequency(uint32_t hz) override {
    if (hz != 0 && (hz < kMinFrequency || hz > kMaxFrequency)) return DSOUND_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t now = clock_.Now();
    PlayTo(now);
    frequency_ = hz ? hz : format_.samples_per_second;
    frequency_set_ = true;
    Rebase(now);
    return DSOUND_OK;
  }

  SoundResult SetPan(int32_t pan) override {
    if (pan < DSOUND_PAN_LEFT || pan > DSOUND_PAN_RIGHT) return DSOUND_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    pan_ = pan;
    return DSOUND_OK;
  }

  SoundResult SetVolume(int32_t volume) override {
    if (volume < DSOUND_VOLUME_MIN || volume > DSOUND_VOLUME_MAX)
      return DSOUND_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    volume_ = volume;
    return DSOUND_OK;
  }

  SoundResult Restore() override {
    std::lock_guard<std::mutex> guard(lock_);
    lost_ = false;
    return DSOUND_OK;
  }

  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) {
      detail::Unregister(this);
      delete this;
    }
    return left;
  }

  void Update() override {
    std::lock_guard<std::mutex> guard(lock_);
    PlayTo(clock_.Now());
  }

  void InjectUnderrun() override {
    std::lock_guard<std::mutex> guard(lock_);
    const uint64_t now = clock_.Now();
    PlayTo(now);
    if (!playing_ || !has_written_) return;
    const uint32_t stop = (written_end_ + Size() - format_.block_align) % Size();
    Advance((stop + Size() - cursor_) % Size());
    Rebase(now);
  }

  void LoseBuffer() override {
    std::lock_guard<std::mutex> guard(lock_);
    if (playing_) lost_ = true;
  }

  DeviceInfo Info() override {
    std::lock_guard<std::mutex> guard(lock_);
    DeviceInfo info{};
    info.kind = DeviceKind::kSoundBuffer;
    info.format = format_;
    info.buffer_bytes = Size();
    info.bytes_played = played_;
    info.playing = playing_ ? 1 : 0;
    info.wave_volume = 0xFFFFFFFFu;
    info.volume = volume_;
    info.pan = pan_;
    info.frequency = frequency_set_ ? frequency_ : 0;
    info.play_calls = play_calls_;
    info.play_cursor = cursor_;
    return info;
  }

 private:
  ~HeadlessBuffer() = default;

  uint32_t Size() const { return static_cast<uint32_t>(data_.size()); }

  // Whether [p, p + n) lies inside the buffer; *end receives its end offset.
  bool Inside(const void* p, uint32_t n, uint32_t* end) const {
    const auto* b = static_cast<const uint8_t*>(p);
    if (!b || b < data_.data() || b > data_.data() + Size()) return false;
    const uint32_t offset = static_cast<uint32_t>(b - data_.data());
    if (n > Size() - offset) return false;
    *end = offset + n;
    return true;
  }

  void Rebase(uint64_t now) {
    basis_ms_ = now;
    basis_bytes_ = played_;
  }

  // Plays n bytes from the cursor, wrapping at the buffer end.
  void Advance(uint64_t n) {
    while (n > 0) {
      const uint32_t run = static_cast<uint32_t>(std::min<uint64_t>(n, Size() - cursor_));
      detail::Capture(format_, data_.data() + cursor_, run);
      cursor_ = (cursor_ + run) % Size();
      played_ += run;
      n -= run;
      if (!looping_ && cursor_ == 0) {
        playing_ = false;  // a buffer played once stops at its end
        return;
      }
    }
  }

  void PlayTo(uint64_t now) {
    if (!playing_) {
      Rebase(now);
      return;
    }
    const uint64_t bytes_per_second = uint64_t{frequency_} * format_.block_align;
    const uint64_t due =
        BytesDue(basis_bytes_, now - basis_ms_, bytes_per_second, format_.block_align);
    Advance(due - played_);
    if (!playing_) Rebase(now);
  }

  std::mutex lock_;
  const PcmFormat format_;
  std::vector<uint8_t> data_;
  DeviceClock clock_;
  uint32_t frequency_;
  bool frequency_set_ = false;
  uint32_t lead_ = 0;
  uint32_t cursor_ = 0;  // play cursor
  bool playing_ = false;
  bool looping_ = false;
  bool lost_ = false;
  bool has_written_ = false;
  uint32_t written_end_ = 0;  // end of the last range unlocked
  uint64_t basis_ms_ = 0;
  uint64_t basis_bytes_ = 0;
  uint64_t played_ = 0;
  int32_t volume_ = 0;
  int32_t pan_ = 0;
  uint32_t play_calls_ = 0;
  std::atomic<uint32_t> references_{1};
};

class HeadlessSoundDevice final : public SoundDevice {
 public:
  SoundResult SetCooperativeLevel(void*, uint32_t level) override {
    detail::RecordCooperativeLevel(level);
    return DSOUND_OK;
  }

  SoundResult CreateSoundBuffer(const SoundBufferDescription& d, SoundBuffer** buffer) override {
    if (!buffer || d.size != sizeof(SoundBufferDescription)) return DSOUND_ERR_INVALID_PARAMETER;
    *buffer = nullptr;
    if (detail::OpenFailure()) return DSOUND_ERR_GENERIC;
    if (d.flags & DSOUND_CAPS_PRIMARY_BUFFER) {
      if (d.buffer_bytes != 0 || d.format) return DSOUND_ERR_INVALID_PARAMETER;
      auto* primary = new (std::nothrow) HeadlessPrimary;
      if (!primary) return DSOUND_ERR_OUT_OF_MEMORY;
      *buffer = primary;
      return DSOUND_OK;
    }
    if (!d.format || !PcmFormatValid(*d.format) || d.buffer_bytes < kMinBufferBytes ||
        d.buffer_bytes > kMaxBufferBytes || d.buffer_bytes % d.format->block_align != 0)
      return DSOUND_ERR_INVALID_PARAMETER;
    auto* secondary = new (std::nothrow) HeadlessBuffer(*d.format, d.buffer_bytes);
    if (!secondary) return DSOUND_ERR_OUT_OF_MEMORY;
    detail::Register(secondary);
    *buffer = secondary;
    return DSOUND_OK;
  }

  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ~HeadlessSoundDevice() = default;
  std::atomic<uint32_t> references_{1};
};

}  // namespace

SoundResult CreateSoundDevice(const void*, SoundDevice** device) {
  if (!device) return DSOUND_ERR_INVALID_PARAMETER;
  *device = nullptr;
  if (detail::OpenFailure()) return DSOUND_ERR_NO_DRIVER;
  auto* d = new (std::nothrow) HeadlessSoundDevice;
  if (!d) return DSOUND_ERR_OUT_OF_MEMORY;
  *device = d;
  return DSOUND_OK;
}

}  // namespace vexil::platform::headless_sound
