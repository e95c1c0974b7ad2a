// The SDL sound devices: the waveOut-like and DirectSound-like devices, each
// emulated on an SDL audio device of its own whose callback takes the queued
// headers (waveOut) or runs the play cursor through the looping buffer
// (DirectSound), so the drivers see the timing of a real device.
//
// What is not emulated: a buffer frequency other than its format's rate (it
// is recorded only). Volume and pan are applied to the samples.
#pragma once

#include <cstdint>

#include "platform/sound_device.h"

namespace vexil::platform::sdl_sound {

uint32_t OpenWaveOut(WaveOutDevice** device, const PcmFormat& format);
SoundResult CreateSoundDevice(const void* device_guid, SoundDevice** device);

}  // namespace vexil::platform::sdl_sound
