// The demo's sound track: a short loop of music made from simple waves (pad
// chords, a bass line, an arpeggio, a drum kit), so the audio coders have
// tones, transients and noise to work on.
#pragma once

#include <cstdint>
#include <vector>

namespace vexil::tools {

// `seconds` of stereo 16-bit samples (interleaved) at `rate` Hz.
std::vector<int16_t> DemoMusic(uint32_t rate, double seconds);

}  // namespace vexil::tools
