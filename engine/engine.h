// An engine: the threads and the sound output that its movies share. The
// decode threads decode frames in the background, the service threads read
// movies ahead and feed their sound, the sound system opens the tracks.
//
// A program makes one engine (the player does at start-up) and opens its
// movies with it; every movie keeps a pointer to its engine, which must
// outlive it. The engine's threads are stopped and joined by its destructor,
// whatever way the program leaves. Engines share nothing: two of them may run
// in one process. The controller operations (starting decode threads, the
// sound system) belong to the engine's owner thread.
#pragma once

#include "audio/sound_system.h"
#include "engine/service_thread.h"
#include "video/decode_threads.h"

namespace vexil {

struct Engine {
  Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Started by the owner (Start(1) or Start(2)); none at first, and then the
  // frames are decoded on the calling thread.
  DecodeThreadPool decode_threads;
  ServiceThreads services;
  SoundSystem sound_system;
};

}  // namespace vexil
