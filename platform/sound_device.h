// Sound output devices as the two sound drivers use them: a waveOut-like
// device that plays a queue of PCM buffers and marks each one done, and a
// DirectSound-like device with a looping buffer that is written through
// two-part locks while a play cursor runs through it. Each is a thin mirror of
// the system calls the drivers make, with the same arguments, flags and
// result codes, so that a Win32 back end passes them straight through and the
// SDL and headless back ends emulate them.
//
// Threads: a device is used by one thread at a time (the drivers run under
// their movie's sound mutex), but the device may play on its own thread: the
// done flag of a waveOut header is set from there, so the header keeps it in
// an atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace vexil::platform {

// WAVEFORMATEX for PCM.
constexpr uint16_t WAVE_FORMAT_PCM = 1;
struct PcmFormat {
  uint16_t format_tag;  // WAVE_FORMAT_PCM
  uint16_t channels;
  uint32_t samples_per_second;
  uint32_t average_bytes_per_second;  // channels x bits / 8 x rate
  uint16_t block_align;               // channels x bits / 8
  uint16_t bits_per_sample;           // 8 (unsigned) or 16 (signed, little-endian)
};

// A format the emulated devices accept: PCM, 1 or 2 channels, 8 or 16 bits,
// a rate from 1 Hz to 1 MHz, and block and byte figures that agree with them.
bool PcmFormatValid(const PcmFormat& format);
// Silence of this format: 128 for 8-bit samples, 0 for 16-bit ones.
uint8_t PcmSilence(const PcmFormat& format);

// Why the system's sound output could not be opened, the first time it could
// not (the system's own words); empty while it never failed. Movies play
// without sound then. Emulated devices never fail.
std::string SoundOutputProblem();

// --- waveOut-like ---

// Results (MMRESULT).
constexpr uint32_t WAVE_OK = 0;
constexpr uint32_t WAVE_ERROR = 1;
constexpr uint32_t WAVE_BAD_DEVICE = 2;
constexpr uint32_t WAVE_NO_MEMORY = 7;
constexpr uint32_t WAVE_INVALID_PARAMETER = 11;
constexpr uint32_t WAVE_BAD_FORMAT = 32;
constexpr uint32_t WAVE_STILL_PLAYING = 33;
constexpr uint32_t WAVE_UNPREPARED = 34;

// Header flags (dwFlags).
constexpr uint32_t WAVE_HEADER_DONE = 0x01;  // played, or never written: the buffer is free
constexpr uint32_t WAVE_HEADER_PREPARED = 0x02;
constexpr uint32_t WAVE_HEADER_IN_QUEUE = 0x10;

// WAVEHDR.
struct WaveHeader {
  uint8_t* data;
  uint32_t buffer_length;  // bytes to play
  uint32_t bytes_recorded;
  uintptr_t user;
  // Set (DONE) by the device when the buffer has played, possibly on the
  // device's own thread: read it with acquire, and touch the buffer only once
  // DONE is seen.
  std::atomic<uint32_t> flags;
  uint32_t loops;
  WaveHeader* next;
  uintptr_t reserved;
};

// An open waveOut device (HWAVEOUT). Every call returns a WAVE_ result.
class WaveOutDevice {
 public:
  virtual uint32_t PrepareHeader(WaveHeader* header) = 0;
  virtual uint32_t UnprepareHeader(WaveHeader* header) = 0;  // WAVE_STILL_PLAYING while queued
  // Queues a prepared header: clears DONE, sets IN_QUEUE; the device sets
  // DONE and clears IN_QUEUE when the buffer has played.
  virtual uint32_t Write(WaveHeader* header) = 0;
  virtual uint32_t Pause() = 0;
  virtual uint32_t Restart() = 0;
  // Stops playing and returns every queued header marked DONE.
  virtual uint32_t Reset() = 0;
  // Left volume in the low word, right in the high word, 0..0xFFFF each.
  virtual uint32_t SetVolume(uint32_t volume) = 0;
  // Closes the device and releases the object; fails with WAVE_STILL_PLAYING
  // (and stays open) while headers are queued.
  virtual uint32_t Close() = 0;

 protected:
  ~WaveOutDevice() = default;
};

// Opens the default device (the wave mapper) for this PCM format, without a
// callback. On WAVE_OK *device is the open device.
uint32_t WaveOutOpen(WaveOutDevice** device, const PcmFormat& format);

// --- DirectSound-like ---

// Results (HRESULT).
using SoundResult = int32_t;
constexpr SoundResult DSOUND_OK = 0;
constexpr SoundResult DSOUND_ERR_GENERIC = static_cast<SoundResult>(0x80004005u);
constexpr SoundResult DSOUND_ERR_OUT_OF_MEMORY = static_cast<SoundResult>(0x8007000Eu);
constexpr SoundResult DSOUND_ERR_INVALID_PARAMETER = static_cast<SoundResult>(0x80070057u);
constexpr SoundResult DSOUND_ERR_NO_DRIVER = static_cast<SoundResult>(0x88780078u);
constexpr SoundResult DSOUND_ERR_BUFFER_LOST = static_cast<SoundResult>(0x88780096u);

// Buffer description flags (DSBCAPS_).
constexpr uint32_t DSOUND_CAPS_PRIMARY_BUFFER = 0x00000001;
constexpr uint32_t DSOUND_CAPS_CONTROL_FREQUENCY = 0x00000020;
constexpr uint32_t DSOUND_CAPS_CONTROL_PAN = 0x00000040;
constexpr uint32_t DSOUND_CAPS_CONTROL_VOLUME = 0x00000080;
constexpr uint32_t DSOUND_CAPS_GLOBAL_FOCUS = 0x00008000;
constexpr uint32_t DSOUND_CAPS_PRECISE_POSITION = 0x00010000;

// Play flags, status bits, cooperative levels.
constexpr uint32_t DSOUND_PLAY_LOOPING = 0x1;
constexpr uint32_t DSOUND_STATUS_PLAYING = 0x1;
constexpr uint32_t DSOUND_STATUS_BUFFER_LOST = 0x2;
constexpr uint32_t DSOUND_STATUS_LOOPING = 0x4;
constexpr uint32_t DSOUND_LEVEL_PRIORITY = 2;

// Volume in hundredths of a decibel, pan in hundredths of a decibel of
// attenuation of the other side.
constexpr int32_t DSOUND_VOLUME_MIN = -10000;
constexpr int32_t DSOUND_VOLUME_MAX = 0;
constexpr int32_t DSOUND_PAN_LEFT = -10000;
constexpr int32_t DSOUND_PAN_RIGHT = 10000;

// DSBUFFERDESC.
struct SoundBufferDescription {
  uint32_t size;  // bytes of this record
  uint32_t flags;
  uint32_t buffer_bytes;  // 0 for the primary buffer
  uint32_t reserved;
  const PcmFormat* format;  // null for the primary buffer
};

// A sound buffer (IDirectSoundBuffer). A secondary buffer is a ring of
// buffer_bytes that plays in a loop from its play cursor; the write cursor
// runs ahead of it and marks the first byte that is safe to write.
class SoundBuffer {
 public:
  virtual SoundResult GetCurrentPosition(uint32_t* play_cursor, uint32_t* write_cursor) = 0;
  virtual SoundResult GetStatus(uint32_t* status) = 0;
  // `bytes` at `offset`, wrapping at the buffer end: the first part up to the
  // end, the second from the start (null and 0 when the range does not wrap).
  virtual SoundResult Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                           void** part2, uint32_t* bytes2, uint32_t flags) = 0;
  virtual SoundResult Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) = 0;
  virtual SoundResult Play(uint32_t reserved, uint32_t priority, uint32_t flags) = 0;
  virtual SoundResult Stop() = 0;
  virtual SoundResult SetCurrentPosition(uint32_t play_cursor) = 0;
  virtual SoundResult SetFormat(const PcmFormat& format) = 0;  // primary buffer only
  virtual SoundResult SetFrequency(uint32_t hz) = 0;
  virtual SoundResult SetPan(int32_t pan) = 0;
  virtual SoundResult SetVolume(int32_t volume) = 0;
  virtual SoundResult Restore() = 0;
  // Drops one reference; the buffer is gone with the last one.
  virtual uint32_t Release() = 0;

 protected:
  ~SoundBuffer() = default;
};

// The DirectSound object (IDirectSound).
class SoundDevice {
 public:
  virtual SoundResult SetCooperativeLevel(void* window, uint32_t level) = 0;
  virtual SoundResult CreateSoundBuffer(const SoundBufferDescription& description,
                                        SoundBuffer** buffer) = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~SoundDevice() = default;
};

// DirectSoundCreate: `device_guid` null for the default device.
using SoundDeviceCreate = SoundResult (*)(const void* device_guid, SoundDevice** device);

// Loads the DirectSound library (with the system's error dialogs suppressed
// during the load) and returns its create entry, or null when there is none.
// The library stays loaded for the process.
SoundDeviceCreate LoadSoundDeviceLibrary();

// The window to give SetCooperativeLevel: among the top-level windows of this
// process in Z order the last one of this module that is not a child window,
// else the first one of the process, else the active window. Null where the
// system has no such windows.
void* FindSoundWindow();

}  // namespace vexil::platform
