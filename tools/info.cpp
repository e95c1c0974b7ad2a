// vexil info MOVIE: the header, the tracks and the frame-index figures, and
// how much of a cut file is left.
#include <cstdio>

#include "engine/container.h"
#include "engine/movie.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/movie_input.h"

namespace vexil::tools {
namespace {

const char* CodecName(uint32_t format) {
  if (format & TRACK_RDFT) return "rdft";
  if (format & TRACK_DCT) return "dct";
  return "none";
}

int RunInfo(const Command& command, int argc, char** argv) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> names;
  if (!args.ReadNames(&names)) return args.exit_code();
  if (names.size() != 1)
    return args.UsageError(names.empty() ? "no movie given" : "one movie at a time");

  MovieInput movie;
  if (!movie.Open(names[0],
                  OPEN_NO_PLANES | OPEN_NO_FILL | OPEN_NO_THREAD_READ | OPEN_DISPLAY_OPTION_MASK))
    return kExitFailure;
  uint32_t keys = 0;
  for (uint32_t i = 0; i < movie->frame_count; ++i) keys += movie->frame_index[i] & INDEX_KEY;
  std::printf("revision: %c\n", movie->revision);
  std::printf("width: %u\n", movie->file_width);
  std::printf("height: %u\n", movie->file_height);
  std::printf("frames: %u\n", movie->frame_count);
  std::printf("rate: %u/%u (%.3f frames per second)\n", movie->file_rate_num, movie->file_rate_den,
              movie->file_rate_den ? double(movie->file_rate_num) / movie->file_rate_den : 0.0);
  std::printf("largest frame: %u\n", movie->largest_frame);
  std::printf("index entries: %u\n", movie->index_entries + 1);
  std::printf("movie size: %llu\n", static_cast<unsigned long long>(movie.expected_bytes()));
  if (movie.truncated()) {
    std::printf("truncated: %llu of %llu bytes present, %u of %u frames complete\n",
                static_cast<unsigned long long>(movie.present_bytes()),
                static_cast<unsigned long long>(movie.expected_bytes()), movie.complete_frames(),
                movie->frame_count);
  }
  std::printf("header flags: 0x%08X%s%s\n", movie->header_flags,
              (movie->header_flags & HEADER_GRAYSCALE) ? " grayscale" : "",
              (movie->header_flags & HEADER_ALPHA) ? " alpha" : "");
  std::printf("display option: %u\n",
              (movie->header_flags & HEADER_DISPLAY_OPTION_MASK) >> HEADER_DISPLAY_OPTION_SHIFT);
  std::printf("tracks: %u\n", movie->track_count);
  for (uint32_t t = 0; t < movie->track_count; ++t) {
    uint32_t format = movie->track_formats[t];
    std::printf("  track %u: id %u, rate %u, channels %u, bits %u, codec %s, largest decoded %u\n",
                t, movie->track_ids[t], format & TRACK_RATE_MASK, (format & TRACK_STEREO) ? 2 : 1,
                (format & TRACK_16BIT) ? 16 : 8, CodecName(format), movie->track_max_sizes[t]);
  }
  std::printf("key frames: %u%s\n", keys, movie->all_key ? " (all)" : "");
  std::printf("peak rate: %u\n", movie->peak_rate);
  std::printf("peak frame: %u\n", movie->peak_frame + 1);
  return std::fflush(stdout) == 0 ? kExitSuccess
                                  : CommandFailure(command, "cannot write the report");
}

}  // namespace

const Command kInfoCommand{
    "info", "MOVIE", "show a movie's header, sound tracks and frame index",
    "Prints the header (revision, size, frame count, rate, largest frame, index\n"
    "entries, movie size, header flags, display option), every sound track (id,\n"
    "rate, channels, bits, codec, largest decoded part) and the frame-index figures\n"
    "(key frames, the busiest second's bytes and the frame where it starts).\n"
    "A file shorter than its header says gets a line\n"
    "  truncated: P of E bytes present, K of N frames complete\n"
    "and still exits 0: the frames before the cut play. MOVIE - reads standard input.\n",
    RunInfo};

}  // namespace vexil::tools
