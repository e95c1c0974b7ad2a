// The sound output in use: the provider its owner installed, the driver open
// operation that provider gave and the tracks open on it. One per engine;
// every movie of the engine opens its tracks with it.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/sound_track.h"

namespace vexil {

struct SoundSystem {
  SoundProvider provider = nullptr;
  SoundDriverOpen open = nullptr;  // null: no sound
  // Tracks open with this system; the track open and close count them.
  std::atomic<uint32_t> open_tracks{0};
};

// Installs the sound output that the next opens use. A null provider is
// refused, and so is a provider other than the one in use while any sound
// track is open. The provider is called with 0; the open operation it returns
// replaces the current one when it is not null. Returns 1 when the provider
// gave an open operation. The system's owner thread (the player's).
int SetSoundSystem(SoundSystem* system, SoundProvider provider);

}  // namespace vexil
