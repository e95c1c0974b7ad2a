// The DirectSound-like device on SDL: each secondary buffer has its own SDL
// audio device whose callback takes bytes at the play cursor and moves it on
// through the looping buffer. The bytes of one callback are SDL's from then
// on, so the write cursor stands one callback ahead of the play cursor.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/sdl/sound_audio_sdl.h"
#include "platform/sdl/sound_sdl.h"

namespace vexil::platform::sdl_sound {
namespace {

constexpr uint32_t kMinBufferBytes = 4;
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;

// The primary buffer mixes nothing here: every secondary buffer has its own
// SDL device.
class SdlPrimary final : public SoundBuffer {
 public:
  SoundResult GetCurrentPosition(uint32_t* play, uint32_t* write) override {
    if (play) *play = 0;
    if (write) *write = 0;
    return DSOUND_OK;
  }
  SoundResult GetStatus(uint32_t* status) override {
    if (!status) return DSOUND_ERR_INVALID_PARAMETER;
    *status = 0;
    return DSOUND_OK;
  }
  SoundResult Lock(uint32_t, uint32_t, void**, uint32_t*, void**, uint32_t*, uint32_t) override {
    return DSOUND_ERR_INVALID_PARAMETER;
  }
  SoundResult Unlock(void*, uint32_t, void*, uint32_t) override {
    return DSOUND_ERR_INVALID_PARAMETER;
  }
  SoundResult Play(uint32_t, uint32_t, uint32_t) override { return DSOUND_OK; }
  SoundResult Stop() override { return DSOUND_OK; }
  SoundResult SetCurrentPosition(uint32_t) override { return DSOUND_ERR_INVALID_PARAMETER; }
  SoundResult SetFormat(const PcmFormat& format) override {
    return PcmFormatValid(format) ? DSOUND_OK : DSOUND_ERR_INVALID_PARAMETER;
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
  ~SdlPrimary() = default;
  std::atomic<uint32_t> references_{1};
};

float Attenuation(int32_t hundredths_db) {
  return static_cast<float>(std::pow(10.0, hundredths_db / 2000.0));
}

class SdlBuffer final : public SoundBuffer {
 public:
  SdlBuffer(const PcmFormat& format, uint32_t bytes)
      : format_(format), data_(bytes, PcmSilence(format)) {}

  bool Start() {
    if (!output_.Open(format_, Fill, this)) return false;
    lead_ = std::min<uint32_t>(output_.CallbackBytes(), Size() - Size() % format_.block_align);
    output_.Run(true);
    return true;
  }

  SoundResult GetCurrentPosition(uint32_t* play, uint32_t* write) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (play) *play = cursor_;
    if (write) *write = playing_ ? (cursor_ + lead_) % Size() : cursor_;
    return DSOUND_OK;
  }

  SoundResult GetStatus(uint32_t* status) override {
    if (!status) return DSOUND_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    *status = playing_ ? DSOUND_STATUS_PLAYING | (looping_ ? DSOUND_STATUS_LOOPING : 0) : 0;
    return DSOUND_OK;
  }

  SoundResult Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                   uint32_t* bytes2, uint32_t) override {
    if (!part1 || !bytes1 || offset >= Size() || bytes == 0 || bytes > Size())
      return DSOUND_ERR_INVALID_PARAMETER;
    const uint32_t first = std::min(bytes, Size() - offset);
    *part1 = data_.data() + offset;
    *bytes1 = first;
    if (part2) *part2 = first < bytes ? data_.data() : nullptr;
    if (bytes2) *bytes2 = bytes - first;
    return DSOUND_OK;
  }

  SoundResult Unlock(void*, uint32_t, void*, uint32_t) override { return DSOUND_OK; }

  SoundResult Play(uint32_t, uint32_t, uint32_t flags) override {
    std::lock_guard<std::mutex> guard(lock_);
    playing_ = true;
    looping_ = flags & DSOUND_PLAY_LOOPING;
    return DSOUND_OK;
  }

  SoundResult Stop() override {
    std::lock_guard<std::mutex> guard(lock_);
    playing_ = false;
    return DSOUND_OK;
  }

  SoundResult SetCurrentPosition(uint32_t position) override {
    if (position >= Size()) return DSOUND_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    cursor_ = position - position % format_.block_align;
    return DSOUND_OK;
  }

  SoundResult SetFormat(const PcmFormat&) override { return DSOUND_ERR_INVALID_PARAMETER; }
  SoundResult SetFrequency(uint32_t) override { return DSOUND_OK; }

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

  SoundResult Restore() override { return DSOUND_OK; }

  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) {
      output_.Close();
      delete this;
    }
    return left;
  }

 private:
  ~SdlBuffer() = default;

  uint32_t Size() const { return static_cast<uint32_t>(data_.size()); }

  // SDL's audio thread: the bytes at the play cursor, which moves on past them.
  static void Fill(void* context, uint8_t* out, uint32_t bytes) {
    auto* self = static_cast<SdlBuffer*>(context);
    std::lock_guard<std::mutex> guard(self->lock_);
    uint32_t done = 0;
    while (self->playing_ && done < bytes) {
      const uint32_t n = std::min(bytes - done, self->Size() - self->cursor_);
      std::memcpy(out + done, self->data_.data() + self->cursor_, n);
      done += n;
      self->cursor_ = (self->cursor_ + n) % self->Size();
      if (self->cursor_ == 0 && !self->looping_) self->playing_ = false;
    }
    std::memset(out + done, PcmSilence(self->format_), bytes - done);
    const float gain = Attenuation(self->volume_);
    const float left = gain * (self->pan_ > 0 ? Attenuation(-self->pan_) : 1.0f);
    const float right = gain * (self->pan_ < 0 ? Attenuation(self->pan_) : 1.0f);
    ApplyGains(self->format_, out, done, left, right);
  }

  const PcmFormat format_;
  std::vector<uint8_t> data_;  // written by the program through Lock, read by Fill
  AudioOutput output_;
  std::mutex lock_;  // cursor and play state, against SDL's audio thread
  uint32_t cursor_ = 0;
  uint32_t lead_ = 0;
  bool playing_ = false;
  bool looping_ = false;
  int32_t volume_ = 0;
  int32_t pan_ = 0;
  std::atomic<uint32_t> references_{1};
};

class SdlSoundDevice final : public SoundDevice {
 public:
  SoundResult SetCooperativeLevel(void*, uint32_t) override { return DSOUND_OK; }

  SoundResult CreateSoundBuffer(const SoundBufferDescription& d, SoundBuffer** buffer) override {
    if (!buffer || d.size != sizeof(SoundBufferDescription)) return DSOUND_ERR_INVALID_PARAMETER;
    *buffer = nullptr;
    if (d.flags & DSOUND_CAPS_PRIMARY_BUFFER) {
      auto* primary = new (std::nothrow) SdlPrimary;
      if (!primary) return DSOUND_ERR_OUT_OF_MEMORY;
      *buffer = primary;
      return DSOUND_OK;
    }
    if (!d.format || !PcmFormatValid(*d.format) || d.buffer_bytes < kMinBufferBytes ||
        d.buffer_bytes > kMaxBufferBytes || d.buffer_bytes % d.format->block_align != 0)
      return DSOUND_ERR_INVALID_PARAMETER;
    auto* secondary = new (std::nothrow) SdlBuffer(*d.format, d.buffer_bytes);
    if (!secondary) return DSOUND_ERR_OUT_OF_MEMORY;
    if (!secondary->Start()) {
      secondary->Release();
      return DSOUND_ERR_NO_DRIVER;
    }
    *buffer = secondary;
    return DSOUND_OK;
  }

  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ~SdlSoundDevice() = default;
  std::atomic<uint32_t> references_{1};
};

}  // namespace

SoundResult CreateSoundDevice(const void*, SoundDevice** device) {
  if (!device) return DSOUND_ERR_INVALID_PARAMETER;
  *device = nullptr;
  auto* d = new (std::nothrow) SdlSoundDevice;
  if (!d) return DSOUND_ERR_OUT_OF_MEMORY;
  *device = d;
  return DSOUND_OK;
}

}  // namespace vexil::platform::sdl_sound
