// The synthetic clip the encoder and whole-movie benchmarks code: a camera
// pan over a textured scene with moving objects and sensor noise, the same
// frames in every run.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "encoder/picture.h"

namespace vexil {

// Frame t of the scene: a panning, gently zooming texture of soft shapes and
// fine detail, two moving discs, and noise of about 2 levels. The colour is
// smooth, unless `colour_detail` gives it texture and noise of its own (then
// the colour planes cost a share of the decoding as camera pictures' do).
inline Picture SceneFrame(uint32_t w, uint32_t h, uint32_t t, bool colour_detail = false) {
  Picture p;
  p.width = w;
  p.height = h;
  p.y.resize(size_t{w} * h);
  p.cb.resize(size_t{p.chroma_width()} * p.chroma_height());
  p.cr.resize(p.cb.size());
  std::mt19937 rng(t);
  std::normal_distribution<double> noise(0, 2);
  const double pan = 3.0 * t, zoom = 1 + 0.002 * t;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const double u = (x + pan) / zoom, v = (y + 0.5 * pan) / zoom;
      double l = 110 + 50 * std::sin(u * 0.021) * std::cos(v * 0.017) +
                 25 * std::sin(u * 0.11 + v * 0.07) + 12 * std::sin(u * 0.5) * std::sin(v * 0.45);
      for (int k = 0; k < 2; ++k) {
        const double cx = w * (0.3 + 0.4 * k) + 40 * std::sin(t * 0.1 + k),
                     cy = h * 0.5 + 60 * std::cos(t * 0.07 + 2 * k);
        if (std::hypot(x - cx, y - cy) < 50 + 10 * k) l = 200 - 80 * k + 0.2 * (x - cx);
      }
      p.y[size_t{y} * w + x] = static_cast<uint8_t>(std::clamp(l + noise(rng), 0.0, 255.0));
    }
  }
  for (uint32_t y = 0; y < p.chroma_height(); ++y) {
    for (uint32_t x = 0; x < p.chroma_width(); ++x) {
      const double u = (2 * x + pan) / zoom, v = (2 * y + 0.5 * pan) / zoom;
      double cb = 128 + 30 * std::sin(u * 0.013), cr = 128 + 25 * std::cos(v * 0.011);
      if (colour_detail) {
        cb += 14 * std::sin(u * 0.09 - v * 0.05) + 6 * std::sin(u * 0.4) * std::cos(v * 0.37) +
              noise(rng);
        cr += 12 * std::cos(u * 0.07 + v * 0.12) + 6 * std::cos(u * 0.33) * std::sin(v * 0.5) +
              noise(rng);
      }
      p.cb[size_t{y} * p.chroma_width() + x] = static_cast<uint8_t>(std::clamp(cb, 0.0, 255.0));
      p.cr[size_t{y} * p.chroma_width() + x] = static_cast<uint8_t>(std::clamp(cr, 0.0, 255.0));
    }
  }
  return p;
}

}  // namespace vexil
