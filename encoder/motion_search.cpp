#include "encoder/motion_search.h"

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
      : s_(s), x_(x), y_(y), src_(s.source + size_t{y} * s.width + x) {}

  // Scores a vector; true when it became the best. Each vector is scored
  // once: the rings around successive bests overlap.
  bool Try(MotionVector mv) {
    if (std::abs(mv.dx) > kMaxOffset || std::abs(mv.dy) > kMaxOffset) return false;
    const uint32_t index = uint32_t(mv.dy + kMaxOffset) * kSpan + uint32_t(mv.dx + kMaxOffset);
    const uint64_t bit = uint64_t{1} << (index % 64);
    if (tried_[index / 64] & bit) return false;
    tried_[index / 64] |= bit;
    if (!MotionInside(s_, x_, y_, mv)) return false;
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
  static constexpr uint32_t kSpan = 2 * kMaxOffset + 1;
  MotionVector best_;
  double best_cost_ = std::numeric_limits<double>::infinity();
  uint64_t tried_[(kSpan * kSpan + 63) / 64] = {};
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
