#include "encoder/block_coder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "encoder/coefficient_encoder.h"
#include "encoder/forward_dct.h"
#include "video/idct.h"
#include "video/quantizer_tables.h"
#include "video/scan_tables.h"

namespace vexil {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Rounding offsets of the coefficient quantizer: below one half, so values
// that barely reach a step (and cost its bits) fall to the step below.
constexpr float kIntraRounding = 0.36f;
constexpr float kInterRounding = 0.2f;
// How each kind of transform block quantizes.
constexpr BlockCoder::RowRules kIntraRows = {DCT_INTRA, kIntraRounding, 0, 2047};
constexpr BlockCoder::RowRules kInterRows = {DCT_INTER, kInterRounding, -1023, 1023};
// A run block's values must fit the runs bundle's chunk beside a whole row of
// such blocks: 48 per block.
constexpr size_t kMaxRunSegments = 48;

// Change of every output sample per unit of the DC coefficient.
double DcStepSize(const uint32_t quant[64]) {
  return quant[0] / 2048.0 / 256.0;
}

// Stores a transform block's coefficients (in natural order) and its
// quantizer in the choice, and its bits: the fixed fields' estimate (which
// counts 4 bits the coefficients replace) plus what the coefficients take.
void TakeCoefficients(const int16_t coefficients[64], uint32_t q, double fixed_bits,
                      uint32_t coefficient_bits, BlockChoice* c) {
  c->dct.dc = coefficients[0];
  c->dct.quantizer = static_cast<uint8_t>(q);
  c->dct.by_scan[0] = 0;
  for (int k = 1; k < 64; ++k) c->dct.by_scan[k] = coefficients[kCoefficientScan[k]];
  c->bits = fixed_bits - 4 + coefficient_bits;
}

}  // namespace

struct BlockCoder::Target {
  const uint8_t* src;  // top-left sample in the plane
  uint32_t pitch;
  bool doubled;      // a 16x16 area coded as 8x8 content doubled
  float values[64];  // what the 8x8 content should hold (doubled: 2x2 means)
  uint8_t rounded[64];
};

BlockCoder::BlockCoder(const BlockCoderSetup& setup) : s_(setup) {}

uint8_t BlockCoder::Colour(int32_t v) const {
  v = std::clamp(v, 0, 255);
  if (s_.old_revision && v == 0) v = 1;
  return static_cast<uint8_t>(v);
}

uint32_t BlockCoder::Distortion(const Target& t, const uint8_t content[64]) const {
  if (!t.doubled) return s_.kernels->sse8x8(content, 8, t.src, t.pitch);
  uint32_t sum = 0;
  for (int r = 0; r < 16; ++r) {
    const uint8_t* row = t.src + r * t.pitch;
    const uint8_t* c = content + 8 * (r / 2);
    for (int k = 0; k < 16; ++k) {
      const int32_t d = row[k] - c[k / 2];
      sum += static_cast<uint32_t>(d * d);
    }
  }
  return sum;
}

double BlockCoder::TypeBits(const Target& t, uint8_t type) const {
  // A scaled block takes a type value on its row and one on the row below.
  if (t.doubled) return 2 * s_.rate->Type(BLOCK_SCALED) + s_.rate->SubType(type);
  return s_.rate->Type(type);
}

double BlockCoder::Consider(BlockChoice& candidate, BlockChoice* best) const {
  const double cost = candidate.distortion + s_.lambda * candidate.bits;
  candidate.cost = cost;
  if (cost < best->cost) std::swap(candidate, *best);
  return cost;
}

size_t BlockCoder::RankRows(const float f[64], const RowRules& rules, double weight,
                            double other_bits, int32_t last_dc, const BlockChoice& best,
                            RowTrial* rows) const {
  // The transform is orthonormal, so the error of the dequantized
  // coefficients is the error of the samples, up to the decoder's rounding
  // and the DC moves that keep samples in range. Together with the exact
  // coefficient bits that predicts each row's cost closely, and only the
  // cheapest rows are worth an inverse transform. Rows are quantized in
  // scan order, the order the bit count takes.
  float by_scan[64];
  for (int k = 0; k < 64; ++k) by_scan[k] = f[kCoefficientScan[k]];
  RowTrial trials[16];
  size_t count = 0;
  for (uint32_t q = s_.finest_quantizer; q <= s_.coarsest_quantizer && q < 16; ++q) {
    RowTrial& r = trials[count];
    const DctRowByScan& row = DctRowTables(rules.table, q);
    r.q = q;
    QuantizedShape quantized;
    float error = s_.kernels->quantize(by_scan, row.scale, row.step, row.ceiling, rules.rounding,
                                       r.by_scan, &quantized);
    // The DC is rounded to nearest and kept in its range.
    const float dc = by_scan[0] * row.scale[0];
    r.by_scan[0] =
        static_cast<int16_t>(std::clamp<long>(std::lround(dc), rules.dc_low, rules.dc_high));
    const float dc_error = (dc - r.by_scan[0]) * row.step[0];
    error += dc_error * dc_error;
    // The bit count leaves the DC out.
    const uint64_t values = quantized.nonzero & ~uint64_t{1};
    CoefficientShape shape;
    std::copy(quantized.group, quantized.group + 16, shape.group);
    shape.group[0] = 0;
    for (int k = 1; k < 4; ++k) shape.group[0] |= static_cast<uint32_t>(std::abs(r.by_scan[k]));
    shape.nonzero = static_cast<uint32_t>(std::popcount(values));
    // An inter block without values: a motion block says the same for less.
    if (!values && !r.by_scan[0] && rules.table == DCT_INTER) continue;
    // Neither the error alone nor the bits alone may lose already.
    if (weight * error >= best.cost) continue;
    // Scaled blocks keep their values: they compete with four blocks, and
    // made cheaper they won where the detail was worth more (a higher
    // quality then gave a lower PSNR).
    r.coefficient_bits = weight == 1 ? DropCostlyOnes(by_scan, row, rules, &r,
                                                      quantized.ones & ~uint64_t{1}, &shape, &error)
                                     : CoefficientBits(shape);
    const double bits =
        other_bits + RateModel::DcStep(r.by_scan[0] - last_dc) + 4 + r.coefficient_bits;
    if (s_.lambda * bits >= best.cost) continue;
    r.estimate = weight * error + s_.lambda * bits;
    ++count;
  }
  const size_t kept = std::min(count, kExactRows);
  std::partial_sort(trials, trials + kept, trials + count,
                    [](const RowTrial& a, const RowTrial& b) { return a.estimate < b.estimate; });
  std::copy(trials, trials + kept, rows);
  return kept;
}

uint32_t BlockCoder::DropCostlyOnes(const float f[64], const DctRowByScan& row,
                                    const RowRules& rules, RowTrial* r, uint64_t ones,
                                    CoefficientShape* shape, float* error) const {
  int16_t* by_scan = r->by_scan;
  uint32_t bits = CoefficientBits(*shape);
  // From the end of the scan back, where a lone value keeps whole groups
  // and planes of flags alive. An inter block keeps one value at least (or
  // a motion block would say the same for less).
  const uint32_t least = rules.table == DCT_INTER && by_scan[0] == 0 ? 1 : 0;
  while (ones && shape->nonzero > least) {
    const int k = 63 - std::countl_zero(ones);
    ones &= ~(uint64_t{1} << k);
    const float v = f[k] * row.scale[k];
    const float kept = (v - by_scan[k]) * row.step[k], dropped = v * row.step[k];
    const float more_error = dropped * dropped - kept * kept;
    // While its group holds other values, a value's top bit is the group's
    // lowest and the value costs exactly one bit; only the last one in a
    // group changes the flags.
    const int g = k / 4;
    uint32_t others = 0;
    for (int j = 4 * g; j < 4 * g + 4; ++j) {
      if (j != k && j != 0) others |= static_cast<uint32_t>(std::abs(int32_t{by_scan[j]}));
    }
    CoefficientShape trial = *shape;
    --trial.nonzero;
    if (!others) trial.group[g] = 0;
    const uint32_t trial_bits = others ? bits - 1 : CoefficientBits(trial);
    if (more_error + s_.lambda * (static_cast<double>(trial_bits) - bits) >= 0) continue;
    by_scan[k] = 0;
    *error += more_error;
    *shape = trial;
    bits = trial_bits;
  }
  return bits;
}

void BlockCoder::TryFill(const Target& t, BlockChoice* c, BlockChoice* best) {
  double sum = 0;
  for (float v : t.values) sum += v;
  c->type = BLOCK_FILL;
  c->colour = Colour(static_cast<int32_t>(std::lround(sum / 64)));
  std::memset(c->content, c->colour, 64);
  c->distortion = Distortion(t, c->content);
  c->bits = TypeBits(t, BLOCK_FILL) + s_.rate->Colour(c->colour);
  Consider(*c, best);
}

void BlockCoder::TryPattern(const Target& t, BlockChoice* c, BlockChoice* best) {
  const uint8_t* v = t.rounded;
  double lo = *std::min_element(v, v + 64), hi = *std::max_element(v, v + 64);
  if (lo == hi) return;
  // Two-colour clustering: split at the midpoint, move each colour to the
  // mean of its side, until the split stops changing.
  uint64_t split = 0;
  for (int iteration = 0; iteration < 8; ++iteration) {
    const double mid = (lo + hi) / 2;
    uint64_t next = 0;
    double sum[2] = {}, count[2] = {};
    for (int i = 0; i < 64; ++i) {
      const int side = v[i] > mid;
      next |= uint64_t{static_cast<uint64_t>(side)} << i;
      sum[side] += v[i];
      count[side] += 1;
    }
    if (!count[0] || !count[1]) break;
    lo = sum[0] / count[0];
    hi = sum[1] / count[1];
    if (next == split) break;
    split = next;
  }
  const uint8_t c0 = Colour(static_cast<int32_t>(std::lround(lo)));
  const uint8_t c1 = Colour(static_cast<int32_t>(std::lround(hi)));
  if (c0 == c1) return;
  c->type = BLOCK_PATTERN;
  c->pattern.c0 = c0;
  c->pattern.c1 = c1;
  c->bits = TypeBits(t, BLOCK_PATTERN) + s_.rate->Colour(c0) + s_.rate->Colour(c1);
  for (int r = 0; r < 8; ++r) {
    uint8_t row = 0;
    for (int k = 0; k < 8; ++k) {
      const int i = 8 * r + k;
      const bool one = std::abs(int{v[i]} - c1) < std::abs(int{v[i]} - c0);
      row |= static_cast<uint8_t>(one << k);
      c->content[i] = one ? c1 : c0;
    }
    c->pattern.rows[r] = row;
    c->bits += s_.rate->PatternRow(row);
  }
  c->distortion = Distortion(t, c->content);
  Consider(*c, best);
}

void BlockCoder::TryRaw(const Target& t, BlockChoice* c, BlockChoice* best) {
  c->type = BLOCK_RAW;
  c->bits = TypeBits(t, BLOCK_RAW);
  for (int i = 0; i < 64; ++i) {
    c->content[i] = Colour(t.rounded[i]);
    c->bits += s_.rate->Colour(c->content[i]);
  }
  c->distortion = Distortion(t, c->content);
  Consider(*c, best);
}

void BlockCoder::TryRun(const Target& t, BlockChoice* c, BlockChoice* best) {
  uint8_t colours[64];
  uint32_t seen[8] = {}, distinct = 0;
  for (int i = 0; i < 64; ++i) {
    colours[i] = Colour(t.rounded[i]);
    uint32_t& word = seen[colours[i] >> 5];
    const uint32_t bit = 1u << (colours[i] & 31);
    distinct += !(word & bit);
    word |= bit;
  }
  // Runs pay off only on blocks of few colours (graphics, text).
  if (distinct > 16) return;
  // A run block is exact, so it costs its bits only, and each colour in it is
  // sent at least once. Give up when even that cannot beat the best so far.
  double cheapest = kInfinity;
  for (int i = 0; i < 64; ++i) cheapest = std::min<double>(cheapest, s_.rate->Colour(colours[i]));
  if (s_.lambda * (TypeBits(t, BLOCK_RUN) + 4 + distinct * cheapest) >= best->cost) return;
  // The orders with the fewest colour changes along them are the ones worth
  // a full search.
  int order[16], changes[16];
  for (int scan = 0; scan < 16; ++scan) {
    const uint8_t* sp = kRunScanPatterns[scan];
    int n = 0;
    for (int i = 1; i < 64; ++i) n += colours[sp[i]] != colours[sp[i - 1]];
    changes[scan] = n;
    order[scan] = scan;
  }
  constexpr int kSearched = 2;
  std::partial_sort(order, order + kSearched, order + 16,
                    [&](int a, int b) { return changes[a] < changes[b]; });
  // Each stretch of one colour along the order takes at least one colour.
  if (s_.lambda * (TypeBits(t, BLOCK_RUN) + 4 + (changes[order[0]] + 1) * cheapest) >= best->cost)
    return;

  struct Step {
    uint8_t start, length;
    bool literal;
  };
  double best_bits = kInfinity;
  int best_scan = -1;
  Step best_steps[65];
  size_t best_count = 0;
  for (int o = 0; o < kSearched; ++o) {
    const int scan = order[o];
    uint8_t seq[64];
    for (int i = 0; i < 64; ++i) seq[i] = colours[kRunScanPatterns[scan][i]];
    // Stretches of one colour from each position on: each costs a colour at least.
    int stretches[65];
    stretches[64] = 0;
    for (int i = 63; i >= 0; --i)
      stretches[i] = stretches[i + 1] + (i == 63 || seq[i] != seq[i + 1]);
    // Only what still beats the best block so far (a run block has no error)
    // and the best order so far is worth extending.
    const double enough = std::min(best_bits, best->cost / s_.lambda - TypeBits(t, BLOCK_RUN)) - 4;
    // Colour bits of the positions before each position.
    double sum[65];
    sum[0] = 0;
    for (int i = 0; i < 64; ++i) sum[i + 1] = sum[i] + s_.rate->Colour(seq[i]);
    double cost[65];
    Step from[65];
    std::fill(cost, cost + 65, kInfinity);
    cost[0] = 0;
    for (int i = 0; i < 63; ++i) {
      if (cost[i] + stretches[i] * cheapest >= enough) continue;
      // One colour for the run.
      const double one = cost[i] + 1 + s_.rate->Colour(seq[i]);
      for (int length = 1; length <= 16 && i + length <= 64 && seq[i + length - 1] == seq[i];
           ++length) {
        const double bits = one + s_.rate->Run(length - 1);
        if (bits < cost[i + length]) {
          cost[i + length] = bits;
          from[i + length] = {static_cast<uint8_t>(i), static_cast<uint8_t>(length), false};
        }
      }
      // A colour per position. Ending inside a stretch never beats ending
      // where it starts and leaving the stretch to a run of one colour.
      for (int length = 2; length <= 16 && i + length <= 64; ++length) {
        const int end = i + length;
        if (end < 64 && length < 16 && seq[end] == seq[end - 1]) continue;
        const double bits = cost[i] + 1 + sum[end] - sum[i] + s_.rate->Run(length - 1);
        if (bits < cost[end]) {
          cost[end] = bits;
          from[end] = {static_cast<uint8_t>(i), static_cast<uint8_t>(length), true};
        }
      }
    }
    // Runs that stop at 63 leave the last position to one more colour.
    if (cost[63] + s_.rate->Colour(seq[63]) < cost[64]) {
      cost[64] = cost[63] + s_.rate->Colour(seq[63]);
      from[64] = {63, 1, true};
    }
    if (cost[64] + 4 >= best_bits) continue;
    Step steps[65];
    size_t count = 0;
    for (int at = 64; at > 0; at = from[at].start) steps[count++] = from[at];
    if (count > kMaxRunSegments) continue;
    best_bits = cost[64] + 4;
    best_scan = scan;
    std::reverse_copy(steps, steps + count, best_steps);
    best_count = count;
  }
  if (best_scan < 0) return;

  c->type = BLOCK_RUN;
  c->run.scan = static_cast<uint8_t>(best_scan);
  c->run.segments.clear();
  c->run.last_colour = 0;
  const uint8_t* scan = kRunScanPatterns[best_scan];
  for (size_t s = 0; s < best_count; ++s) {
    const Step& step = best_steps[s];
    if (step.start == 63) {
      c->run.last_colour = colours[scan[63]];
      continue;
    }
    RunSegment segment;
    segment.run = static_cast<uint8_t>(step.length - 1);
    segment.one_colour = !step.literal;
    for (int i = 0; i < (step.literal ? step.length : 1); ++i)
      segment.colours.push_back(colours[scan[step.start + i]]);
    c->run.segments.push_back(std::move(segment));
  }
  std::memcpy(c->content, colours, 64);
  c->bits = TypeBits(t, BLOCK_RUN) + best_bits;
  c->distortion = Distortion(t, c->content);
  Consider(*c, best);
}

void BlockCoder::TryIntra(const Target& t, BlockChoice* c, BlockChoice* best) {
  float f[64];
  s_.kernels->forward_dct(t.values, f);
  const double type_bits = TypeBits(t, BLOCK_INTRA);
  RowTrial rows[kExactRows];
  const size_t count =
      RankRows(f, kIntraRows, t.doubled ? 4 : 1, type_bits, last_intra_dc_, *best, rows);
  for (size_t i = 0; i < count; ++i) {
    RowTrial& r = rows[i];
    int16_t coefficients[64];
    for (int k = 0; k < 64; ++k) coefficients[kCoefficientScan[k]] = r.by_scan[k];
    const uint32_t q = r.q;
    int32_t out[64];
    // Ringing can push samples past 0..255, where the decoder wraps them:
    // move the DC until they fit (twice at most).
    for (int attempt = 0; attempt < 3; ++attempt) {
      IdctUnwrapped(coefficients, kIntraQuant[q], out);
      const int32_t hi = *std::max_element(out, out + 64), lo = *std::min_element(out, out + 64);
      if (attempt == 2 || (hi <= 255 && lo >= 0)) break;
      const double step = DcStepSize(kIntraQuant[q]);
      const int32_t shift = hi > 255 ? -static_cast<int32_t>(std::ceil((hi - 255) / step))
                                     : static_cast<int32_t>(std::ceil(-lo / step));
      coefficients[0] = static_cast<int16_t>(std::clamp(coefficients[0] + shift, 0, 2047));
    }
    for (int p = 0; p < 64; ++p) c->content[p] = static_cast<uint8_t>(out[p]);
    c->distortion = Distortion(t, c->content);
    const double fixed = type_bits + RateModel::DcStep(coefficients[0] - last_intra_dc_) + 8;
    c->type = BLOCK_INTRA;
    TakeCoefficients(coefficients, q, fixed, r.coefficient_bits, c);
    Consider(*c, best);
  }
}

void BlockCoder::TryInter(uint32_t x, uint32_t y, MotionVector mv, BlockChoice* c,
                          BlockChoice* best) {
  const uint8_t* src = s_.source + size_t{y} * s_.width + x;
  const uint8_t* pred = s_.reference + (int64_t{y} + mv.dy) * s_.width + x + mv.dx;
  float residual[64], f[64];
  for (int r = 0; r < 8; ++r)
    for (int k = 0; k < 8; ++k)
      residual[8 * r + k] = float(src[r * s_.width + k]) - float(pred[r * s_.width + k]);
  s_.kernels->forward_dct(residual, f);
  const double type_bits = s_.rate->Type(BLOCK_INTER) + s_.rate->Offsets(mv.dx, mv.dy);
  RowTrial rows[kExactRows];
  const size_t count = RankRows(f, kInterRows, 1, type_bits, last_inter_dc_, *best, rows);
  for (size_t i = 0; i < count; ++i) {
    RowTrial& r = rows[i];
    int16_t coefficients[64];
    for (int k = 0; k < 64; ++k) coefficients[kCoefficientScan[k]] = r.by_scan[k];
    const uint32_t q = r.q;
    int32_t out[64];
    for (int attempt = 0; attempt < 3; ++attempt) {
      IdctUnwrapped(coefficients, kInterQuant[q], out);
      int32_t over = 0, under = 0;
      for (int p = 0; p < 64; ++p) {
        const int32_t v = pred[(p / 8) * s_.width + p % 8] + out[p];
        over = std::max(over, v - 255);
        under = std::max(under, -v);
      }
      if (attempt == 2 || (over == 0 && under == 0)) break;
      const double step = DcStepSize(kInterQuant[q]);
      const int32_t shift = over ? -static_cast<int32_t>(std::ceil(over / step))
                                 : static_cast<int32_t>(std::ceil(under / step));
      coefficients[0] = static_cast<int16_t>(std::clamp(coefficients[0] + shift, -1023, 1023));
    }
    for (int p = 0; p < 64; ++p)
      c->content[p] = static_cast<uint8_t>(pred[(p / 8) * s_.width + p % 8] + out[p]);
    c->distortion = s_.kernels->sse8x8(c->content, 8, src, s_.width);
    const double fixed = type_bits + RateModel::DcStep(coefficients[0] - last_inter_dc_) + 8;
    c->type = BLOCK_INTER;
    c->mv = mv;
    TakeCoefficients(coefficients, q, fixed, r.coefficient_bits, c);
    Consider(*c, best);
  }
}

void BlockCoder::TryResidue(uint32_t x, uint32_t y, MotionVector mv, BlockChoice* c,
                            BlockChoice* best) {
  const uint8_t* src = s_.source + size_t{y} * s_.width + x;
  const uint8_t* pred = s_.reference + (int64_t{y} + mv.dy) * s_.width + x + mv.dx;
  int16_t by_scan[64];
  uint32_t updates = 0;
  double dropped = 0;  // the error of the values left out, which every cut keeps
  for (int k = 0; k < 64; ++k) {
    const int p = kCoefficientScan[k];
    const int32_t a = src[(p / 8) * s_.width + p % 8], b = pred[(p / 8) * s_.width + p % 8];
    // Differences wrap like the decoder's sums: -128..127 reaches every value.
    int32_t d = static_cast<int8_t>(static_cast<uint8_t>(a - b));
    if (static_cast<uint32_t>(std::abs(d)) <= s_.residue_threshold) {
      d = 0;
      dropped += (a - b) * (a - b);
    }
    by_scan[k] = static_cast<int16_t>(d);
    // Each set bit of a magnitude is one update: the first finds the value,
    // the others refine it.
    updates += static_cast<uint32_t>(std::popcount(static_cast<uint32_t>(std::abs(d))));
  }
  if (updates == 0) return;  // a motion block says the same for less
  const double fixed_bits = s_.rate->Type(BLOCK_RESIDUE) + s_.rate->Offsets(mv.dx, mv.dy) + 7;
  // The whole residue, and cut after three quarters, half and a quarter of
  // its updates (the reader stops after limit + 1 of them).
  uint32_t limits[4];
  size_t count = 0;
  for (uint32_t share : {1u, 2u, 3u, 4u}) {
    const uint32_t limit = std::min(std::max(1u, updates * share / 4) - 1, 127u);
    if (count == 0 || limits[count - 1] != limit) limits[count++] = limit;
  }
  // Each update the reader takes is a bit at least: the shortest cut loses
  // already when that and the error left out do.
  if (dropped + s_.lambda * (fixed_bits + limits[0] + 1) >= best->cost) return;
  uint32_t bits[4];
  int8_t decoded[4][64];
  TraceResidue(by_scan, limits, count, bits, decoded);
  for (size_t i = 0; i < count; ++i) {
    c->type = BLOCK_RESIDUE;
    c->mv = mv;
    std::memcpy(c->residue.by_scan, by_scan, sizeof(by_scan));
    c->residue.limit = static_cast<uint8_t>(limits[i]);
    for (int k = 0; k < 64; ++k) {
      const int p = kCoefficientScan[k];
      c->content[p] = static_cast<uint8_t>(pred[(p / 8) * s_.width + p % 8] + decoded[i][k]);
    }
    c->bits = fixed_bits + bits[i];
    c->distortion = s_.kernels->sse8x8(c->content, 8, src, s_.width);
    Consider(*c, best);
  }
}

void BlockCoder::Best(uint32_t x, uint32_t y, MotionVector mv, BlockChoice* best) {
  Target t;
  t.src = s_.source + size_t{y} * s_.width + x;
  t.pitch = s_.width;
  t.doubled = false;
  for (int r = 0; r < 8; ++r) {
    for (int k = 0; k < 8; ++k) {
      t.rounded[8 * r + k] = t.src[r * t.pitch + k];
      t.values[8 * r + k] = t.src[r * t.pitch + k];
    }
  }
  best->cost = kInfinity;
  best->scaled = false;
  BlockChoice scratch;
  const uint32_t m = s_.modes;
  if (s_.reference) {
    const uint8_t* same = s_.reference + size_t{y} * s_.width + x;
    if (m & BLOCK_MODE_SKIP) {
      scratch.type = BLOCK_SKIP;
      scratch.mv = {};
      for (int r = 0; r < 8; ++r) std::memcpy(scratch.content + 8 * r, same + r * s_.width, 8);
      scratch.distortion = s_.kernels->sse8x8(same, s_.width, t.src, t.pitch);
      scratch.bits = s_.rate->Type(BLOCK_SKIP);
      Consider(scratch, best);
      // Nothing else can beat an exact copy by much.
      if (best->distortion == 0) return;
    }
    // A motion block without motion is a skip block that marks the map:
    // only worth it when skip blocks are not allowed.
    if ((m & BLOCK_MODE_MOTION) && (!(mv == MotionVector{}) || !(m & BLOCK_MODE_SKIP))) {
      const uint8_t* moved = s_.reference + (int64_t{y} + mv.dy) * s_.width + x + mv.dx;
      scratch.type = BLOCK_MOTION;
      scratch.mv = mv;
      for (int r = 0; r < 8; ++r) std::memcpy(scratch.content + 8 * r, moved + r * s_.width, 8);
      scratch.distortion = s_.kernels->sse8x8(moved, s_.width, t.src, t.pitch);
      scratch.bits = s_.rate->Type(BLOCK_MOTION) + s_.rate->Offsets(mv.dx, mv.dy);
      Consider(scratch, best);
      if (best->distortion == 0) return;
    }
  }
  TryIntraKinds(t, &scratch, best);
  if (s_.reference) {
    // An inter block sends at least its coefficient count, quantizer and a DC step.
    const double offsets = s_.rate->Offsets(mv.dx, mv.dy);
    if ((m & BLOCK_MODE_INTER) && !Hopeless(s_.rate->Type(BLOCK_INTER) + offsets + 8.5, *best))
      TryInter(x, y, mv, &scratch, best);
    // A residue block sends at least its limit, its top bit plane and four list flags.
    if ((m & BLOCK_MODE_RESIDUE) && !Hopeless(s_.rate->Type(BLOCK_RESIDUE) + offsets + 14, *best))
      TryResidue(x, y, mv, &scratch, best);
  }
  // The allowed kinds may all have passed (a run block on many colours, an
  // inter block on an exact match): an intra block can always be made.
  if (best->cost == kInfinity) TryIntra(t, &scratch, best);
}

void BlockCoder::TryIntraKinds(const Target& t, BlockChoice* scratch, BlockChoice* best) {
  // Each kind is tried only when the least it can cost (no error, the
  // fewest bits it can take) is below the best so far.
  const uint32_t m = s_.modes;
  const double colour = s_.rate->CheapestColour();
  if ((m & BLOCK_MODE_FILL) && !Hopeless(TypeBits(t, BLOCK_FILL) + colour, *best))
    TryFill(t, scratch, best);
  if ((m & BLOCK_MODE_PATTERN) &&
      !Hopeless(TypeBits(t, BLOCK_PATTERN) + 2 * colour + 8 * s_.rate->CheapestPatternRow(), *best))
    TryPattern(t, scratch, best);
  if ((m & BLOCK_MODE_INTRA) && !Hopeless(TypeBits(t, BLOCK_INTRA) + 8.5, *best))
    TryIntra(t, scratch, best);
  if ((m & BLOCK_MODE_RUN) && !Hopeless(TypeBits(t, BLOCK_RUN) + 4 + colour, *best))
    TryRun(t, scratch, best);
  if ((m & BLOCK_MODE_RAW) && !Hopeless(TypeBits(t, BLOCK_RAW) + 64 * colour, *best))
    TryRaw(t, scratch, best);
}

bool BlockCoder::BestScaled(uint32_t x, uint32_t y, double to_beat, BlockChoice* best) {
  Target t;
  t.src = s_.source + size_t{y} * s_.width + x;
  t.pitch = s_.width;
  t.doubled = true;
  double floor_distortion = 0;
  for (int r = 0; r < 8; ++r) {
    for (int k = 0; k < 8; ++k) {
      const uint8_t* p = t.src + 2 * r * t.pitch + 2 * k;
      const int32_t a = p[0], b = p[1], c = p[t.pitch], d = p[t.pitch + 1];
      const float mean = (a + b + c + d) / 4.0f;
      t.values[8 * r + k] = mean;
      t.rounded[8 * r + k] = static_cast<uint8_t>((a + b + c + d + 2) / 4);
      for (int32_t v : {a, b, c, d}) floor_distortion += (v - mean) * (v - mean);
    }
  }
  // No content can undo the doubling: if that alone costs more, stop here.
  if (floor_distortion + s_.lambda * TypeBits(t, BLOCK_FILL) >= to_beat) return false;
  // Only what beats the four blocks matters.
  best->cost = to_beat;
  BlockChoice scratch;
  TryIntraKinds(t, &scratch, best);
  best->scaled = true;
  return best->cost < to_beat;
}

void BlockCoder::Commit(const BlockChoice& choice) {
  if (choice.type == BLOCK_INTRA) last_intra_dc_ = choice.dct.dc;
  if (choice.type == BLOCK_INTER) last_inter_dc_ = choice.dct.dc;
}

void EmitBlock(PlaneBuilder& builder, const BlockChoice& c) {
  if (c.scaled) {
    switch (c.type) {
      case BLOCK_RUN:
        builder.ScaledRun(c.run);
        break;
      case BLOCK_INTRA:
        builder.ScaledIntra(c.dct);
        break;
      case BLOCK_FILL:
        builder.ScaledFill(c.colour);
        break;
      case BLOCK_PATTERN:
        builder.ScaledPattern(c.pattern);
        break;
      case BLOCK_RAW:
        builder.ScaledRaw(c.content);
        break;
    }
    return;
  }
  switch (c.type) {
    case BLOCK_SKIP:
      builder.Skip();
      break;
    case BLOCK_MOTION:
      builder.Motion(c.mv.dx, c.mv.dy);
      break;
    case BLOCK_RUN:
      builder.Run(c.run);
      break;
    case BLOCK_RESIDUE:
      builder.Residue(c.mv.dx, c.mv.dy, c.residue);
      break;
    case BLOCK_INTRA:
      builder.Intra(c.dct);
      break;
    case BLOCK_FILL:
      builder.Fill(c.colour);
      break;
    case BLOCK_INTER:
      builder.Inter(c.mv.dx, c.mv.dy, c.dct);
      break;
    case BLOCK_PATTERN:
      builder.Pattern(c.pattern);
      break;
    case BLOCK_RAW:
      builder.Raw(c.content);
      break;
  }
}

void CountBlockValues(const BlockChoice& c, ValueCounts* n) {
  if (c.scaled) {
    n->type[BLOCK_SCALED] += 2;
    ++n->sub_type[c.type];
  } else {
    ++n->type[c.type];
  }
  switch (c.type) {
    case BLOCK_MOTION:
    case BLOCK_RESIDUE:
    case BLOCK_INTER:
      ++n->offset[std::abs(c.mv.dx)];
      ++n->offset[std::abs(c.mv.dy)];
      break;
    case BLOCK_FILL:
      ++n->colour[c.colour];
      break;
    case BLOCK_PATTERN:
      ++n->colour[c.pattern.c0];
      ++n->colour[c.pattern.c1];
      for (uint8_t row : c.pattern.rows) {
        ++n->pattern_nibble[row & 15];
        ++n->pattern_nibble[row >> 4];
      }
      break;
    case BLOCK_RAW:
      for (uint8_t v : c.content) ++n->colour[v];
      break;
    case BLOCK_RUN:
      for (const RunSegment& s : c.run.segments) {
        ++n->run[s.run];
        for (uint8_t v : s.colours) ++n->colour[v];
      }
      break;
    default:
      break;
  }
}

}  // namespace vexil
