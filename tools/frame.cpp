// vexil frame MOVIE N -o OUT.png|OUT.raw [--format CODE]: frame N converted by
// CopyToBuffer into a fresh buffer of the handle's size, written as an RGB
// PNG, or with a .raw name the destination buffer itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "display/copy.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/engine.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/png_file.h"
#include "platform/timer.h"
#include "tools/commands.h"

namespace vexil::tools {
namespace {

struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes per pixel
};

bool EndsWith(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// The destination laid out as the copy writes it: rows at a pitch rounded up
// to 4 bytes; YV12 adds the V and U planes at half pitch below an even
// number of luma rows. Filled with black for the format first, so rows an
// interlaced mode leaves alone are black.
struct Buffer {
  uint32_t format, width, height, rows;
  int32_t pitch;
  std::vector<uint8_t> bytes;

  Buffer(uint32_t f, uint32_t w, uint32_t h)
      : format(f), width(w), height(h), rows(f == PIXFMT_YV12 ? (h + 1) & ~1u : h) {
    pitch = static_cast<int32_t>((uint64_t{w} * PixelFormatBytes(f) + 3) & ~uint64_t{3});
    const size_t luma = size_t(pitch) * rows;
    const size_t chroma = f == PIXFMT_YV12 ? 2 * size_t(pitch / 2) * (rows / 2) : 0;
    bytes.assign(luma + chroma, 0);
    if (f == PIXFMT_YV12) {
      std::memset(bytes.data(), 16, luma);
      std::memset(bytes.data() + luma, 128, chroma);
    } else if (f == PIXFMT_YUY2 || f == PIXFMT_UYVY) {
      const size_t luma_byte = f == PIXFMT_YUY2 ? 0 : 1;
      for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (i & 1) == luma_byte ? 16 : 128;
    }
  }
};

uint8_t Clamp8(double v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
}

// Studio-range YCbCr to RGB, only to look at YUV destinations.
void YuvToRgb(int y, int cb, int cr, uint8_t* out) {
  const double l = 1.1644 * (y - 16);
  out[0] = Clamp8(l + 1.5960 * (cr - 128));
  out[1] = Clamp8(l - 0.3918 * (cb - 128) - 0.8130 * (cr - 128));
  out[2] = Clamp8(l + 2.0172 * (cb - 128));
}

// A field of `bits` bits at `pos` scaled to 0..255.
uint8_t Field(uint32_t word, uint32_t pos, uint32_t bits) {
  const uint32_t max = (1u << bits) - 1;
  return static_cast<uint8_t>(((word >> pos) & max) * 255 / max);
}

Picture ToRgb(const Buffer& b) {
  Picture p;
  p.width = b.width;
  p.height = b.height;
  p.rgb.resize(size_t{b.width} * b.height * 3);
  // 16-bit layouts: red, green, blue position and width.
  static const uint32_t k16[6][6] = {{8, 4, 4, 4, 0, 4},  {10, 5, 5, 5, 0, 5}, {10, 5, 5, 5, 0, 5},
                                     {11, 5, 5, 6, 0, 5}, {10, 6, 5, 5, 0, 5}, {10, 6, 4, 6, 0, 4}};
  for (uint32_t y = 0; y < b.height; ++y) {
    const uint8_t* row = b.bytes.data() + size_t(b.pitch) * y;
    for (uint32_t x = 0; x < b.width; ++x) {
      uint8_t* out = &p.rgb[(size_t{y} * b.width + x) * 3];
      switch (b.format) {
        case PIXFMT_8:
          out[0] = Field(row[x], 0, 3), out[1] = Field(row[x], 3, 3), out[2] = Field(row[x], 6, 2);
          break;
        case PIXFMT_24:
        case PIXFMT_32:
        case PIXFMT_32A: {
          const uint8_t* px = row + x * PixelFormatBytes(b.format);
          out[0] = px[2], out[1] = px[1], out[2] = px[0];
          break;
        }
        case PIXFMT_24R:
        case PIXFMT_32R:
        case PIXFMT_32RA:
          std::memcpy(out, row + x * PixelFormatBytes(b.format), 3);
          break;
        case PIXFMT_YUY2:
        case PIXFMT_UYVY: {
          const uint8_t* unit = row + (x & ~1u) * 2;
          const bool yuy2 = b.format == PIXFMT_YUY2;
          const int luma = yuy2 ? unit[(x & 1) * 2] : unit[1 + (x & 1) * 2];
          // A lone last pixel's unit holds only Y and Cb.
          const bool lone = (x & 1) == 0 && x + 1 == b.width;
          const int cb = yuy2 ? unit[1] : unit[0];
          const int cr = lone ? 128 : (yuy2 ? unit[3] : unit[2]);
          YuvToRgb(luma, cb, cr, out);
          break;
        }
        case PIXFMT_YV12: {
          const size_t half = size_t(b.pitch / 2);
          const uint8_t* v = b.bytes.data() + size_t(b.pitch) * b.rows;
          const uint8_t* u = v + half * (b.rows / 2);
          const size_t c = (y / 2) * half + x / 2;
          YuvToRgb(row[x], u[c], v[c], out);
          break;
        }
        default: {
          uint16_t w;
          std::memcpy(&w, row + x * 2, 2);
          const uint32_t* f = k16[b.format - PIXFMT_4444];
          out[0] = Field(w, f[0], f[1]), out[1] = Field(w, f[2], f[3]),
          out[2] = Field(w, f[4], f[5]);
        }
      }
    }
  }
  return p;
}

bool WritePng(const std::string& path, const Picture& p) {
  return platform::WritePngRgb(path, p.width, p.height, p.rgb.data());
}

bool WriteRaw(const std::string& path, const Buffer& b) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(b.bytes.data(), 1, b.bytes.size(), file) == b.bytes.size();
  return std::fclose(file) == 0 && ok;
}

// Decodes frames 1 to n on the calling thread (no decode thread runs, so
// each frame is finished at once). Starting at the nearest key frame would be
// faster, but a frame marked as key may still keep blocks of the frame before.
void DecodeThrough(MovieHandle* movie, uint32_t n) {
  for (uint32_t k = 1; k <= n; ++k) {
    FetchFrame(movie, k);
    if (StartBackgroundDecode(movie)) {
      while (!WaitForBackgroundDecode(movie)) {
      }
    }
  }
}

int Usage() {
  std::fprintf(stderr, "usage: vexil frame MOVIE N -o OUT.png|OUT.raw [--format CODE]\n");
  return 2;
}

int RunFrame(int argc, char** argv) {
  std::vector<std::string> positional;
  std::string out;
  long format = PIXFMT_32;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) {
      out = argv[++i];
    } else if (a == "--format" && i + 1 < argc) {
      char* end = nullptr;
      format = std::strtol(argv[++i], &end, 0);
      if (*end || format < 0 || format >= static_cast<long>(PIXFMT_COUNT)) return Usage();
    } else if (a == "--quiet") {
    } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
      return Usage();
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2 || out.empty()) return Usage();
  char* end = nullptr;
  const long n = std::strtol(positional[1].c_str(), &end, 10);
  if (*end || n < 1) return Usage();

  Engine engine;  // no decode thread: each frame is decoded here
  ErrorText error;
  MovieHandle* movie = Open(engine, MovieSource::Name(positional[0].c_str()),
                            OPEN_ALPHA | OPEN_NO_THREAD_READ, {}, &error);
  if (!movie) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (static_cast<unsigned long>(n) > movie->container.frame_count) {
    std::fprintf(stderr, "vexil frame: the movie has %u frames\n", movie->container.frame_count);
    Close(movie);
    return 1;
  }
  DecodeThrough(movie, static_cast<uint32_t>(n));
  const auto code = static_cast<uint32_t>(format);
  bool ok = false;
  try {
    Buffer buffer(code, movie->width, movie->height);
    // COPY_NO_SKIP: decoding up to frame N may take longer than the movie's
    // clock allows, and a late frame would otherwise not be copied.
    if (movie->width && movie->height)
      CopyToBuffer(movie, buffer.bytes.data(), buffer.pitch, static_cast<int32_t>(buffer.rows),
                   movie->width, movie->height, code | COPY_ALL | COPY_NO_SKIP);
    Close(movie);
    movie = nullptr;
    ok = EndsWith(out, ".raw") ? WriteRaw(out, buffer) : WritePng(out, ToRgb(buffer));
  } catch (const std::bad_alloc&) {
    Close(movie);
    std::fprintf(stderr, "Out of memory.\n");
    return 1;
  }
  if (!ok) {
    std::fprintf(stderr, "vexil frame: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

const CommandRegistration kFrame{
    {"frame", "MOVIE N -o OUT.png|OUT.raw [--format CODE]   write frame N as a picture", RunFrame}};

}  // namespace
}  // namespace vexil::tools
