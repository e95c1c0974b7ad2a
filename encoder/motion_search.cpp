#include "encoder/motion_search.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace vexil {

bool MotionInside(const MotionSearchSetup& s, uint32_t x, uint32_t y, MotionVector mv) {
  if (std::abs(mv.dx) > kMaxOffset || std::abs(mv.dy) > kMaxOffset) return false;
  const int64_t sx = int64_t{x} + mv.dx, sy = int64_t{y} + mv.dy;
  return sx >= 0 && sy >= 0 && sx + 8 <= s.width && sy + 8 <= s.height;
}

namespace {

class Search {
 public:
  Search(const MotionSearchSetup& s, uint32_t x, uint32_t y)
      : s_(s),
        x_(x),
        y_(y),
        src_(s.source + size_t{y} * s.width + x),
        // The offsets that keep the block inside the plane and the range.
        left_(-static_cast<int32_t>(std::min<uint32_t>(x, kMaxOffset))),
        right_(static_cast<int32_t>(std::min<uint32_t>(s.width - 8 - x, kMaxOffset))),
        up_(-static_cast<int32_t>(std::min<uint32_t>(y, kMaxOffset))),
        down_(static_cast<int32_t>(std::min<uint32_t>(s.height - 8 - y, kMaxOffset))) {}

  // Scores a vector; true when it became the best.
  bool Try(MotionVector mv) {
    if (mv.dx < left_ || mv.dx > right_ || mv.dy < up_ || mv.dy > down_) return false;
    const uint8_t* ref = s_.reference + (int64_t{y_} + mv.dy) * s_.width + x_ + mv.dx;
    const double cost = s_.kernels->sad8x8(src_, s_.width, ref, s_.width) +
                        s_.lambda * s_.rate->Offsets(mv.dx, mv.dy);
    if (cost >= best_cost_) return false;
    best_cost_ = cost;
    best_ = mv;
    return true;
  }
  // Tries the points around the best at distance `step` (square pattern).
  bool Ring(int step) {
    const MotionVector centre = best_;
    bool moved = false;
    for (int dy = -step; dy <= step; dy += step) {
      for (int dx = -step; dx <= step; dx += step) {
        if (dx || dy)
          moved |= Try({static_cast<int8_t>(centre.dx + dx), static_cast<int8_t>(centre.dy + dy)});
      }
    }
    return moved;
  }
  MotionVector best() const { return best_; }

 private:
  const MotionSearchSetup& s_;
  uint32_t x_, y_;
  const uint8_t* src_;
  int32_t left_, right_, up_, down_;
  MotionVector best_;
  double best_cost_ = std::numeric_limits<double>::infinity();
};

}  // namespace

MotionVector SearchMotion(const MotionSearchSetup& s, uint32_t x, uint32_t y,
                          const MotionVector* predictors, size_t count) {
  Search search(s, x, y);
  search.Try({});
  for (size_t i = 0; i < count; ++i) search.Try(predictors[i]);
  // Coarse to fine around the best prediction, then single steps while they help.
  for (int step : {8, 4, 2}) search.Ring(step);
  for (int i = 0; i < 16 && search.Ring(1); ++i) {
  }
  return search.best();
}

}  // namespace vexil
