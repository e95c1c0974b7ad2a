// The sound devices of the active back end.
#include "platform/sound_device.h"

#include "platform/backend.h"
#include "platform/headless/sound_headless.h"

#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/sound_audio_sdl.h"
#include "platform/sdl/sound_sdl.h"
#endif
#ifdef _WIN32
#include "platform/win32/sound_win32.h"
#endif

namespace vexil::platform {

bool PcmFormatValid(const PcmFormat& f) {
  if (f.format_tag != WAVE_FORMAT_PCM) return false;
  if (f.channels != 1 && f.channels != 2) return false;
  if (f.bits_per_sample != 8 && f.bits_per_sample != 16) return false;
  if (f.samples_per_second == 0 || f.samples_per_second > 1000000) return false;
  const uint32_t block = uint32_t{f.channels} * f.bits_per_sample / 8;
  return f.block_align == block && f.average_bytes_per_second == block * f.samples_per_second;
}

uint8_t PcmSilence(const PcmFormat& format) {
  return format.bits_per_sample == 8 ? 128 : 0;
}

std::string SoundOutputProblem() {
#ifdef VEXIL_HAVE_SDL
  if (ActiveBackend() == Backend::kSdl) return sdl_sound::OutputProblem();
#endif
  return {};
}

uint32_t WaveOutOpen(WaveOutDevice** device, const PcmFormat& format) {
#ifdef _WIN32
  if (ActiveBackend() == Backend::kWin32) return win32::OpenWaveOut(device, format);
#endif
#ifdef VEXIL_HAVE_SDL
  if (ActiveBackend() == Backend::kSdl) return sdl_sound::OpenWaveOut(device, format);
#endif
  return headless_sound::OpenWaveOut(device, format);
}

namespace {

SoundResult CreateActive(const void* guid, SoundDevice** device) {
#ifdef VEXIL_HAVE_SDL
  if (ActiveBackend() == Backend::kSdl) return sdl_sound::CreateSoundDevice(guid, device);
#endif
  return headless_sound::CreateSoundDevice(guid, device);
}

}  // namespace

// Both emulations are built in: there is no library to load (Win32 loads
// DSOUND.DLL).
SoundDeviceCreate LoadSoundDeviceLibrary() {
#ifdef _WIN32
  if (ActiveBackend() == Backend::kWin32) return win32::LoadDirectSound();
#endif
  return CreateActive;
}

// The emulated devices play whatever window the program has.
void* FindSoundWindow() {
#ifdef _WIN32
  if (ActiveBackend() == Backend::kWin32) return win32::FindSoundWindow();
#endif
  return nullptr;
}

}  // namespace vexil::platform
