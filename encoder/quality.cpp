#include "encoder/quality.h"

#include <algorithm>
#include <cmath>

namespace vexil {
namespace {

// The quantizer tables' scales by row.
constexpr double kScales[16] = {1, 4.0 / 3, 5.0 / 3, 2,  8.0 / 3, 3.5, 4,  5,
                                6, 8,       12,      17, 22,      28,  34, 44};

}  // namespace

QualitySettings SettingsForQuality(uint32_t quality) {
  quality = std::min(quality, 100u);
  QualitySettings s{};
  // From the finest step (1) at 100 to the coarsest table row (44) at 32,
  // evenly in the logarithm; below that only lambda grows. The default, 75,
  // lands on a step of about 4.
  s.step = std::pow(44.0, std::min(1.0, (100.0 - quality) / 68.0));
  uint32_t best = 0;
  for (uint32_t q = 1; q < 16; ++q) {
    if (std::fabs(std::log(kScales[q] / s.step)) < std::fabs(std::log(kScales[best] / s.step)))
      best = q;
  }
  s.base_quantizer = best;
  // Measured on camera-like pictures: between 0.1 and 0.3 step^2 the
  // rate-distortion curve hardly moves; above it gets worse.
  s.lambda = 0.2 * s.step * s.step * std::pow(2.0, std::max(0.0, (32.0 - quality) / 8.0));
  s.residue_threshold = static_cast<uint32_t>(s.step / 2);
  s.audio_snr_db = 6 + 0.3 * quality;
  s.audio_mask_db = s.audio_snr_db + 24;
  return s;
}

}  // namespace vexil
