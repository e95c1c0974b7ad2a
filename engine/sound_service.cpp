#include "engine/sound_service.h"

#include "engine/engine.h"
#include "engine/movie.h"
#include "engine/movie_sound.h"
#include "engine/service_thread.h"

namespace vexil {

void JoinSoundService(MovieHandle* movie) {
  movie->sound.sound_node = movie->engine->services.Join(
      kSoundServiceRate, &movie->sound.sound_mutex, SoundNodeQuery, SoundNodeWork, movie);
}

uint32_t SoundNodeQuery(ServiceNode* node, uint32_t tick) {
  return node->last_tick != tick ? 0x80000000u - node->last_tick : 0;
}

void SoundNodeWork(ServiceNode* node, uint32_t tick) {
  ServiceSound(static_cast<MovieHandle*>(node->context));
  node->last_tick = tick;
}

}  // namespace vexil
