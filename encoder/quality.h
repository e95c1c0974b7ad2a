// What --quality (0 worst .. 100 best) means to the coders: a target step
// size that picks the quantizer rows blocks may use, the rate-distortion
// lambda, the residue dead zone and the audio noise target.
#pragma once

#include <cstdint>

namespace vexil {

constexpr uint32_t kDefaultQuality = 75;

struct QualitySettings {
  double step;  // target quantizer step in sample units
  // The table rows transform blocks choose from by rate-distortion cost:
  // every row whose scale lies near the step.
  uint32_t finest_quantizer;
  uint32_t coarsest_quantizer;
  double lambda;               // squared error per bit
  uint32_t residue_threshold;  // residue differences up to this are dropped
  double audio_snr_db;         // noise target below each band's power
  double audio_mask_db;        // noise allowed below the loudest band
};

// Qualities above 100 count as 100.
QualitySettings SettingsForQuality(uint32_t quality);

}  // namespace vexil
