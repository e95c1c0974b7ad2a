// vexil info MOVIE: the header, the tracks and the frame-index figures, and
// how much of a cut file is left.
#include <cstdio>

#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/movie_input.h"

namespace vexil::tools {
namespace {

constexpr uint32_t kHeaderGrayscale = 0x20000;
constexpr uint32_t kHeaderAlpha = 0x100000;

const char* CodecName(uint32_t codec) {
  switch (codec) {
    case VEXIL_CODEC_RDFT:
      return "rdft";
    case VEXIL_CODEC_DCT:
      return "dct";
    default:
      return "none";
  }
}

int RunInfo(const Command& command, int argc, char** argv) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> names;
  if (!args.ReadNames(&names)) return args.exit_code();
  if (names.size() != 1)
    return args.UsageError(names.empty() ? "no movie given" : "one movie at a time");

  // The figures need no picture and no more reading than the open's.
  vexil_open_options options;
  vexil_open_options_init(&options);
  options.flags = VEXIL_OPEN_NO_VIDEO;
  options.display_option = VEXIL_DISPLAY_NONE;
  MovieInput movie;
  if (!movie.Open(names[0], options)) return kExitFailure;
  const vexil_movie_info& m = movie.info();
  std::printf("revision: %c\n", static_cast<char>(m.revision));
  std::printf("width: %u\n", m.coded_width);
  std::printf("height: %u\n", m.coded_height);
  std::printf("frames: %u\n", m.frame_count);
  std::printf("rate: %u/%u (%.3f frames per second)\n", m.file_rate_num, m.file_rate_den,
              m.file_rate_den ? double(m.file_rate_num) / m.file_rate_den : 0.0);
  std::printf("largest frame: %u\n", m.largest_packet);
  std::printf("index entries: %u\n", m.index_entries);
  std::printf("movie size: %llu\n", static_cast<unsigned long long>(m.movie_bytes));
  if (movie.truncated()) {
    std::printf("truncated: %llu of %llu bytes present, %u of %u frames complete\n",
                static_cast<unsigned long long>(m.bytes_present),
                static_cast<unsigned long long>(m.movie_bytes), m.complete_frames, m.frame_count);
  }
  std::printf("header flags: 0x%08X%s%s\n", m.header_flags,
              (m.header_flags & kHeaderGrayscale) ? " grayscale" : "",
              (m.header_flags & kHeaderAlpha) ? " alpha" : "");
  std::printf("display option: %u\n", m.file_display_option);
  std::printf("tracks: %u\n", m.track_count);
  for (uint32_t t = 0; t < m.track_count; ++t) {
    vexil_track_info track;
    vexil_track_info_init(&track);
    vexil_movie_get_track(movie.get(), t, &track);
    std::printf("  track %u: id %u, rate %u, channels %u, bits %u, codec %s, largest decoded %u\n",
                t, track.id, track.rate, track.channels, track.bits, CodecName(track.codec),
                track.largest_part);
  }
  std::printf("key frames: %u%s\n", m.key_frame_count,
              m.key_frame_count == m.frame_count ? " (all)" : "");
  std::printf("peak rate: %u\n", m.peak_rate);
  std::printf("peak frame: %u\n", m.peak_frame);
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
