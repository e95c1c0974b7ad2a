// The player's built-in closing picture: a one-frame 224 x 252 movie at 10
// frames per second without sound, shown when the last movie has ended. It
// is opened from memory: kClosingPictureSize bytes of movie, after which the
// array holds 1024 zero bytes more, as every movie read from memory must.
// Made by scripts/make_closing_picture.sh.
#pragma once

#include <cstddef>

namespace vexil {

extern const unsigned char kClosingPicture[];
extern const size_t kClosingPictureSize;

}  // namespace vexil
