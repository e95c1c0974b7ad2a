// The per-open settings as the next open consumes them.
#pragma once

#include <cstdint>

#include "engine/input.h"

namespace vexil {

struct OpenSettings {
  int32_t rate_num;
  int32_t rate_den;
  int32_t read_buffer_size;
  int32_t read_speed;
  InputOpenOperation input_open;
};

// Returns the settings and resets them all to "none" (every open consumes
// every setting, whether or not its flag asked for it).
OpenSettings TakeOpenSettings();

}  // namespace vexil
