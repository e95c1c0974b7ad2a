#include "engine/engine.h"

#include "engine/background_decode.h"

namespace vexil {

Engine::Engine() : decode_threads(RunFrameDecodeJob) {}

}  // namespace vexil
