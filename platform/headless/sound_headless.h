// The headless sound devices: waveOut-like and DirectSound-like devices that
// play into nothing at the pace of the engine's clock source (platform
// Time()), so tests drive them with a driven clock and a real run plays in
// real time. They are also the test instruments of the sound side: what every
// device played can be kept in memory or written to a WAV file
// (VEXIL_SOUND_CAPTURE=path), an underrun can be caused on demand, and the
// settings the drivers gave each device can be read back.
//
// A device moves on whenever a call reaches it. A waveOut device's done flags
// are read without a call, so in real time each waveOut device also has a
// thread that plays on every few milliseconds; in driven mode there is none
// and the test calls Update() after moving the clock.
//
// Threads: any; every function locks what it touches.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sound_device.h"

namespace vexil::platform::headless_sound {

// waveOut and DirectSound entry points of the headless back end.
uint32_t OpenWaveOut(WaveOutDevice** device, const PcmFormat& format);
SoundResult CreateSoundDevice(const void* device_guid, SoundDevice** device);

// Driven mode: no playing threads (tests; default off). Set it while no
// headless device is open.
void SetDriven(bool driven);

// Brings every open device up to the clock now.
void Update();

// Every open device runs dry now: a waveOut device plays out its whole queue
// at once; a playing DirectSound buffer plays on through what was last written
// to it and stops its cursor one sample frame short of the end of that data,
// so the buffer looks all but empty.
void InjectUnderrun();

// Every playing DirectSound buffer loses its memory: Lock and Play fail with
// DSOUND_ERR_BUFFER_LOST until Restore.
void LoseBuffers();

// Refuse every open from now on (true) or not (false).
void SetOpenFailure(bool fail);

// What devices play is appended, in play order, to one capture: in memory
// while enabled, and to the WAV file named by VEXIL_SOUND_CAPTURE (opened at
// the first play; its header takes the format of the first device that plays).
void SetMemoryCapture(bool enabled);
// The bytes captured in memory since the last call.
std::vector<uint8_t> TakeCapture();

enum class DeviceKind { kWaveOut, kSoundBuffer };

// What a test can learn about an open device (for a DirectSound device, its
// secondary buffers; the primary buffer is not listed).
struct DeviceInfo {
  DeviceKind kind;
  PcmFormat format;
  uint32_t buffer_bytes;  // looping buffer size; 0 for waveOut
  uint64_t bytes_played;  // since the device opened
  uint32_t playing;       // DirectSound: Play given and not stopped; waveOut: not paused
  uint32_t queued;        // waveOut headers in the queue
  uint32_t wave_volume;   // last SetVolume of a waveOut device (0xFFFFFFFF unless set)
  int32_t volume;         // last SetVolume of a buffer
  int32_t pan;            // last SetPan of a buffer
  uint32_t frequency;     // last SetFrequency of a buffer (0 unless set)
  uint32_t play_calls;    // Play calls on a buffer
  uint32_t play_cursor;   // buffer's play cursor
};
// Open devices in the order they were opened.
std::vector<DeviceInfo> Devices();

// The primary buffer's format, once a driver set it (format_tag 0 before).
PcmFormat PrimaryFormat();
// The level of the last SetCooperativeLevel (0 before).
uint32_t CooperativeLevel();

}  // namespace vexil::platform::headless_sound
