// vexil frame MOVIE N -o OUT.png|OUT.raw|- [--format CODE]: frame N converted
// by the library into a fresh buffer of the movie's shown size, written as an
// RGB PNG, or with a .raw name the destination buffer itself.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/png_file.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/movie_input.h"
#include "tools/stream_files.h"

namespace vexil::tools {
namespace {

struct RgbPicture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes per pixel
};

// The destination laid out as the copy writes it: rows at a pitch rounded up
// to 4 bytes; YV12 adds the V and U planes at half pitch below an even
// number of luma rows. Filled with black for the format first, so rows an
// interlaced mode leaves alone are black.
struct Buffer {
  uint32_t format, width, height, rows;
  int32_t pitch;
  std::vector<uint8_t> bytes;

  Buffer(uint32_t f, uint32_t w, uint32_t h)
      : format(f), width(w), height(h), rows(f == VEXIL_FORMAT_YV12 ? (h + 1) & ~1u : h) {
    pitch = static_cast<int32_t>((uint64_t{w} * vexil_format_bytes(f) + 3) & ~uint64_t{3});
    const size_t luma = size_t(pitch) * rows;
    const size_t chroma = f == VEXIL_FORMAT_YV12 ? 2 * size_t(pitch / 2) * (rows / 2) : 0;
    bytes.assign(luma + chroma, 0);
    if (f == VEXIL_FORMAT_YV12) {
      std::fill_n(bytes.begin(), luma, uint8_t{16});
      std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(luma), chroma, uint8_t{128});
    } else if (f == VEXIL_FORMAT_YUY2 || f == VEXIL_FORMAT_UYVY) {
      const size_t luma_byte = f == VEXIL_FORMAT_YUY2 ? 0 : 1;
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

RgbPicture ToRgb(const Buffer& b) {
  RgbPicture p;
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
        case VEXIL_FORMAT_8:
          out[0] = Field(row[x], 0, 3), out[1] = Field(row[x], 3, 3), out[2] = Field(row[x], 6, 2);
          break;
        case VEXIL_FORMAT_24:
        case VEXIL_FORMAT_32:
        case VEXIL_FORMAT_32A: {
          const uint8_t* px = row + x * vexil_format_bytes(b.format);
          out[0] = px[2], out[1] = px[1], out[2] = px[0];
          break;
        }
        case VEXIL_FORMAT_24R:
        case VEXIL_FORMAT_32R:
        case VEXIL_FORMAT_32RA:
          std::memcpy(out, row + x * vexil_format_bytes(b.format), 3);
          break;
        case VEXIL_FORMAT_YUY2:
        case VEXIL_FORMAT_UYVY: {
          const uint8_t* unit = row + (x & ~1u) * 2;
          const bool yuy2 = b.format == VEXIL_FORMAT_YUY2;
          const int luma = yuy2 ? unit[(x & 1) * 2] : unit[1 + (x & 1) * 2];
          // A lone last pixel's unit holds only Y and Cb.
          const bool lone = (x & 1) == 0 && x + 1 == b.width;
          const int cb = yuy2 ? unit[1] : unit[0];
          const int cr = lone ? 128 : (yuy2 ? unit[3] : unit[2]);
          YuvToRgb(luma, cb, cr, out);
          break;
        }
        case VEXIL_FORMAT_YV12: {
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
          const uint32_t* f = k16[b.format - VEXIL_FORMAT_4444];
          out[0] = Field(w, f[0], f[1]), out[1] = Field(w, f[2], f[3]),
          out[2] = Field(w, f[4], f[5]);
        }
      }
    }
  }
  return p;
}

enum class OutputKind { kPng, kRaw };

// The picture kind from the output's name: "-" is a PNG on standard output.
// Returns "" or the usage error.
std::string OutputKindOf(const std::string& name, OutputKind* kind) {
  if (IsStandardStream(name)) {
    *kind = OutputKind::kPng;
    return "";
  }
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  std::string extension;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    extension = name.substr(dot);
  std::string lower = extension;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == ".png" || lower == ".raw") {
    *kind = lower == ".png" ? OutputKind::kPng : OutputKind::kRaw;
    return "";
  }
  return (extension.empty() ? name + " has no extension"
                            : "cannot write " + extension + " files (" + name + ")") +
         ": name the output OUT.png or OUT.raw, or - for a PNG on standard output";
}

int RunFrame(const Command& command, int argc, char** argv) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> positional;
  std::string out, format_text;
  bool quiet = false;  // nothing to silence: taken for the other commands' sake
  while (args.Next()) {
    if (!args.File("-o", &out) && !args.Value("--format", &format_text) &&
        !args.Flag("--quiet", &quiet) && !args.Positional(&positional))
      args.Unknown();
  }
  if (args.ended()) return args.exit_code();
  if (positional.size() != 2) return args.UsageError("give a movie and a frame number");
  uint32_t n = 0;
  if (!ParseNumber(positional[1], 1, UINT32_MAX, &n))
    return args.UsageError("the frame number counts from 1, not '" + positional[1] + "'");
  if (out.empty()) return args.UsageError("no output given (-o OUT.png)");
  OutputKind kind;
  if (std::string error = OutputKindOf(out, &kind); !error.empty()) return args.UsageError(error);
  uint32_t format = VEXIL_FORMAT_32;
  if (!format_text.empty() && !ParseNumber(format_text, 0, VEXIL_FORMAT_COUNT - 1, &format))
    return args.UsageError("unknown format code '" + format_text + "' (0 to " +
                           std::to_string(VEXIL_FORMAT_COUNT - 1) + "; see vexil frame --help)");

  vexil_open_options options;
  vexil_open_options_init(&options);
  options.flags = VEXIL_OPEN_ALPHA;
  MovieInput movie;
  if (!movie.Open(positional[0], options)) return kExitFailure;
  const vexil_movie_info& info = movie.info();
  if (n > info.frame_count) {
    return FileFailure(movie.name(), "there is no frame " + std::to_string(n) + ": the movie has " +
                                         std::to_string(info.frame_count) + " frames");
  }
  // A picture of no pixels is no PNG; a raw buffer of no bytes is still one.
  if (kind == OutputKind::kPng && (info.width == 0 || info.height == 0)) {
    return FileFailure(movie.name(), "the movie's picture is " + std::to_string(info.width) +
                                         " x " + std::to_string(info.height) +
                                         ": no PNG to write (a .raw output can take it)");
  }
  // Frames are decoded from frame 1 on: a frame past the cut of a truncated
  // file is refused before any work.
  if (n > info.complete_frames) return FileFailure(movie.name(), movie.UnreadableFrame(n));
  // Exact: a frame marked as key may still keep blocks of the frame before,
  // so the picture is the one sequential decoding from frame 1 gives.
  if (vexil_movie_seek(movie.get(), n, VEXIL_SEEK_EXACT) != VEXIL_OK)
    return FileFailure(movie.name(), movie.UnreadableFrame(vexil_movie_frame(movie.get()) + 1));
  OutputFile file;
  try {
    Buffer buffer(format, info.width, info.height);
    if (info.width && info.height &&
        vexil_movie_convert(movie.get(), buffer.bytes.data(), buffer.pitch, buffer.rows,
                            info.width, info.height, format, 0) != VEXIL_OK)
      return FileFailure(movie.name(), vexil_movie_error(movie.get()));
    if (file.Open(out)) {
      if (kind == OutputKind::kRaw) {
        file.Write(buffer.bytes.data(), buffer.bytes.size());
      } else {
        const RgbPicture picture = ToRgb(buffer);
        file.Wrote(platform::WritePngRgb(file.stream(), picture.width, picture.height,
                                         picture.rgb.data()));
      }
    }
  } catch (const std::bad_alloc&) {
    return FileFailure(movie.name(), vexil_result_text(VEXIL_ERROR_OUT_OF_MEMORY));
  }
  return file.Finish() ? kExitSuccess : FileFailure(OutputName(out), file.error());
}

}  // namespace

const Command kFrameCommand{
    "frame", "MOVIE N -o OUT.png|OUT.raw|- [--format CODE]",
    "write one frame as a picture, converted as the player shows it",
    "Frame N (frames count from 1) is decoded and copied into a fresh buffer of the\n"
    "movie's size as played (its display option applied; rows an interlaced mode\n"
    "leaves unwritten are black), converted to the destination format, and written\n"
    "as an RGB PNG. With OUT.raw the destination buffer itself is written: its rows\n"
    "at a pitch of width x bytes per pixel rounded up to 4; for YV12 an even number\n"
    "of luma rows, then the V and U planes at half pitch. -o - writes the PNG to\n"
    "standard output; MOVIE - reads standard input.\n"
    "\n"
    "  -o OUT          the picture: OUT.png, OUT.raw or -\n"
    "  --format CODE   the destination format (default 3):\n"
    "                    0  8     palette index: red 3 bits, green 3, blue 2\n"
    "                    1  24    bytes blue, green, red\n"
    "                    2  24R   bytes red, green, blue\n"
    "                    3  32    red at bit 16, green 8, blue 0\n"
    "                    4  32R   red at bit 0, green 8, blue 16\n"
    "                    5  32A   as 32 with the alpha in bits 24-31\n"
    "                    6  32RA  as 32R with the alpha in bits 24-31\n"
    "                    7  4444  16-bit alpha 4, red 4, green 4, blue 4\n"
    "                    8  1555  16-bit alpha 1, red 5, green 5, blue 5\n"
    "                    9  555   16-bit red 5, green 5, blue 5\n"
    "                   10  565   16-bit red 5, green 6, blue 5\n"
    "                   11  655   16-bit red 6, green 5, blue 5\n"
    "                   12  664   16-bit red 6, green 6, blue 4\n"
    "                   13  YUY2  packed 4:2:2, bytes Y0 U Y1 V\n"
    "                   14  UYVY  packed 4:2:2, bytes U Y0 V Y1\n"
    "                   15  YV12  planar 4:2:0: luma, then V, then U\n",
    RunFrame};

}  // namespace vexil::tools
