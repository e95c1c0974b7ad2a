#include "platform/sdl/sound_audio_sdl.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace vexil::platform::sdl_sound {
namespace {

std::mutex g_problem_lock;
std::string g_problem;  // guarded by g_problem_lock

void NoteProblem() {
  std::lock_guard<std::mutex> guard(g_problem_lock);
  if (g_problem.empty()) g_problem = *SDL_GetError() ? SDL_GetError() : "no audio device";
}

void IgnoreSoundLibraryError(const char*, int, const char*, int, const char*, ...) {}

// The sound library most Linux systems have writes its own lines to standard
// error for every device it fails to open (nine of them on a desktop without
// a sound card), whichever program asked. SDL loads it by name; loaded here
// first, it is told to keep quiet, and the player says once, in its own
// words, that it plays without sound. The library stays loaded, so the
// handler stays in place. Without the library there is nothing to quiet.
void QuietSoundLibrary() {
  static const bool done = [] {
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!library) return true;
    if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(library, "snd_lib_error_set_handler")))
      set(IgnoreSoundLibraryError);
    return true;
  }();
  (void)done;
}

}  // namespace

std::string OutputProblem() {
  std::lock_guard<std::mutex> guard(g_problem_lock);
  return g_problem;
}

bool AudioOutput::Open(const PcmFormat& format, Fill fill, void* context) {
  if (!PcmFormatValid(format)) return false;
  QuietSoundLibrary();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    NoteProblem();
    return false;
  }
  subsystem_ = true;
  fill_ = fill;
  context_ = context;
  SDL_AudioSpec want{}, have{};
  want.freq = static_cast<int>(format.samples_per_second);
  want.format = format.bits_per_sample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  want.channels = static_cast<Uint8>(format.channels);
  // About 10 ms a callback: the play cursor moves in steps of this size.
  Uint16 samples = 128;
  while (samples < 4096 && samples * 2u * 100 <= format.samples_per_second) samples *= 2;
  want.samples = samples;
  want.callback = Callback;
  want.userdata = this;
  id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (id_ == 0) {
    NoteProblem();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
    return false;
  }
  callback_bytes_ = uint32_t{have.samples} * format.block_align;
  return true;
}

void AudioOutput::Close() {
  if (id_) SDL_CloseAudioDevice(id_);
  id_ = 0;
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  subsystem_ = false;
}

void AudioOutput::Run(bool playing) {
  if (id_) SDL_PauseAudioDevice(id_, playing ? 0 : 1);
}

void AudioOutput::Callback(void* self, Uint8* stream, int length) {
  auto* output = static_cast<AudioOutput*>(self);
  output->fill_(output->context_, stream, static_cast<uint32_t>(length));
}

void ApplyGains(const PcmFormat& format, uint8_t* bytes, uint32_t count, float left, float right) {
  if (left >= 1.0f && right >= 1.0f) return;
  const uint32_t channels = format.channels;
  if (format.bits_per_sample == 8) {
    for (uint32_t i = 0; i < count; ++i) {
      const float gain = (channels == 2 && i % 2) ? right : left;
      bytes[i] = static_cast<uint8_t>(128 + static_cast<int>((bytes[i] - 128) * gain));
    }
    return;
  }
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    const float gain = (channels == 2 && (i / 2) % 2) ? right : left;
    int16_t sample;
    std::memcpy(&sample, bytes + i, 2);
    sample = static_cast<int16_t>(sample * gain);
    std::memcpy(bytes + i, &sample, 2);
  }
}

}  // namespace vexil::platform::sdl_sound
