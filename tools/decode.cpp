// vexil decode MOVIE [--y4m OUT.y4m] [--alpha OUT.y4m] [--wav OUT.wav] [--track ID]
//   [--frames N] [--preload | --read-buffer BYTES] [--threads 0|1|2] [--quiet]
//
// Walks the movie frame by frame with the engine's own open and frame reader;
// each output is one step run on every frame packet. The video step decodes
// the frame as the player does (decode threads or the calling thread) and
// writes the decoder's planes, visible area only. The audio step decodes
// the packet's part of the chosen track exactly as the sound ring would take
// it, without the ring's limits, into a 16-bit WAV file.
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/engine.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "tools/commands.h"
#include "tools/y4m_writer.h"

namespace vexil::tools {
namespace {

constexpr const char* kUsage =
    "usage: vexil decode MOVIE [--y4m OUT.y4m] [--alpha OUT.y4m] [--wav OUT.wav] [--track ID]\n"
    "                          [--frames N] [--preload | --read-buffer BYTES] [--threads 0|1|2]\n"
    "                          [--quiet]\n";

struct DecodeOptions {
  std::string movie;
  std::string y4m;
  std::string alpha;
  std::string wav;
  uint32_t track_id = 0;
  std::optional<uint32_t> frames;
  bool preload = false;
  std::optional<int32_t> read_buffer;
  // How the video planes are decoded (calling thread or decode threads); the
  // output is the same either way, and the audio step always runs here.
  int threads = 0;
  bool quiet = false;
};

template <typename T>
bool ParseNumber(const char* text, T min, T max, T* out) {
  T value{};
  const char* end = text + std::strlen(text);
  auto [p, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || p != end || value < min || value > max) return false;
  *out = value;
  return true;
}

// Returns 0 when the arguments are usable, else the exit code (usage: 2).
int ParseArguments(int argc, char** argv, DecodeOptions* o) {
  auto fail = [](const char* format, const char* what) {
    std::fprintf(stderr, "vexil decode: ");
    std::fprintf(stderr, format, what);
    std::fprintf(stderr, "\n%s", kUsage);
    return 2;
  };
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--y4m" || arg == "--alpha" || arg == "--wav") {
      const char* v = value();
      if (!v) return fail("%s needs a file name", arg.c_str());
      (arg == "--y4m" ? o->y4m : arg == "--alpha" ? o->alpha : o->wav) = v;
    } else if (arg == "--track") {
      const char* v = value();
      if (!v || !ParseNumber<uint32_t>(v, 0, UINT32_MAX, &o->track_id))
        return fail("%s needs a track id (0 to 4294967295)", arg.c_str());
    } else if (arg == "--frames") {
      const char* v = value();
      uint32_t n;
      if (!v || !ParseNumber<uint32_t>(v, 1, UINT32_MAX, &n))
        return fail("%s needs a frame count of at least 1", arg.c_str());
      o->frames = n;
    } else if (arg == "--preload") {
      o->preload = true;
    } else if (arg == "--read-buffer") {
      const char* v = value();
      int32_t n;
      if (!v || !ParseNumber<int32_t>(v, 0, INT32_MAX, &n))
        return fail("%s needs a byte count (0 to 2147483647)", arg.c_str());
      o->read_buffer = n;
    } else if (arg == "--threads") {
      const char* v = value();
      if (!v || !ParseNumber<int>(v, 0, 2, &o->threads))
        return fail("%s needs 0, 1 or 2", arg.c_str());
    } else if (arg == "--quiet") {
      o->quiet = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option %s", arg.c_str());
    } else if (o->movie.empty()) {
      o->movie = arg;
    } else {
      return fail("more than one movie given (%s)", arg.c_str());
    }
  }
  if (o->movie.empty()) return fail("%s", "no movie given");
  if (o->preload && o->read_buffer)
    return fail("%s", "--preload and --read-buffer exclude each other");
  if (o->y4m.empty() && o->alpha.empty() && o->wav.empty())
    return fail("%s", "nothing to write: give --y4m, --alpha or --wav");
  return 0;
}

// A 16-bit PCM RIFF WAV file whose sizes are filled in when it is finished.
class WavFile {
 public:
  ~WavFile() {
    if (file_) std::fclose(file_);
  }

  bool Open(const std::string& path, uint32_t rate, uint32_t channels) {
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    rate_ = rate;
    channels_ = channels;
    return WriteHeader();
  }

  // Little-endian 16-bit samples as the decoder delivers them in host order.
  bool Append(const uint8_t* pcm, uint32_t bytes) {
    if (data_bytes_ + bytes > kMaxDataBytes) {
      too_long_ = true;
      return false;
    }
    data_bytes_ += bytes;
    if constexpr (std::endian::native == std::endian::little) {
      return std::fwrite(pcm, 1, bytes, file_) == bytes;
    } else {
      std::vector<uint8_t> swapped(pcm, pcm + bytes);
      for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
      return std::fwrite(swapped.data(), 1, bytes, file_) == bytes;
    }
  }

  // Writes the final sizes and closes the file.
  bool Finish() {
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 && WriteHeader();
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
  }

  bool too_long() const { return too_long_; }

 private:
  // The RIFF size field counts 36 header bytes besides the data.
  static constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

  bool WriteHeader() {
    uint8_t h[44];
    const uint32_t data = static_cast<uint32_t>(data_bytes_);
    std::memcpy(h, "RIFF", 4);
    WriteLE32(h + 4, 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    WriteLE32(h + 16, 16);
    WriteLE32(h + 20, 1 | channels_ << 16);  // PCM format, channel count
    WriteLE32(h + 24, rate_);
    WriteLE32(h + 28, rate_ * channels_ * 2);       // bytes per second
    WriteLE32(h + 32, (channels_ * 2) | 16 << 16);  // bytes per sample frame, bits
    std::memcpy(h + 36, "data", 4);
    WriteLE32(h + 40, data);
    return std::fwrite(h, 1, sizeof(h), file_) == sizeof(h);
  }

  FILE* file_ = nullptr;
  uint32_t rate_ = 0;
  uint32_t channels_ = 0;
  uint64_t data_bytes_ = 0;
  bool too_long_ = false;
};

// The audio step: one track's parts decoded into a WAV file.
class WavStep {
 public:
  ~WavStep() { AudioDecoderClose(decoder_); }

  // Returns 0 or the exit code after printing why.
  int Begin(const MovieHandle* movie, uint32_t track_id, const std::string& path) {
    for (uint32_t t = 0; t < movie->container.track_count; ++t) {
      if (movie->container.track_ids[t] == track_id) {
        track_ = t;
        break;
      }
    }
    if (track_ == kNoTrack) {
      std::fprintf(stderr, "vexil decode: the movie has no audio track with id %u\n", track_id);
      return 1;
    }
    const uint32_t format = movie->container.track_formats[track_];
    if (!(format & (TRACK_DCT | TRACK_RDFT))) {
      std::fprintf(stderr,
                   "vexil decode: audio track %u is not coded with either audio codec "
                   "(format 0x%08X)\n",
                   track_id, format);
      return 1;
    }
    const uint32_t rate = format & TRACK_RATE_MASK;
    const uint32_t channels = (format & TRACK_STEREO) ? 2 : 1;
    const bool dct = (format & TRACK_DCT) && !(format & TRACK_RDFT);
    decoder_ = AudioDecoderOpen(rate, channels, dct ? AUDIO_DCT : 0);
    if (!decoder_) {
      std::fprintf(stderr, "vexil decode: out of memory for the audio decoder\n");
      return 1;
    }
    if (!wav_.Open(path, rate, channels)) {
      std::fprintf(stderr, "vexil decode: cannot write %s\n", path.c_str());
      return 1;
    }
    path_ = path;
    return 0;
  }

  // Decodes this frame packet's part of the track.
  bool Frame(const uint8_t* packet, uint32_t packet_bytes, uint32_t track_count) {
    AudioPart part;
    if (!FindAudioPart(packet, packet_bytes, track_count, track_, &part)) return true;
    AudioPartOutput output;
    output.context = this;
    output.take = [](void* context, const uint8_t* pcm, uint32_t bytes) {
      auto* self = static_cast<WavStep*>(context);
      if (!self->wav_.Append(pcm, bytes)) self->write_failed_ = true;
    };
    DecodeAudioPart(decoder_, part, output);
    return !write_failed_;
  }

  // Returns 0 or the exit code after printing why.
  int Finish() {
    if (wav_.too_long()) {
      std::fprintf(stderr, "vexil decode: the audio is too long for a WAV file\n");
      return 1;
    }
    if (write_failed_ || !wav_.Finish()) {
      std::fprintf(stderr, "vexil decode: cannot write %s\n", path_.c_str());
      return 1;
    }
    return 0;
  }

 private:
  static constexpr uint32_t kNoTrack = UINT32_MAX;
  uint32_t track_ = kNoTrack;
  AudioDecoder* decoder_ = nullptr;
  WavFile wav_;
  std::string path_;
  bool write_failed_ = false;
};

struct MovieCloser {
  void operator()(MovieHandle* movie) const { Close(movie); }
};

int RunDecode(int argc, char** argv) {
  DecodeOptions options;
  if (int code = ParseArguments(argc, argv, &options)) return code;
  const bool video = !options.y4m.empty() || !options.alpha.empty();
  uint32_t flags = OPEN_NO_THREAD_READ | OPEN_DISPLAY_OPTION_MASK;
  if (!video) flags |= OPEN_NO_PLANES;
  if (!options.alpha.empty()) flags |= OPEN_ALPHA;
  if (options.preload) flags |= OPEN_PRELOAD;
  OpenOptions open_options;
  if (options.read_buffer) {
    open_options.read_buffer_size = *options.read_buffer;
    flags |= OPEN_READ_BUFFER;
  }
  // The engine (and its decode threads) live for this command only.
  Engine engine;
  ErrorText error;
  std::unique_ptr<MovieHandle, MovieCloser> movie(
      Open(engine, MovieSource::Name(options.movie.c_str()), flags, open_options, &error));
  if (!movie) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  std::optional<WavStep> wav;
  if (!options.wav.empty()) {
    wav.emplace();
    if (int code = wav->Begin(movie.get(), options.track_id, options.wav)) return code;
  }
  Y4mWriter picture, alpha;
  if (!options.alpha.empty() && !(movie->container.header_flags & HEADER_ALPHA)) {
    std::fprintf(stderr, "vexil decode: the movie has no alpha plane\n");
    return 1;
  }
  for (auto [writer, path, kind] : {std::tuple{&picture, &options.y4m, Y4mWriter::Kind::kPicture},
                                    std::tuple{&alpha, &options.alpha, Y4mWriter::Kind::kAlpha}}) {
    if (!path->empty() && !writer->Open(path->c_str(), movie.get(), kind)) {
      std::fprintf(stderr, "vexil decode: cannot write %s\n", path->c_str());
      return 1;
    }
  }
  if (video && engine.decode_threads.Start(options.threads) != options.threads) {
    std::fprintf(stderr, "vexil decode: cannot start %d decode threads\n", options.threads);
    return 1;
  }

  const uint32_t frames = options.frames ? std::min(*options.frames, movie->container.frame_count)
                                         : movie->container.frame_count;
  const bool progress = !options.quiet && isatty(STDERR_FILENO);
  int result = 0;
  for (uint32_t n = 1; n <= frames; ++n) {
    // The open fetched frame 1; the frame clock steps to the next packet.
    if (n > 1) Advance(movie.get());
    if (movie->reader.input->input_error) {
      std::fprintf(stderr, "vexil decode: the movie could not be read at frame %u\n", n);
      result = 1;
      break;
    }
    if (wav && !wav->Frame(movie->reader.frame_data, movie->reader.frame_bytes,
                           movie->container.track_count))
      break;
    if (video) {
      // Decoded the way the player decodes: on the decode threads, or here
      // when there are none.
      StartBackgroundDecode(movie.get());
      while (!WaitForBackgroundDecode(movie.get())) {
      }
      bool ok = (options.y4m.empty() || picture.WriteFrame(movie.get())) &&
                (options.alpha.empty() || alpha.WriteFrame(movie.get()));
      if (!ok) {
        std::fprintf(stderr, "vexil decode: cannot write the video output\n");
        result = 1;
        break;
      }
    }
    if (progress && (n % 64 == 0 || n == frames))
      std::fprintf(stderr, "\rframe %u of %u", n, frames);
  }
  if (progress) std::fputc('\n', stderr);
  if (wav) {
    if (int code = wav->Finish()) result = code;
  }
  if (!picture.Close() || !alpha.Close()) {
    std::fprintf(stderr, "vexil decode: cannot write the video output\n");
    result = 1;
  }
  return result;
}

const CommandRegistration kDecode{
    {"decode",
     "MOVIE [--wav OUT.wav] [--track ID] [--frames N] [--preload | --read-buffer BYTES]\n"
     "                 [--threads 0|1|2] [--y4m OUT.y4m] [--alpha OUT.y4m] [--quiet]\n"
     "                 decode frames and the audio of one track",
     RunDecode}};

}  // namespace
}  // namespace vexil::tools
