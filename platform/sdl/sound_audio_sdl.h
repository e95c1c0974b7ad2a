// An SDL audio device for one emulated sound device: opened for a PCM
// format with a callback that asks for the next bytes to play.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "platform/sound_device.h"

namespace vexil::platform::sdl_sound {

class AudioOutput {
 public:
  using Fill = void (*)(void* context, uint8_t* out, uint32_t bytes);

  // Opens an output that plays `format` exactly (SDL converts for the
  // device), starting paused. False when SDL has no audio device.
  bool Open(const PcmFormat& format, Fill fill, void* context);
  // Joins SDL's audio thread for this output and closes it.
  void Close();
  void Run(bool playing);
  // Bytes SDL asks for per callback.
  uint32_t CallbackBytes() const { return callback_bytes_; }

 private:
  static void Callback(void* self, Uint8* stream, int length);

  SDL_AudioDeviceID id_ = 0;
  bool subsystem_ = false;
  Fill fill_ = nullptr;
  void* context_ = nullptr;
  uint32_t callback_bytes_ = 0;
};

// Why an output could not be opened, the first time one could not (SDL's
// words); empty while none failed.
std::string OutputProblem();

// Scales samples of `format` in place by separate gains (1.0 = as is) for the
// left and right channel; mono takes the left gain.
void ApplyGains(const PcmFormat& format, uint8_t* bytes, uint32_t count, float left, float right);

}  // namespace vexil::platform::sdl_sound
