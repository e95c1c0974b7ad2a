// The sound output in use: the provider the player installed and the driver
// open operation it gave.
#include "audio/sound_track.h"

namespace vexil {
namespace {

// Player thread only.
SoundProvider g_provider = nullptr;
SoundDriverOpen g_open = nullptr;

}  // namespace

int SetSoundSystem(SoundProvider provider) {
  if (!provider) return 0;
  // Open tracks belong to the output in use.
  if (provider != g_provider && SoundTracksOpen() > 0) return 0;
  const SoundDriverOpen open = provider(nullptr);
  if (!open) return 0;
  g_provider = provider;
  g_open = open;
  return 1;
}

SoundDriverOpen SoundSystemOpen() {
  return g_open;
}

}  // namespace vexil
