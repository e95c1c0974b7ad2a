// vexil info MOVIE: the header, the tracks and the frame-index figures.
#include <cstdio>

#include "engine/container.h"
#include "engine/engine.h"
#include "engine/movie.h"
#include "tools/commands.h"

namespace vexil::tools {
namespace {

const char* CodecName(uint32_t format) {
  if (format & TRACK_RDFT) return "rdft";
  if (format & TRACK_DCT) return "dct";
  return "none";
}

int RunInfo(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: vexil info MOVIE\n");
    return 2;
  }
  Engine engine;
  ErrorText error;
  MovieHandle* movie = Open(
      engine, MovieSource::Name(argv[0]),
      OPEN_NO_PLANES | OPEN_NO_FILL | OPEN_NO_THREAD_READ | OPEN_DISPLAY_OPTION_MASK, {}, &error);
  if (!movie) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  uint32_t keys = 0;
  for (uint32_t i = 0; i < movie->container.frame_count; ++i)
    keys += movie->container.frame_index[i] & INDEX_KEY;
  std::printf("revision: %c\n", movie->container.revision);
  std::printf("width: %u\n", movie->container.file_width);
  std::printf("height: %u\n", movie->container.file_height);
  std::printf("frames: %u\n", movie->container.frame_count);
  std::printf("rate: %u/%u (%.3f frames per second)\n", movie->container.file_rate_num,
              movie->container.file_rate_den,
              double(movie->container.file_rate_num) / movie->container.file_rate_den);
  std::printf("largest frame: %u\n", movie->container.largest_frame);
  std::printf("index entries: %u\n", movie->container.index_entries + 1);
  std::printf("movie size: %llu\n",
              static_cast<unsigned long long>(movie->container.file_size) + 8);
  std::printf("header flags: 0x%08X%s%s\n", movie->container.header_flags,
              (movie->container.header_flags & HEADER_GRAYSCALE) ? " grayscale" : "",
              (movie->container.header_flags & HEADER_ALPHA) ? " alpha" : "");
  std::printf(
      "display option: %u\n",
      (movie->container.header_flags & HEADER_DISPLAY_OPTION_MASK) >> HEADER_DISPLAY_OPTION_SHIFT);
  std::printf("tracks: %u\n", movie->container.track_count);
  for (uint32_t t = 0; t < movie->container.track_count; ++t) {
    uint32_t format = movie->container.track_formats[t];
    std::printf("  track %u: id %u, rate %u, channels %u, bits %u, codec %s, largest decoded %u\n",
                t, movie->container.track_ids[t], format & TRACK_RATE_MASK,
                (format & TRACK_STEREO) ? 2 : 1, (format & TRACK_16BIT) ? 16 : 8, CodecName(format),
                movie->container.track_max_sizes[t]);
  }
  std::printf("key frames: %u%s\n", keys, movie->container.all_key ? " (all)" : "");
  std::printf("peak rate: %u\n", movie->container.peak_rate);
  std::printf("peak frame: %u\n", movie->container.peak_frame + 1);
  Close(movie);
  return 0;
}

const CommandRegistration kInfo{{"info", "MOVIE           show the header, tracks and frame index",
                                 RunInfo}};

}  // namespace
}  // namespace vexil::tools
