// Whether the mouse cursor is drawn into the primary surface by software (and
// so must be hidden while the buffer writes under it).
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace vexil {

// 1 for a software cursor, 0 for a hardware cursor or when it cannot be told.
// Needs DirectDraw started (the primary surface). The answer is cached per
// cursor, primary surface address and depth.
int32_t ProbeSoftwareCursor(platform::WindowHandle window);

}  // namespace vexil
