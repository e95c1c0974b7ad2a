// The sound service: a movie with sound joins the sound service thread (13
// ticks a second, below-normal priority; see service_thread.h), whose node asks
// for one ServiceSound call per tick. The node borrows the movie's sound mutex.
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;
struct ServiceNode;

// Ticks per second of the sound service; negative: below-normal priority.
constexpr int32_t kSoundServiceRate = -13;

// Joins the sound service (player thread, at open, once the tracks are open
// and the lock operations installed). Sets movie->sound.sound_node; it stays null
// when no service thread slot is free, and the movie's sound is then fed only
// by the player thread's calls.
void JoinSoundService(MovieHandle* movie);

// 0x80000000 - the tick last served, and 0 once served in this tick.
uint32_t SoundNodeQuery(ServiceNode* node, uint32_t tick);
// ServiceSound (the sound mutex is held); records the tick.
void SoundNodeWork(ServiceNode* node, uint32_t tick);

}  // namespace vexil
