// Estimated bit costs of the values blocks put into the bundles, for the
// mode decision. The trees are chosen per plane from the value counts, so a
// value costs about -log2 of its frequency; the model learns the frequencies
// from the planes coded so far (decayed, so it follows the content).
#pragma once

#include <cstdint>

namespace vexil {

// Values of one plane, counted as they are put into the bundles.
struct ValueCounts {
  uint32_t type[16] = {};
  uint32_t sub_type[16] = {};
  uint32_t colour[256] = {};
  uint32_t pattern_nibble[16] = {};
  uint32_t offset[16] = {};  // magnitudes
  uint32_t run[16] = {};

  void Add(const ValueCounts& other);
};

class RateModel {
 public:
  RateModel();

  float Type(uint32_t type) const { return type_[type & 15]; }
  float SubType(uint32_t type) const { return sub_type_[type & 15]; }
  float Colour(uint8_t v) const { return colour_[v]; }
  float PatternRow(uint8_t row) const {
    return pattern_nibble_[row & 15] + pattern_nibble_[row >> 4];
  }
  float Offset(int v) const { return offset_[v < 0 ? -v : v] + (v != 0); }
  float Offsets(int dx, int dy) const { return Offset(dx) + Offset(dy); }
  float Run(uint32_t r) const { return run_[r & 15]; }
  // The least any colour or pattern row can cost (for lower bounds).
  float CheapestColour() const { return cheapest_colour_; }
  float CheapestPatternRow() const { return 2 * cheapest_nibble_; }
  // A DC value coded as a step of `delta` from the one before.
  static float DcStep(int32_t delta);

  // Folds in the counts of a plane just coded.
  void Learn(const ValueCounts& counts);

 private:
  ValueCounts history_;  // decayed counts (scaled by 16 to keep fractions)
  bool learned_ = false;
  void FindCheapest();
  float type_[16], sub_type_[16], colour_[256], pattern_nibble_[16], offset_[16], run_[16];
  float cheapest_colour_ = 0, cheapest_nibble_ = 0;
};

}  // namespace vexil
