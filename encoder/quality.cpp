#include "encoder/quality.h"

#include <algorithm>
#include <cmath>

namespace vexil {
namespace {

// The quantizer tables' scales by row.
constexpr double kScales[16] = {1, 4.0 / 3, 5.0 / 3, 2,  8.0 / 3, 3.5, 4,  5,
                                6, 8,       12,      17, 22,      28,  34, 44};
// How far the rows a block may use reach from the step, as scale ratios.
constexpr double kFinerRows = 1.5;
constexpr double kCoarserRows = 2;

}  // namespace

QualitySettings SettingsForQuality(uint32_t quality) {
  quality = std::min(quality, 100u);
  QualitySettings s{};
  // From the finest step (1) at 100 to the coarsest table row (44) at 32,
  // evenly in the logarithm; below that only lambda grows. The default, 75,
  // lands on a step of about 4.
  s.step = std::pow(44.0, std::min(1.0, (100.0 - quality) / 68.0));
  // The rows from 1.5 times finer to 2 times coarser than the step (and the
  // nearest in any case). As the step falls, a row joins or leaves only at
  // these far edges, where blocks seldom choose it. A set that moved a whole
  // row whenever the step crossed the midpoint between two rows dropped the
  // coarser row the lambda still favoured; blocks then fell back to cheaper,
  // worse kinds, and a higher quality gave a lower PSNR.
  uint32_t nearest = 0;
  for (uint32_t q = 1; q < 16; ++q) {
    if (std::fabs(std::log(kScales[q] / s.step)) < std::fabs(std::log(kScales[nearest] / s.step)))
      nearest = q;
  }
  s.finest_quantizer = s.coarsest_quantizer = nearest;
  while (s.finest_quantizer > 0 && kScales[s.finest_quantizer - 1] * kFinerRows >= s.step)
    --s.finest_quantizer;
  while (s.coarsest_quantizer < 15 && kScales[s.coarsest_quantizer + 1] <= s.step * kCoarserRows)
    ++s.coarsest_quantizer;
  // Measured on camera-like pictures: between 0.1 and 0.3 step^2 the
  // rate-distortion curve hardly moves; above it gets worse.
  s.lambda = 0.2 * s.step * s.step * std::pow(2.0, std::max(0.0, (32.0 - quality) / 8.0));
  s.residue_threshold = static_cast<uint32_t>(s.step / 2);
  s.audio_snr_db = 6 + 0.3 * quality;
  s.audio_mask_db = s.audio_snr_db + 24;
  return s;
}

}  // namespace vexil
