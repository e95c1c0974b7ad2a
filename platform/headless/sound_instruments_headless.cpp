// The headless sound devices' shared parts: clock, device list, capture.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/headless/sound_headless_internal.h"
#include "platform/time.h"

namespace vexil::platform::headless_sound {
namespace detail {
namespace {

// Guards the device list; taken before any device's own lock.
std::mutex g_list_lock;
std::vector<Instrumented*> g_devices;

std::atomic<bool> g_driven{false};
std::atomic<bool> g_open_failure{false};

std::mutex g_state_lock;
PcmFormat g_primary_format{};
uint32_t g_level = 0;

// The capture: every device appends what it plays, in play order.
class CaptureSink {
 public:
  ~CaptureSink() { CloseFile(); }

  void Append(const PcmFormat& format, const uint8_t* bytes, size_t count) {
    std::lock_guard<std::mutex> guard(lock_);
    if (memory_) memory_bytes_.insert(memory_bytes_.end(), bytes, bytes + count);
    if (!file_tried_) {
      file_tried_ = true;
      const char* path = std::getenv("VEXIL_SOUND_CAPTURE");
      if (path && *path) OpenFile(path, format);
    }
    if (!file_) return;
    // A WAV file counts its data in 32 bits: what does not fit is not written.
    const uint64_t room = kMaxData - file_bytes_;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, room));
    if (n == 0) return;
    std::fseek(file_, 0, SEEK_END);
    if (std::fwrite(bytes, 1, n, file_) != n) {
      CloseFile();
      return;
    }
    file_bytes_ += n;
    WriteSizes();
  }

  void SetMemory(bool enabled) {
    std::lock_guard<std::mutex> guard(lock_);
    memory_ = enabled;
    if (!enabled) memory_bytes_.clear();
  }

  std::vector<uint8_t> Take() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<uint8_t> taken;
    taken.swap(memory_bytes_);
    return taken;
  }

 private:
  static constexpr uint64_t kMaxData = 0xFFFFFFFFull - 36;

  static void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  static void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }

  void OpenFile(const char* path, const PcmFormat& f) {
    file_ = std::fopen(path, "wb");
    if (!file_) return;
    uint8_t h[44] = {};
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, WAVE_FORMAT_PCM);
    Put16(h + 22, f.channels);
    Put32(h + 24, f.samples_per_second);
    Put32(h + 28, f.average_bytes_per_second);
    Put16(h + 32, f.block_align);
    Put16(h + 34, f.bits_per_sample);
    std::memcpy(h + 36, "data", 4);
    if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) {
      CloseFile();
      return;
    }
    WriteSizes();
  }

  // The sizes are kept right after every append, so the file is complete
  // whenever the program stops.
  void WriteSizes() {
    uint8_t size[4];
    Put32(size, static_cast<uint32_t>(36 + file_bytes_));
    std::fseek(file_, 4, SEEK_SET);
    std::fwrite(size, 1, 4, file_);
    Put32(size, static_cast<uint32_t>(file_bytes_));
    std::fseek(file_, 40, SEEK_SET);
    std::fwrite(size, 1, 4, file_);
    std::fflush(file_);
  }

  void CloseFile() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }

  std::mutex lock_;
  bool memory_ = false;
  std::vector<uint8_t> memory_bytes_;
  bool file_tried_ = false;
  std::FILE* file_ = nullptr;
  uint64_t file_bytes_ = 0;
};

CaptureSink& Sink() {
  static CaptureSink sink;
  return sink;
}

}  // namespace

DeviceClock::DeviceClock() : last_tick_(Time().tick_count()) {}

uint64_t DeviceClock::Now() {
  const uint32_t tick = Time().tick_count();
  const uint32_t delta = tick - last_tick_;
  if (delta < 0x80000000u) {
    ms_ += delta;
    last_tick_ = tick;
  }
  return ms_;
}

uint64_t BytesDue(uint64_t basis_bytes, uint64_t ms, uint64_t bytes_per_second,
                  uint32_t block_align) {
  // Split so that the product cannot overflow for any run time.
  uint64_t bytes = (ms / 1000) * bytes_per_second + (ms % 1000) * bytes_per_second / 1000;
  bytes -= bytes % (block_align ? block_align : 1);
  return basis_bytes + bytes;
}

void Register(Instrumented* device) {
  std::lock_guard<std::mutex> guard(g_list_lock);
  g_devices.push_back(device);
}

void Unregister(Instrumented* device) {
  std::lock_guard<std::mutex> guard(g_list_lock);
  g_devices.erase(std::remove(g_devices.begin(), g_devices.end(), device), g_devices.end());
}

bool Driven() {
  return g_driven.load();
}
bool OpenFailure() {
  return g_open_failure.load();
}

void Capture(const PcmFormat& format, const uint8_t* bytes, size_t count) {
  if (count) Sink().Append(format, bytes, count);
}

void RecordPrimaryFormat(const PcmFormat& format) {
  std::lock_guard<std::mutex> guard(g_state_lock);
  g_primary_format = format;
}

void RecordCooperativeLevel(uint32_t level) {
  std::lock_guard<std::mutex> guard(g_state_lock);
  g_level = level;
}

}  // namespace detail

void SetDriven(bool driven) {
  detail::g_driven = driven;
}

void Update() {
  std::lock_guard<std::mutex> guard(detail::g_list_lock);
  for (detail::Instrumented* d : detail::g_devices) d->Update();
}

void InjectUnderrun() {
  std::lock_guard<std::mutex> guard(detail::g_list_lock);
  for (detail::Instrumented* d : detail::g_devices) d->InjectUnderrun();
}

void LoseBuffers() {
  std::lock_guard<std::mutex> guard(detail::g_list_lock);
  for (detail::Instrumented* d : detail::g_devices) d->LoseBuffer();
}

void SetOpenFailure(bool fail) {
  detail::g_open_failure = fail;
}

void SetMemoryCapture(bool enabled) {
  detail::Sink().SetMemory(enabled);
}
std::vector<uint8_t> TakeCapture() {
  return detail::Sink().Take();
}

std::vector<DeviceInfo> Devices() {
  std::lock_guard<std::mutex> guard(detail::g_list_lock);
  std::vector<DeviceInfo> infos;
  for (detail::Instrumented* d : detail::g_devices) infos.push_back(d->Info());
  return infos;
}

PcmFormat PrimaryFormat() {
  std::lock_guard<std::mutex> guard(detail::g_state_lock);
  return detail::g_primary_format;
}

uint32_t CooperativeLevel() {
  std::lock_guard<std::mutex> guard(detail::g_state_lock);
  return detail::g_level;
}

}  // namespace vexil::platform::headless_sound
