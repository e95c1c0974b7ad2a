#include "player/closing_source.h"

namespace vexil {

std::span<const uint8_t> BuiltInClosingPicture() { return {}; }

}  // namespace vexil
