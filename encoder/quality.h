// What --quality (0 worst .. 100 best) means to the coders: a target step
// size that picks the base quantizer, the rate-distortion lambda, the residue
// dead zone and the audio noise target.
#pragma once

#include <cstdint>

namespace vexil {

constexpr uint32_t kDefaultQuality = 75;

struct QualitySettings {
  double step;                 // target quantizer step in sample units
  uint32_t base_quantizer;     // the table row whose scale is nearest the step
  double lambda;               // squared error per bit
  uint32_t residue_threshold;  // residue differences up to this are dropped
  double audio_snr_db;         // noise target below each band's power
  double audio_mask_db;        // noise allowed below the loudest band
};

// Qualities above 100 count as 100.
QualitySettings SettingsForQuality(uint32_t quality);

}  // namespace vexil
