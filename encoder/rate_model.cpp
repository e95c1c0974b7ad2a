#include "encoder/rate_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vexil {
namespace {

// Costs from counts: -log2 of the smoothed frequency, kept inside what a code
// can cost (a symbol of a 16-symbol tree takes 1 to 7 bits).
template <size_t N>
void CostsFrom(const uint32_t (&counts)[N], float (&costs)[N], float low, float high) {
  double total = 0;
  for (uint32_t c : counts) total += c;
  const double smooth = 0.5 * 16;  // counts are scaled by 16
  for (size_t i = 0; i < N; ++i) {
    const double p = (counts[i] + smooth) / (total + smooth * N);
    costs[i] = static_cast<float>(std::clamp(-std::log2(p), double(low), double(high)));
  }
}

template <size_t N>
void Decay(uint32_t (&history)[N], const uint32_t (&fresh)[N]) {
  for (size_t i = 0; i < N; ++i) history[i] = history[i] / 2 + fresh[i] * 16;
}

}  // namespace

void ValueCounts::Add(const ValueCounts& o) {
  for (int i = 0; i < 16; ++i) {
    type[i] += o.type[i];
    sub_type[i] += o.sub_type[i];
    pattern_nibble[i] += o.pattern_nibble[i];
    offset[i] += o.offset[i];
    run[i] += o.run[i];
  }
  for (int i = 0; i < 256; ++i) colour[i] += o.colour[i];
}

RateModel::RateModel() {
  // Before anything is learned: types and offsets near zero cheap, colours
  // and patterns near their plain widths.
  for (int i = 0; i < 16; ++i) {
    type_[i] = 3.5f;
    sub_type_[i] = 3;
    pattern_nibble_[i] = 4;
    offset_[i] = i == 0 ? 1.5f : 3.5f + i / 8.0f;
    run_[i] = 4;
  }
  for (float& c : colour_) c = 7;
  FindCheapest();
}

void RateModel::FindCheapest() {
  cheapest_colour_ = *std::min_element(colour_, colour_ + 256);
  cheapest_nibble_ = *std::min_element(pattern_nibble_, pattern_nibble_ + 16);
}

float RateModel::DcStep(int32_t delta) {
  uint32_t m = static_cast<uint32_t>(std::abs(delta)), bits = 0;
  while (m >> bits) ++bits;
  // The 4-bit group width is shared by eight values.
  return 0.5f + static_cast<float>(bits) + (delta != 0);
}

void RateModel::Learn(const ValueCounts& fresh) {
  if (!learned_) {
    history_ = ValueCounts{};
    learned_ = true;
  }
  Decay(history_.type, fresh.type);
  Decay(history_.sub_type, fresh.sub_type);
  Decay(history_.colour, fresh.colour);
  Decay(history_.pattern_nibble, fresh.pattern_nibble);
  Decay(history_.offset, fresh.offset);
  Decay(history_.run, fresh.run);
  CostsFrom(history_.type, type_, 1, 7);
  CostsFrom(history_.sub_type, sub_type_, 1, 7);
  CostsFrom(history_.pattern_nibble, pattern_nibble_, 1, 7);
  CostsFrom(history_.offset, offset_, 1, 7);
  CostsFrom(history_.run, run_, 1, 7);
  CostsFrom(history_.colour, colour_, 2, 14);
  FindCheapest();
}

}  // namespace vexil
