// The engine the engine-level test programs open their movies with (the
// public API's tests, which see only the library, have none).
#pragma once

#include "engine/engine.h"

namespace vexil::test {

// The engine the tests open their movies with, one per test program: no
// decode thread unless a test starts them (and stops them again), its sound
// output whatever a test installed last. Its threads are stopped and joined
// when the program ends.
inline Engine& TestEngine() {
  static Engine engine;
  return engine;
}

}  // namespace vexil::test
