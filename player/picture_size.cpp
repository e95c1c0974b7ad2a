#include "player/picture_size.h"

#include <algorithm>

#include "display/buffer_geometry.h"
#include "display/display_buffer.h"
#include "engine/movie.h"

namespace vexil {
namespace {

// Larger pictures cannot be placed in window coordinates.
constexpr int64_t kLargestSide = 0x3FFFFFFF;

// One dimension from its request, the movie's size m and the screen's s. A
// request that comes to no pixels (or less) means the movie's size.
int32_t Resolve(Rational request, uint32_t m, int32_t s) {
  int64_t r;
  if (request.num == 0 || request.den == 0)
    r = m;
  else if (request.num > 0)
    r = int64_t{request.num} / request.den;
  else if (request.num == -1 && request.den == 1)
    r = s;
  else
    r = int64_t{m} * -int64_t{request.num} / request.den;
  if (r <= 0) r = m;
  return static_cast<int32_t>(std::min(r, kLargestSide));
}

}  // namespace

PictureSize SizePicture(Rational width_request, Rational height_request, uint32_t mw, uint32_t mh,
                        uint32_t display_option, int32_t sw, int32_t sh) {
  constexpr Rational kScreen = {-1, 1};
  // Full screen keeps the movie's aspect: as high as the screen unless that
  // makes it wider than the screen.
  if (width_request == kScreen && height_request == kScreen && mw != 0 && mh != 0) {
    const int64_t wide = int64_t{mw} * sh / mh;
    if (wide > sw) {
      width_request = {sw, 1};
      height_request = {static_cast<int32_t>(std::min(int64_t{mh} * sw / mw, kLargestSide)), 1};
    } else {
      width_request = {static_cast<int32_t>(wide), 1};
      height_request = {sh, 1};
    }
  }
  PictureSize size;
  size.width = Resolve(width_request, mw, sw);
  size.height = Resolve(height_request, mh, sh);
  size.scale_bits = ScaleKindX(uint32_t(size.width), mw) | ScaleKindY(uint32_t(size.height), mh);
  size.display_option = 0;
  // The copy doubles rows or pixels at no cost where a stretch may be slow.
  if (display_option == 0 && mw != 0 && mh != 0) {
    const int64_t w = size.width, h = size.height;
    if (w == mw && h == 2 * int64_t{mh}) size.display_option = DISPLAY_HEIGHT_DOUBLED;
    if (w == 2 * int64_t{mw} && h == mh) size.display_option = DISPLAY_WIDTH_DOUBLED;
    if (w == 2 * int64_t{mw} && h == 2 * int64_t{mh}) size.display_option = DISPLAY_BOTH_DOUBLED;
    if (size.display_option) size.scale_bits = 0;
  }
  return size;
}

}  // namespace vexil
