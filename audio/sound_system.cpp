#include "audio/sound_system.h"

namespace vexil {

int SetSoundSystem(SoundSystem* system, SoundProvider provider) {
  if (!provider) return 0;
  // Open tracks belong to the output in use.
  if (provider != system->provider && system->open_tracks.load() > 0) return 0;
  const SoundDriverOpen open = provider(nullptr);
  if (!open) return 0;
  system->provider = provider;
  system->open = open;
  return 1;
}

}  // namespace vexil
