// A movie handle with planes the test fills itself: a tiny movie written in
// memory and opened, whose decoded planes are then written directly.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "display/conversion/conversion_test_util.h"
#include "encoder/movie_writer.h"
#include "engine/container.h"
#include "engine/copy_frame.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "video/frame_buffers.h"

namespace vexil::test {

struct TestMovieOptions {
  uint32_t width = 16;
  uint32_t height = 8;
  bool alpha = false;
  uint32_t display_option = DISPLAY_NONE;  // bits 28-30 of the open flags
  uint32_t extra_open_flags = 0;
  uint32_t frames = 2;
};

class TestMovie {
 public:
  explicit TestMovie(const TestMovieOptions& o = {}) : options_(o) {
    MovieWriter writer('i', o.width, o.height, 25, 1, o.alpha ? HEADER_ALPHA : 0);
    for (uint32_t i = 0; i < o.frames; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(16, 0));
    bytes_ = writer.Finish();
    bytes_.resize(bytes_.size() + 1024, 0);
    movie_ = Open(
        test::TestEngine(), MovieSource::Memory(bytes_.data(), bytes_.size()),
        OPEN_MEMORY | (o.alpha ? OPEN_ALPHA : 0) | (o.display_option << 28) | o.extra_open_flags);
  }
  ~TestMovie() { Close(movie_); }
  TestMovie(const TestMovie&) = delete;
  TestMovie& operator=(const TestMovie&) = delete;

  MovieHandle* get() const { return movie_; }
  MovieHandle* operator->() const { return movie_; }
  PlaneSet& planes() const {
    return movie_->video.planes->sets[movie_->video.planes->current_index & 1];
  }
  uint32_t width() const { return options_.width; }
  uint32_t height() const { return options_.height; }

  uint8_t& Luma(uint32_t x, uint32_t y) const { return At(PLANE_LUMA, x, y); }
  uint8_t& Alpha(uint32_t x, uint32_t y) const { return At(PLANE_ALPHA, x, y); }
  uint8_t& ChromaA(uint32_t x, uint32_t y) const { return At(PLANE_CHROMA_A, x, y); }  // Cr
  uint8_t& ChromaB(uint32_t x, uint32_t y) const { return At(PLANE_CHROMA_B, x, y); }  // Cb

  // Every sample of the visible area set to one value (chroma on its half grid).
  void FillConstant(uint8_t y, uint8_t cb, uint8_t cr, uint8_t a = 255) const {
    for (uint32_t r = 0; r < height(); ++r)
      for (uint32_t c = 0; c < width(); ++c) {
        Luma(c, r) = y;
        if (options_.alpha) Alpha(c, r) = a;
      }
    for (uint32_t r = 0; r < (height() + 1) / 2; ++r)
      for (uint32_t c = 0; c < (width() + 1) / 2; ++c) ChromaB(c, r) = cb, ChromaA(c, r) = cr;
  }

  // Whole planes, padding included, filled with random samples.
  void FillRandom(std::mt19937& rng) const {
    const FrameBufferRecord& f = *movie_->video.planes;
    for (int p = 0; p < PLANE_COUNT; ++p) {
      const PlaneEntry& e = planes().plane[p];
      if (!e.samples) continue;
      const uint32_t rows =
          p == PLANE_CHROMA_A || p == PLANE_CHROMA_B ? f.chroma_height : f.luma_height;
      for (uint32_t i = 0; i < e.pitch * rows; ++i) e.samples[i] = static_cast<uint8_t>(rng());
    }
  }

 private:
  uint8_t& At(int plane, uint32_t x, uint32_t y) const {
    const PlaneEntry& e = planes().plane[plane];
    return e.samples[y * e.pitch + x];
  }
  TestMovieOptions options_;
  std::vector<uint8_t> bytes_;
  MovieHandle* movie_;
};

// Every 32-bit pixel of the first n written (its top byte is 0, the fill is not).
inline bool Written32(const Destination& d, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i)
    if (d[4 * i + 3] != 0) return false;
  return true;
}

}  // namespace vexil::test
