// Helpers of the encoder tests: synthetic pictures, and decoding a movie
// through the engine (its open, frame reader and frame decode) back into
// pictures and PCM, to compare with what the encoder expects.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "encoder/picture.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil::test {

enum class Content { kGradient, kMovingShapes, kNoise, kGraphics, kFlat };

// Frame `t` of a synthetic sequence. Chroma follows luma loosely; alpha (when
// asked for) is a soft moving disc.
inline Picture MakePicture(Content content, uint32_t w, uint32_t h, uint32_t t,
                           bool grayscale = false, bool alpha = false) {
  Picture p;
  p.width = w;
  p.height = h;
  p.y.resize(size_t{w} * h);
  std::mt19937 rng(1234 + t);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      int v = 0;
      switch (content) {
        case Content::kGradient:
          v = static_cast<int>(40 + 150.0 * (x + 0.5 * y + 2.0 * t) / (w + 0.5 * h + 1) +
                               30 * std::sin((x + y + t) * 0.05));
          break;
        case Content::kMovingShapes: {
          const double cx = (w / 3.0 + 2.0 * t), cy = h / 2.0 + std::sin(t * 0.3) * h / 6;
          const double d = std::hypot(x - cx, y - cy);
          v = 60 + (x * 2 + y) % 40 + (d < h / 4.0 ? 120 : 0) +
              ((x + t) / 8 % 2 == 0 && y > h * 3 / 4 ? 40 : 0);
          break;
        }
        case Content::kNoise:
          v = static_cast<int>(rng() % 256);
          break;
        case Content::kGraphics:
          // Flat colours, sharp edges, a few colours only.
          v = ((x + t) / 12 % 3) * 70 + ((y / 10) % 2) * 40 + ((x * 7 + y * 3) % 29 == 0 ? 100 : 0);
          break;
        case Content::kFlat:
          v = 77;
          break;
      }
      p.y[size_t{y} * w + x] = static_cast<uint8_t>(std::clamp(v, 0, 255));
    }
  }
  if (!grayscale) {
    const uint32_t cw = p.chroma_width(), ch = p.chroma_height();
    p.cb.resize(size_t{cw} * ch);
    p.cr.resize(size_t{cw} * ch);
    for (uint32_t y = 0; y < ch; ++y) {
      for (uint32_t x = 0; x < cw; ++x) {
        const uint8_t l = p.y[size_t{std::min(2 * y, h - 1)} * w + std::min(2 * x, w - 1)];
        p.cb[size_t{y} * cw + x] =
            static_cast<uint8_t>(128 + (l - 128) / 3 + (x % 16 == 0 ? 9 : 0));
        p.cr[size_t{y} * cw + x] = static_cast<uint8_t>(255 - l / 2 - y % 7);
      }
    }
  }
  if (alpha) {
    p.alpha.resize(size_t{w} * h);
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        const double d = std::hypot(x - (w / 2.0 + t), y - h / 2.0) / (std::min(w, h) / 2.0 + 1);
        p.alpha[size_t{y} * w + x] = static_cast<uint8_t>(std::clamp(255 * (1.2 - d), 0.0, 255.0));
      }
    }
  }
  return p;
}

inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sse = 0;
  for (size_t i = 0; i < a.size(); ++i) sse += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  if (sse == 0) return 100;
  return 10 * std::log10(255.0 * 255 * double(a.size()) / sse);
}

// A movie in memory with the zero bytes memory movies carry after their data.
struct MemoryMovie {
  explicit MemoryMovie(const std::vector<uint8_t>& movie) : bytes(movie) {
    bytes.resize(movie.size() + 1024, 0);
    handle = Open(test::TestEngine(), MovieSource::Memory(bytes.data(), movie.size()),
                  OPEN_MEMORY | OPEN_ALPHA);
  }
  ~MemoryMovie() {
    if (handle) Close(handle);
  }
  std::vector<uint8_t> bytes;
  MovieHandle* handle = nullptr;
};

// Every frame's visible picture as the engine decodes it (Cb and Cr by
// meaning: the chroma planes exchanged for revisions f and g).
inline std::vector<Picture> DecodePictures(const std::vector<uint8_t>& movie_bytes) {
  std::vector<Picture> out;
  MemoryMovie movie(movie_bytes);
  MovieHandle* m = movie.handle;
  if (!m || !m->video.planes) return out;
  for (uint32_t n = 1; n <= m->container.frame_count; ++n) {
    if (n > 1) Advance(m);
    StartBackgroundDecode(m);
    while (!WaitForBackgroundDecode(m)) {
    }
    const FrameBufferRecord& f = *m->video.planes;
    const PlaneSet& set = f.sets[f.current_index.load()];
    Picture p;
    p.width = m->container.file_width;
    p.height = m->container.file_height;
    auto copy = [](const PlaneEntry& e, uint32_t w, uint32_t h) {
      std::vector<uint8_t> v(size_t{w} * h);
      for (uint32_t y = 0; y < h; ++y)
        std::memcpy(&v[size_t{y} * w], e.samples + size_t{y} * e.pitch, w);
      return v;
    };
    p.y = copy(set.plane[PLANE_LUMA], p.width, p.height);
    if (!(m->container.header_flags & HEADER_GRAYSCALE)) {
      const bool swap = m->open_flags & OPEN_SWAP_CHROMA;
      p.cb = copy(set.plane[swap ? PLANE_CHROMA_A : PLANE_CHROMA_B], p.chroma_width(),
                  p.chroma_height());
      p.cr = copy(set.plane[swap ? PLANE_CHROMA_B : PLANE_CHROMA_A], p.chroma_width(),
                  p.chroma_height());
    }
    if (set.plane[PLANE_ALPHA].present) p.alpha = copy(set.plane[PLANE_ALPHA], p.width, p.height);
    out.push_back(std::move(p));
  }
  return out;
}

// The PCM of the movie's first track, every part's yield in order.
inline std::vector<int16_t> DecodeTrack(const std::vector<uint8_t>& movie_bytes) {
  std::vector<int16_t> pcm;
  MemoryMovie movie(movie_bytes);
  MovieHandle* m = movie.handle;
  if (!m || m->container.track_count == 0) return pcm;
  const uint32_t format = m->container.track_formats[0];
  AudioDecoder* decoder =
      AudioDecoderOpen(format & TRACK_RATE_MASK, (format & TRACK_STEREO) ? 2 : 1,
                       (format & TRACK_RDFT) ? 0 : AUDIO_DCT);
  for (uint32_t n = 1; n <= m->container.frame_count; ++n) {
    if (n > 1) Advance(m);
    AudioPart part;
    if (!FindAudioPart(m->reader.frame_data, m->reader.frame_bytes, m->container.track_count, 0,
                       &part))
      continue;
    AudioPartOutput output;
    output.context = &pcm;
    output.take = [](void* context, const uint8_t* bytes, uint32_t count) {
      auto* out = static_cast<std::vector<int16_t>*>(context);
      const size_t at = out->size();
      out->resize(at + count / 2);
      std::memcpy(out->data() + at, bytes, count);
    };
    DecodeAudioPart(decoder, part, output);
  }
  AudioDecoderClose(decoder);
  return pcm;
}

}  // namespace vexil::test
