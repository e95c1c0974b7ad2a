// The Win32 sound devices: waveOut from winmm, and DirectSound from
// "DSOUND.DLL" loaded on first use.
#pragma once

#include "platform/sound_device.h"

namespace vexil::platform::win32 {

uint32_t OpenWaveOut(WaveOutDevice** device, const PcmFormat& format);
SoundDeviceCreate LoadDirectSound();
void* FindSoundWindow();

}  // namespace vexil::platform::win32
