// What the headless sound devices share: their clock, the list of open
// devices that the instruments walk, and the capture of what they play.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/headless/sound_headless.h"
#include "platform/sound_device.h"

namespace vexil::platform::headless_sound::detail {

// Milliseconds of the clock source, counted per device from its open, across
// the 32-bit wrap of the tick count; a reading that went backwards counts as
// no time.
class DeviceClock {
 public:
  DeviceClock();
  uint64_t Now();

 private:
  uint32_t last_tick_;
  uint64_t ms_ = 0;
};

// Bytes a device playing `bytes_per_second` has played `ms` milliseconds
// after a start at `basis_bytes`, in whole blocks of `block_align`.
uint64_t BytesDue(uint64_t basis_bytes, uint64_t ms, uint64_t bytes_per_second,
                  uint32_t block_align);

// An open device as the instruments see it. Each call locks the device.
class Instrumented {
 public:
  virtual void Update() = 0;
  virtual void InjectUnderrun() = 0;
  virtual void LoseBuffer() {}
  virtual DeviceInfo Info() = 0;

 protected:
  ~Instrumented() = default;
};

// The list of open devices. Once Unregister returns, no instrument call on
// the device is running or will start.
void Register(Instrumented* device);
void Unregister(Instrumented* device);

bool Driven();
bool OpenFailure();

// Appends what a device played to the capture.
void Capture(const PcmFormat& format, const uint8_t* bytes, size_t count);

// The primary buffer's format and the cooperative level, for the instruments.
void RecordPrimaryFormat(const PcmFormat& format);
void RecordCooperativeLevel(uint32_t level);

}  // namespace vexil::platform::headless_sound::detail
