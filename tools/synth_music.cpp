#include "tools/synth_music.h"

#include <cmath>

#include "tools/synth_pictures.h"

namespace vexil::tools {
namespace {

double NoteHz(int midi) {
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

double Triangle(double phase) {
  const double f = phase - std::floor(phase);
  return 4 * std::fabs(f - 0.5) - 1;
}

// A reproducible noise source (the same music on every machine).
class Noise {
 public:
  double Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) / double(1 << 24) * 2 - 1;
  }

 private:
  uint32_t state_ = 12345;
};

}  // namespace

std::vector<int16_t> DemoMusic(uint32_t rate, double seconds) {
  // One bar per chord, four beats to the bar: C, A minor, F, G.
  static const int kChords[4][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
  static const int kRoots[4] = {36, 33, 41, 43};
  const double beat = kDemoBeatSeconds, bar = 4 * beat, eighth = beat / 2, sixteenth = beat / 4;
  const size_t frames = static_cast<size_t>(seconds * rate);
  std::vector<int16_t> out(frames * 2);
  Noise noise;
  double last_noise = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    const int chord = static_cast<int>(t / bar) % 4;
    const double in_bar = std::fmod(t, bar), in_beat = std::fmod(t, beat);
    const double in_eighth = std::fmod(t, eighth), in_sixteenth = std::fmod(t, sixteenth);
    double left = 0, right = 0;

    // Pad: three detuned triangles, swelling at each bar.
    const double swell = std::min(1.0, in_bar / 0.3) * (1 - 0.5 * in_bar / bar);
    for (int k = 0; k < 3; ++k) {
      const double hz = NoteHz(kChords[chord][k]);
      left += 0.07 * swell * Triangle(t * hz * 0.999);
      right += 0.07 * swell * Triangle(t * hz * 1.001);
    }
    // Bass on the eighths.
    const double bass_hz = NoteHz(kRoots[chord]);
    const double bass =
        (std::sin(2 * M_PI * bass_hz * t) + 0.3 * std::sin(6 * M_PI * bass_hz * t)) *
        std::exp(-in_eighth * 6) * 0.22;
    left += bass;
    right += bass;
    // Arpeggio on the sixteenths, up an octave, swinging from side to side.
    const int step = static_cast<int>(t / sixteenth);
    static const int kPattern[4] = {0, 1, 2, 1};
    const double arp_hz = NoteHz(kChords[chord][kPattern[step % 4]] + 12);
    const double arp = (std::sin(2 * M_PI * arp_hz * t) + 0.25 * std::sin(4 * M_PI * arp_hz * t)) *
                       std::exp(-in_sixteenth * 14) * 0.12;
    const double pan = 0.5 + 0.4 * std::sin(t * 2.1);
    left += arp * (1 - pan) * 2;
    right += arp * pan * 2;
    // Drums: kick on beats 1 and 3, snare on 2 and 4, closed hats on the eighths.
    const int beat_index = static_cast<int>(t / beat) % 4;
    const double n = noise.Next();
    if (beat_index % 2 == 0) {
      // A falling sine: the phase of 150 Hz falling to 45 Hz.
      const double sweep = 45 * in_beat + (105 / 12.0) * (1 - std::exp(-12 * in_beat));
      const double kick = std::sin(2 * M_PI * sweep) * std::exp(-in_beat * 9) * 0.55;
      left += kick;
      right += kick;
    } else {
      const double snare =
          (n * 0.25 + std::sin(2 * M_PI * 190 * in_beat) * 0.15) * std::exp(-in_beat * 18);
      left += snare;
      right += snare;
    }
    const double hat = (n - last_noise) * 0.06 * std::exp(-in_eighth * 60);
    last_noise = n;
    left += hat * 0.8;
    right += hat;

    out[2 * i] = static_cast<int16_t>(std::lround(std::tanh(left) * 26000));
    out[2 * i + 1] = static_cast<int16_t>(std::lround(std::tanh(right) * 26000));
  }
  return out;
}

}  // namespace vexil::tools
