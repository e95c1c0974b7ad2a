#include "tools/synth_pictures.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/bitmap_font.h"

namespace vexil::tools {
namespace {

struct Rgb {
  double r = 0, g = 0, b = 0;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Hue 0..1 at full saturation, scaled by `v`.
Rgb Hue(double h, double v) {
  h -= std::floor(h);
  const double k = h * 6;
  const int i = static_cast<int>(k);
  const double f = k - i;
  switch (i % 6) {
    case 0:
      return {v, v * f, 0};
    case 1:
      return {v * (1 - f), v, 0};
    case 2:
      return {0, v, v * f};
    case 3:
      return {0, v * (1 - f), v};
    case 4:
      return {v * f, 0, v};
    default:
      return {v, 0, v * (1 - f)};
  }
}

class Canvas {
 public:
  Canvas(uint32_t w, uint32_t h) : w_(w), h_(h), px_(size_t{w} * h) {}

  Rgb& at(uint32_t x, uint32_t y) { return px_[size_t{y} * w_ + x]; }
  uint32_t width() const { return w_; }
  uint32_t height() const { return h_; }

  // A shaded ball with a soft edge.
  void Ball(double cx, double cy, double radius, const Rgb& colour) {
    const int x0 = std::max(0, static_cast<int>(cx - radius - 2));
    const int x1 = std::min<int>(w_ - 1, static_cast<int>(cx + radius + 2));
    const int y0 = std::max(0, static_cast<int>(cy - radius - 2));
    const int y1 = std::min<int>(h_ - 1, static_cast<int>(cy + radius + 2));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        const double dx = (x + 0.5 - cx) / radius, dy = (y + 0.5 - cy) / radius;
        const double d = std::sqrt(dx * dx + dy * dy);
        const double cover = std::clamp((1 - d) * radius, 0.0, 1.0);
        if (cover <= 0) continue;
        // Light from the upper left, a highlight near it.
        const double light = 0.45 + 0.55 * std::max(0.0, 1 - std::hypot(dx + 0.4, dy + 0.45));
        const double spot = std::pow(std::max(0.0, 1 - std::hypot(dx + 0.35, dy + 0.4) * 2.5), 3);
        Rgb shaded{colour.r * light + spot, colour.g * light + spot, colour.b * light + spot};
        at(x, y) = Mix(at(x, y), shaded, cover);
      }
    }
  }

  // Text in the bitmap font, each font pixel a scale x scale square, with a
  // drop shadow. (x, y) is the top left corner.
  void Text(const std::string& text, double x, double y, int scale, const Rgb& colour,
            bool shadow = true) {
    for (int pass = shadow ? 0 : 1; pass < 2; ++pass) {
      const int offset = pass == 0 ? std::max(1, scale / 3) : 0;
      const Rgb c = pass == 0 ? Rgb{0.02, 0.02, 0.08} : colour;
      for (size_t i = 0; i < text.size(); ++i) {
        const double gx = x + static_cast<double>(i) * (kGlyphWidth + 1) * scale;
        for (int row = 0; row < kGlyphHeight; ++row) {
          const uint8_t bits = GlyphRow(text[i], row);
          for (int col = 0; col < kGlyphWidth; ++col) {
            if (!(bits >> (kGlyphWidth - 1 - col) & 1)) continue;
            for (int sy = 0; sy < scale; ++sy) {
              for (int sx = 0; sx < scale; ++sx) {
                const long px = std::lround(gx + col * scale + sx) + offset;
                const long py = std::lround(y + row * scale + sy) + offset;
                if (px >= 0 && py >= 0 && px < long(w_) && py < long(h_)) at(px, py) = c;
              }
            }
          }
        }
      }
    }
  }

  static double TextWidth(const std::string& text, int scale) {
    return (static_cast<double>(text.size()) * (kGlyphWidth + 1) - 1) * scale;
  }

  // Full-range BT.601 YCbCr, colour planes as 2x2 means.
  Picture ToPicture() const {
    Picture p;
    p.width = w_;
    p.height = h_;
    p.y.resize(size_t{w_} * h_);
    const uint32_t cw = p.chroma_width(), ch = p.chroma_height();
    p.cb.assign(size_t{cw} * ch, 0);
    p.cr.assign(size_t{cw} * ch, 0);
    std::vector<double> cb(size_t{cw} * ch, 0), cr(size_t{cw} * ch, 0), n(size_t{cw} * ch, 0);
    for (uint32_t y = 0; y < h_; ++y) {
      for (uint32_t x = 0; x < w_; ++x) {
        const Rgb& c = px_[size_t{y} * w_ + x];
        const double r = std::clamp(c.r, 0.0, 1.0) * 255, g = std::clamp(c.g, 0.0, 1.0) * 255,
                     b = std::clamp(c.b, 0.0, 1.0) * 255;
        p.y[size_t{y} * w_ + x] =
            static_cast<uint8_t>(std::lround(0.299 * r + 0.587 * g + 0.114 * b));
        const size_t k = size_t{y / 2} * cw + x / 2;
        cb[k] += 128 - 0.168736 * r - 0.331264 * g + 0.5 * b;
        cr[k] += 128 + 0.5 * r - 0.418688 * g - 0.081312 * b;
        n[k] += 1;
      }
    }
    for (size_t k = 0; k < cb.size(); ++k) {
      p.cb[k] = static_cast<uint8_t>(std::clamp(std::lround(cb[k] / n[k]), 0L, 255L));
      p.cr[k] = static_cast<uint8_t>(std::clamp(std::lround(cr[k] / n[k]), 0L, 255L));
    }
    return p;
  }

 private:
  uint32_t w_, h_;
  std::vector<Rgb> px_;
};

}  // namespace

Picture DemoFrame(uint32_t width, uint32_t height, uint32_t frame, uint32_t fps) {
  Canvas c(width, height);
  const double t = double(frame) / fps;
  const double w = width, h = height;
  const double horizon = h * 0.62;

  // Sky: a gradient whose colours drift slowly round the hue circle.
  const Rgb top = Hue(0.62 + 0.05 * std::sin(t * 0.4), 0.35);
  const Rgb low = Hue(0.08 + 0.04 * t, 0.95);
  for (uint32_t y = 0; y < height; ++y) {
    const Rgb sky = Mix(top, low, std::pow(std::min(1.0, y / horizon), 1.6));
    for (uint32_t x = 0; x < width; ++x) c.at(x, y) = sky;
  }
  // The sun, rising, with a glow.
  const double sun_x = w * 0.72, sun_y = horizon - h * 0.08 - t * h * 0.02;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double d = std::hypot(x - sun_x, y - sun_y) / (h * 0.1);
      const double glow = d < 1 ? 1 : std::exp(-(d - 1) * 1.5) * 0.6;
      Rgb& p = c.at(x, y);
      p = Mix(p, {1.0, 0.9, 0.6}, std::min(1.0, glow));
    }
  }
  // Two ranges of hills, the nearer one scrolling faster.
  for (int range = 0; range < 2; ++range) {
    const double speed = range ? 48 : 16, base = range ? horizon + h * 0.04 : horizon - h * 0.02;
    const Rgb colour = range ? Rgb{0.16, 0.42, 0.2} : Rgb{0.3, 0.36, 0.52};
    for (uint32_t x = 0; x < width; ++x) {
      const double u = (x + t * speed) / w;
      const double top_y = base - h * (0.07 + 0.05 * std::sin(u * 7.1 + range) +
                                       0.03 * std::sin(u * 17.3 + 2 * range));
      for (uint32_t y = static_cast<uint32_t>(std::max(0.0, top_y)); y < height; ++y) {
        const double shade = 1 - 0.35 * (y - top_y) / h;
        c.at(x, y) = {colour.r * shade, colour.g * shade, colour.b * shade};
      }
    }
  }
  // A checkered ground rushing towards the viewer.
  const double ground = horizon + h * 0.12;
  for (uint32_t y = static_cast<uint32_t>(ground); y < height; ++y) {
    const double depth = (y - ground + 1) / (h - ground + 1);
    const double z = 1 / (depth + 0.08);
    for (uint32_t x = 0; x < width; ++x) {
      const double gx = (x - w / 2) * z / w * 6, gz = z * 2 + t * 6;
      const bool light = (static_cast<int>(std::floor(gx)) + static_cast<int>(std::floor(gz))) & 1;
      const double fade = std::min(1.0, depth * 3);
      c.at(x, y) = Mix({0.2, 0.3, 0.25}, light ? Rgb{0.85, 0.8, 0.6} : Rgb{0.25, 0.45, 0.3}, fade);
    }
  }
  // Balls bouncing on the beat, each a little behind the last.
  const Rgb colours[4] = {{0.95, 0.2, 0.2}, {0.2, 0.55, 1.0}, {1.0, 0.8, 0.1}, {0.7, 0.3, 0.95}};
  for (int i = 0; i < 4; ++i) {
    const double phase = std::fmod(t / kDemoBeatSeconds + i * 0.25, 1.0);
    const double lift = 4 * phase * (1 - phase);
    const double radius = h * (0.05 + 0.012 * i);
    const double x = w * (0.15 + 0.22 * i) + std::sin(t * 0.9 + i) * w * 0.05;
    const double floor_y = h * 0.93 - radius;
    const double y = floor_y - lift * h * 0.35;
    // The shadow stays on the ground and shrinks as the ball rises.
    for (int dy = -3; dy <= 3; ++dy) {
      for (int dx = static_cast<int>(-radius); dx <= radius; ++dx) {
        const double spread = (1 - 0.5 * lift);
        if (std::hypot(dx / (radius * spread), dy / 3.0) > 1) continue;
        const long px = std::lround(x + dx), py = std::lround(h * 0.93 + dy);
        if (px >= 0 && py >= 0 && px < long(width) && py < long(height)) {
          Rgb& p = c.at(px, py);
          p = Mix(p, {0, 0, 0}, 0.4);
        }
      }
    }
    c.Ball(x, y, radius, colours[i]);
  }
  // The title slides in and pulses with the beat.
  const int scale = std::max(2, static_cast<int>(h / 40));
  const std::string title = "VEXIL";
  const double slide = std::max(0.0, 1 - t / 1.5);
  const double tx = (w - Canvas::TextWidth(title, scale)) / 2 - slide * slide * w;
  const double beat = std::exp(-std::fmod(t, kDemoBeatSeconds) * 6);
  c.Text(title, tx, h * 0.08, scale, Mix({1, 1, 1}, {1, 0.85, 0.3}, beat));
  const std::string sub = "MOVIE PLAYER DEMO";
  const int small = std::max(1, scale / 3);
  c.Text(sub, (w - Canvas::TextWidth(sub, small)) / 2, h * 0.08 + 9 * scale, small, {0.9, 0.95, 1});
  return c.ToPicture();
}

Picture ClosingPicture() {
  Canvas c(kClosingWidth, kClosingHeight);
  const double w = kClosingWidth, h = kClosingHeight;
  for (uint32_t y = 0; y < kClosingHeight; ++y) {
    for (uint32_t x = 0; x < kClosingWidth; ++x) {
      // Deep blue, lighter towards the middle, with faint diagonal bands.
      const double d = std::hypot(x - w / 2, y - h * 0.4) / h;
      const double band = 0.03 * std::sin((x + y) * 0.15);
      c.at(x, y) = Mix({0.12, 0.2, 0.5}, {0.01, 0.02, 0.12}, std::min(1.0, d * 1.6 + band));
    }
  }
  c.Ball(w / 2, h * 0.16, 14, {1.0, 0.75, 0.15});
  const std::string name = "VEXIL";
  c.Text(name, (w - Canvas::TextWidth(name, 6)) / 2, h * 0.3, 6, {1, 1, 1});
  const std::string player = "PLAYER";
  c.Text(player, (w - Canvas::TextWidth(player, 3)) / 2, h * 0.3 + 50, 3, {1.0, 0.8, 0.3});
  const std::string thanks = "THANK YOU";
  c.Text(thanks, (w - Canvas::TextWidth(thanks, 3)) / 2, h * 0.68, 3, {0.85, 0.9, 1});
  const std::string more = "CLICK FOR MORE";
  c.Text(more, (w - Canvas::TextWidth(more, 2)) / 2, h * 0.68 + 32, 2, {0.6, 0.75, 1});
  return c.ToPicture();
}

}  // namespace vexil::tools
