#include "player/closing_source.h"

#include "player/closing_picture.h"

namespace vexil {

std::span<const uint8_t> BuiltInClosingPicture() {
  return {reinterpret_cast<const uint8_t*>(kClosingPicture), kClosingPictureSize};
}

}  // namespace vexil
