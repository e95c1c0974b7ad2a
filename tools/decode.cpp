// vexil decode MOVIE [--y4m OUT.y4m] [--alpha OUT.y4m] [--wav OUT.wav] [--track ID]
//   [--frames N] [--preload | --read-buffer BYTES] [--threads 0|1|2] [--quiet]
//
// Walks the movie frame by frame with the engine's own open and frame reader;
// each output is one step run on every frame packet. The video step decodes
// the frame as the player does (decode threads or the calling thread) and
// writes the decoder's planes, visible area only. The audio step decodes
// the packet's part of the chosen track exactly as the sound ring would take
// it, without the ring's limits, into a 16-bit WAV file.
#include <algorithm>
#include <optional>
#include <string>
#include <tuple>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/movie_input.h"
#include "tools/progress.h"
#include "tools/wav_writer.h"
#include "tools/y4m_writer.h"
#include "video/decode_threads.h"

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

// The audio step: one track's parts decoded into a WAV file.
class WavStep {
 public:
  ~WavStep() { AudioDecoderClose(decoder_); }

  // Returns 0 or the exit code after printing why.
  int Begin(const Command& command, const MovieHandle* movie, uint32_t track_id,
            const std::string& path) {
    for (uint32_t t = 0; t < movie->track_count; ++t) {
      if (movie->track_ids[t] == track_id) {
        track_ = t;
        break;
      }
    }
    if (track_ == kNoTrack)
      return CommandFailure(command,
                            "the movie has no audio track with id " + std::to_string(track_id));
    const uint32_t format = movie->track_formats[track_];
    if (!(format & (TRACK_DCT | TRACK_RDFT))) {
      char text[96];
      std::snprintf(text, sizeof text,
                    "audio track %u is not coded with either audio codec (format 0x%08X)", track_id,
                    format);
      return CommandFailure(command, text);
    }
    const uint32_t rate = format & TRACK_RATE_MASK;
    const uint32_t channels = (format & TRACK_STEREO) ? 2 : 1;
    const bool dct = (format & TRACK_DCT) && !(format & TRACK_RDFT);
    decoder_ = AudioDecoderOpen(rate, channels, dct ? AUDIO_DCT : 0);
    if (!decoder_) return CommandFailure(command, "out of memory for the audio decoder");
    path_ = path;
    if (!wav_.Open(path, rate, channels)) return FileFailure(OutputName(path), wav_.error());
    return 0;
  }

  // Decodes this frame packet's part of the track.
  bool Frame(const uint8_t* packet, uint32_t packet_bytes, uint32_t track_count) {
    AudioPart part;
    if (!FindAudioPart(packet, packet_bytes, track_count, track_, &part)) return true;
    AudioPartOutput output;
    output.context = this;
    output.take = [](void* context, const uint8_t* pcm, uint32_t bytes) {
      static_cast<WavStep*>(context)->wav_.Append(pcm, bytes);
    };
    DecodeAudioPart(decoder_, part, output);
    return wav_.error().empty();
  }

  // Returns 0 or the exit code after printing why.
  int Finish() { return wav_.Finish() ? 0 : FileFailure(OutputName(path_), wav_.error()); }

 private:
  static constexpr uint32_t kNoTrack = UINT32_MAX;
  uint32_t track_ = kNoTrack;
  AudioDecoder* decoder_ = nullptr;
  WavWriter wav_;
  std::string path_;
};

int RunDecode(const Command& command, int argc, char** argv) {
  DecodeOptions options;
  if (auto code = ParseArguments(command, argc, argv, &options)) return *code;
  const bool video = !options.y4m.empty() || !options.alpha.empty();
  uint32_t flags = OPEN_NO_THREAD_READ | OPEN_DISPLAY_OPTION_MASK;
  if (!video) flags |= OPEN_NO_PLANES;
  if (!options.alpha.empty()) flags |= OPEN_ALPHA;
  if (options.preload) flags |= OPEN_PRELOAD;
  if (options.read_buffer) {
    SetReadBufferSize(static_cast<int32_t>(*options.read_buffer));
    flags |= OPEN_READ_BUFFER;
  }
  MovieInput movie;
  if (!movie.Open(options.movie, flags)) return kExitFailure;

  std::optional<WavStep> wav;
  if (!options.wav.empty()) {
    wav.emplace();
    if (int code = wav->Begin(command, movie.movie(), options.track_id, options.wav)) return code;
  }
  if (!options.alpha.empty() && !(movie->header_flags & HEADER_ALPHA))
    return FileFailure(movie.name(), "the movie has no alpha plane");
  Y4mWriter picture, alpha;
  for (auto [writer, path, kind] : {std::tuple{&picture, &options.y4m, Y4mWriter::Kind::kPicture},
                                    std::tuple{&alpha, &options.alpha, Y4mWriter::Kind::kAlpha}}) {
    if (!path->empty() && !writer->Open(*path, movie.movie(), kind))
      return FileFailure(OutputName(*path), writer->error());
  }
  // The decode threads live for this command only.
  struct ThreadsStopper {
    ~ThreadsStopper() { StopDecodeThreads(); }
  } stop_threads;
  const int threads = static_cast<int>(options.threads);
  if (video && StartDecodeThreads(threads) != threads)
    return CommandFailure(command, "cannot start " + std::to_string(threads) + " decode threads");

  const uint32_t frames =
      options.frames ? std::min(*options.frames, movie->frame_count) : movie->frame_count;
  Progress progress("decode", frames, options.quiet);
  int result = kExitSuccess;
  uint32_t written = 0;
  for (uint32_t n = 1; n <= frames; ++n) {
    // The open fetched frame 1; the frame clock steps to the next packet.
    if (n > 1) Advance(movie.movie());
    if (!movie.FrameRead(n)) {
      progress.Finish();
      FileFailure(movie.name(), movie.UnreadableFrame(n) + "; wrote " + std::to_string(written) +
                                    " of " + std::to_string(frames) + " frames");
      result = kExitFailure;
      break;
    }
    if (wav && !wav->Frame(movie->frame_data, movie->frame_bytes, movie->track_count)) break;
    if (video) {
      // Decoded the way the player decodes: on the decode threads, or here
      // when there are none.
      StartBackgroundDecode(movie.movie());
      while (!WaitForBackgroundDecode(movie.movie())) {
      }
      if ((picture.is_open() && !picture.WriteFrame(movie.movie())) ||
          (alpha.is_open() && !alpha.WriteFrame(movie.movie())))
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
