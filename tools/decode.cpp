// vexil decode MOVIE [--y4m OUT.y4m] [--alpha OUT.y4m] [--wav OUT.wav] [--track ID]
//   [--frames N] [--preload | --read-buffer BYTES] [--threads 0|1|2] [--quiet]
//
// Walks the movie frame by frame through the public library: each decoded
// frame's planes (decoded as the player decodes them, on the calling thread
// or on decode threads), visible area only, and the sound the frame's packet
// holds for the chosen track, all of it, into a 16-bit WAV file.
#include <algorithm>
#include <optional>
#include <string>
#include <tuple>

#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/movie_input.h"
#include "tools/progress.h"
#include "tools/wav_writer.h"
#include "tools/y4m_writer.h"

namespace vexil::tools {
namespace {

struct DecodeOptions {
  std::string movie;
  std::string y4m;
  std::string alpha;
  std::string wav;
  uint32_t track_id = 0;
  std::optional<uint32_t> frames;
  bool preload = false;
  std::optional<uint32_t> read_buffer;
  // How the video planes are decoded (calling thread or decode threads); the
  // output is the same either way, and the audio step always runs here.
  uint32_t threads = 0;
  bool quiet = false;
};

// The exit code when the command ends here (help, version, usage error).
std::optional<int> ParseArguments(const Command& command, int argc, char** argv, DecodeOptions* o) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> movies;
  std::string track, frames, read_buffer;
  while (args.Next()) {
    uint32_t n = 0;
    if (args.File("--y4m", &o->y4m) || args.File("--alpha", &o->alpha) ||
        args.File("--wav", &o->wav) || args.Number("--track", 0, UINT32_MAX, &o->track_id) ||
        args.Flag("--preload", &o->preload) || args.Number("--threads", 0, 2, &o->threads) ||
        args.Flag("--quiet", &o->quiet) || args.Positional(&movies))
      continue;
    if (args.Number("--frames", 1, UINT32_MAX, &n)) {
      o->frames = n;
    } else if (args.Number("--read-buffer", 0, INT32_MAX, &n)) {
      o->read_buffer = n;
    } else {
      args.Unknown();
    }
  }
  if (args.ended()) return args.exit_code();
  if (movies.empty()) return args.UsageError("no movie given");
  if (movies.size() > 1) return args.UsageError("more than one movie given (" + movies[1] + ")");
  o->movie = movies[0];
  if (o->preload && o->read_buffer)
    return args.UsageError("--preload and --read-buffer exclude each other");
  if (o->y4m.empty() && o->alpha.empty() && o->wav.empty())
    return args.UsageError("nothing to write: give --y4m, --alpha or --wav");
  const std::string clash =
      StandardStreamClash({{"--y4m", o->y4m}, {"--alpha", o->alpha}, {"--wav", o->wav}});
  if (!clash.empty()) return args.UsageError(clash);
  return std::nullopt;
}

// The audio step: one track's sound into a WAV file.
class WavStep {
 public:
  // Returns 0 or the exit code after printing why.
  int Begin(const Command& command, const MovieInput& movie, uint32_t track_id,
            const std::string& path) {
    vexil_track_info track;
    vexil_track_info_init(&track);
    bool found = false;
    for (uint32_t t = 0; t < movie.info().track_count && !found; ++t)
      found = vexil_movie_get_track(movie.get(), t, &track) == VEXIL_OK && track.id == track_id;
    if (!found)
      return CommandFailure(command,
                            "the movie has no audio track with id " + std::to_string(track_id));
    if (track.codec == VEXIL_CODEC_NONE) {
      char text[96];
      std::snprintf(text, sizeof text,
                    "audio track %u is not coded with either audio codec (format 0x%08X)", track_id,
                    track.format_word);
      return CommandFailure(command, text);
    }
    track_id_ = track_id;
    channels_ = track.channels;
    path_ = path;
    if (!wav_.Open(path, track.rate, track.channels))
      return FileFailure(OutputName(path), wav_.error());
    return 0;
  }

  // Moves the sound the last decoded frame queued into the file.
  bool Frame(vexil_movie* movie) {
    int64_t frames;
    while ((frames = vexil_movie_read_audio(movie, track_id_, buffer_, kBufferFrames)) > 0)
      wav_.Append(buffer_, static_cast<size_t>(frames) * channels_ * sizeof(int16_t));
    return wav_.error().empty();
  }

  // Returns 0 or the exit code after printing why.
  int Finish() { return wav_.Finish() ? 0 : FileFailure(OutputName(path_), wav_.error()); }

 private:
  static constexpr size_t kBufferFrames = 4096;
  uint32_t track_id_ = 0;
  uint32_t channels_ = 1;
  int16_t buffer_[kBufferFrames * 2];
  WavWriter wav_;
  std::string path_;
};

int RunDecode(const Command& command, int argc, char** argv) {
  DecodeOptions options;
  if (auto code = ParseArguments(command, argc, argv, &options)) return *code;
  const bool video = !options.y4m.empty() || !options.alpha.empty();
  vexil_open_options open;
  vexil_open_options_init(&open);
  open.display_option = VEXIL_DISPLAY_NONE;
  if (!video) open.flags |= VEXIL_OPEN_NO_VIDEO;
  if (!options.alpha.empty()) open.flags |= VEXIL_OPEN_ALPHA;
  if (options.preload) open.flags |= VEXIL_OPEN_PRELOAD;
  // The smallest ring the reader makes is the same for 0 and 1 bytes; the
  // library takes 0 as "one second of the movie's busiest data".
  if (options.read_buffer) open.read_buffer_bytes = std::max<uint32_t>(*options.read_buffer, 1);
  if (!options.wav.empty()) {
    open.track_ids = &options.track_id;
    open.track_id_count = 1;
  }
  open.decode_threads = video ? options.threads : 0;
  MovieInput movie;
  if (!movie.Open(options.movie, open)) return kExitFailure;
  const vexil_movie_info& info = movie.info();

  std::optional<WavStep> wav;
  if (!options.wav.empty()) {
    wav.emplace();
    if (int code = wav->Begin(command, movie, options.track_id, options.wav)) return code;
  }
  if (!options.alpha.empty() && !(info.flags & VEXIL_MOVIE_ALPHA))
    return FileFailure(movie.name(), "the movie has no alpha plane");
  Y4mWriter picture, alpha;
  for (auto [writer, path, kind] : {std::tuple{&picture, &options.y4m, Y4mWriter::Kind::kPicture},
                                    std::tuple{&alpha, &options.alpha, Y4mWriter::Kind::kAlpha}}) {
    if (!path->empty() && !writer->Open(*path, info.coded_width, info.coded_height,
                                        info.file_rate_num, info.file_rate_den, kind))
      return FileFailure(OutputName(*path), writer->error());
  }

  const uint32_t frames =
      options.frames ? std::min(*options.frames, info.frame_count) : info.frame_count;
  Progress progress("decode", frames, options.quiet);
  int result = kExitSuccess;
  uint32_t written = 0;
  for (uint32_t n = 1; n <= frames; ++n) {
    if (vexil_movie_decode_next(movie.get()) != VEXIL_OK) {
      progress.Finish();
      FileFailure(movie.name(), movie.UnreadableFrame(n) + "; wrote " + std::to_string(written) +
                                    " of " + std::to_string(frames) + " frames");
      result = kExitFailure;
      break;
    }
    if (wav && !wav->Frame(movie.get())) break;
    if (video) {
      vexil_picture planes;
      vexil_picture_init(&planes);
      vexil_movie_get_picture(movie.get(), &planes);
      if ((picture.is_open() && !picture.WriteFrame(planes)) ||
          (alpha.is_open() && !alpha.WriteFrame(planes)))
        break;
    }
    written = n;
    progress.Update(n);
  }
  progress.Finish();
  // What decoded is kept, also when the movie ended early: the frames up to
  // the cut are good. A write failure removes the output.
  if (wav) {
    if (int code = wav->Finish()) result = code;
  }
  for (auto [writer, path] :
       {std::pair{&picture, &options.y4m}, std::pair{&alpha, &options.alpha}}) {
    if (writer->is_open() && !writer->Finish())
      result = FileFailure(OutputName(*path), writer->error());
  }
  return result;
}

}  // namespace

const Command kDecodeCommand{
    "decode",
    "MOVIE [--y4m OUT.y4m] [--alpha OUT.y4m] [--wav OUT.wav] [--track ID]\n"
    "                    [--frames N] [--preload | --read-buffer BYTES] [--threads 0|1|2]\n"
    "                    [--quiet]",
    "decode the pictures and the sound of one track",
    "Decodes every frame from frame 1 on (or the first N) the way the player does.\n"
    "\n"
    "  --y4m OUT.y4m       the decoded planes, visible area, as YUV4MPEG2 4:2:0\n"
    "                      (C420jpeg); grayscale movies get 128 in the colour planes\n"
    "  --alpha OUT.y4m     the alpha plane as monochrome YUV4MPEG2 (Cmono)\n"
    "  --wav OUT.wav       the sound of one track as 16-bit PCM WAV, at the track's\n"
    "                      own rate and channel count\n"
    "  --track ID          the track for --wav, by its id (default 0)\n"
    "  --frames N          only the first N frames\n"
    "  --preload           read the whole movie into memory first\n"
    "  --read-buffer BYTES read ahead through a ring of this size\n"
    "  --threads 0|1|2     decode on this thread (0) or on one or two decode threads;\n"
    "                      the output is the same\n"
    "  --quiet             no progress line\n"
    "\n"
    "MOVIE - reads standard input; one output may be - for standard output. On a\n"
    "terminal a progress line shows the frames done and the time left. A movie\n"
    "that ends early keeps the frames decoded so far; the command says how many\n"
    "frames it wrote of how many and exits 1.\n",
    RunDecode};

}  // namespace vexil::tools
