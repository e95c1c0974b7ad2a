// vexil encode IN.y4m [--audio IN.wav] [--alpha IN.y4m] -o OUT.vxl [--quality Q]
//   [--keyint N] [--revision f|g|h|i] [--audio-codec dct|rdft] [--threads N]
//   [--recon OUT.y4m] [--recon-alpha OUT.y4m] [--recon-wav OUT.wav] [--quiet]
//
// Makes a movie from YUV4MPEG2 pictures, an optional WAV sound track and an
// optional second YUV4MPEG2 stream whose luma is the alpha plane. The --recon
// outputs are what the encoder expects a decoder to make of the movie, in the
// form `vexil decode` writes.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "encoder/byte_source.h"
#include "encoder/movie_encoder.h"
#include "encoder/wav_reader.h"
#include "encoder/y4m_reader.h"
#include "engine/container.h"
#include "tools/commands.h"
#include "tools/media_files.h"

namespace vexil::tools {
namespace {

constexpr const char* kUsage =
    "usage: vexil encode IN.y4m [--audio IN.wav] [--alpha IN.y4m] -o OUT.vxl [--quality 0-100]\n"
    "                    [--keyint N] [--revision f|g|h|i] [--audio-codec dct|rdft] [--threads N]\n"
    "                    [--recon OUT.y4m] [--recon-alpha OUT.y4m] [--recon-wav OUT.wav] "
    "[--quiet]\n"
    "  IN.y4m may be - for standard input.\n";

struct EncodeArguments {
  std::string input, audio, alpha, output;
  std::string recon, recon_alpha, recon_wav;
  MovieEncoderOptions options;
  bool quiet = false;

  EncodeArguments() {
    // The work is cut into four pieces per plane: more threads would idle.
    options.threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  }
};

bool ParseNumber(const char* text, uint32_t min, uint32_t max, uint32_t* out) {
  uint32_t value = 0;
  const char* end = text + std::strlen(text);
  auto [p, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || p != end || p == text || value < min || value > max) return false;
  *out = value;
  return true;
}

int ParseArguments(int argc, char** argv, EncodeArguments* a) {
  auto fail = [](const std::string& message) {
    std::fprintf(stderr, "vexil encode: %s\n%s", message.c_str(), kUsage);
    return 2;
  };
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    std::string* file = arg == "--audio"         ? &a->audio
                        : arg == "--alpha"       ? &a->alpha
                        : arg == "-o"            ? &a->output
                        : arg == "--recon"       ? &a->recon
                        : arg == "--recon-alpha" ? &a->recon_alpha
                        : arg == "--recon-wav"   ? &a->recon_wav
                                                 : nullptr;
    if (file) {
      const char* v = value();
      if (!v) return fail(arg + " needs a file name");
      *file = v;
    } else if (arg == "--quality") {
      const char* v = value();
      if (!v || !ParseNumber(v, 0, 100, &a->options.quality))
        return fail("--quality needs a number from 0 to 100");
    } else if (arg == "--keyint") {
      const char* v = value();
      if (!v || !ParseNumber(v, 1, UINT32_MAX, &a->options.keyint))
        return fail("--keyint needs a frame count of at least 1");
    } else if (arg == "--threads") {
      const char* v = value();
      if (!v || !ParseNumber(v, 1, 64, &a->options.threads))
        return fail("--threads needs a number from 1 to 64");
    } else if (arg == "--revision") {
      const char* v = value();
      if (!v || std::strlen(v) != 1 || v[0] < 'f' || v[0] > 'i')
        return fail("--revision needs f, g, h or i");
      a->options.revision = v[0];
    } else if (arg == "--audio-codec") {
      const char* v = value();
      if (!v || (std::strcmp(v, "dct") != 0 && std::strcmp(v, "rdft") != 0))
        return fail("--audio-codec needs dct or rdft");
      a->options.rdft_audio = std::strcmp(v, "rdft") == 0;
    } else if (arg == "--quiet") {
      a->quiet = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg);
    } else if (a->input.empty()) {
      a->input = arg;
    } else {
      return fail("more than one video input given (" + arg + ")");
    }
  }
  if (a->input.empty()) return fail("no video input given");
  if (a->output.empty()) return fail("no output given (-o OUT.vxl)");
  if (!a->recon_alpha.empty() && a->alpha.empty()) return fail("--recon-alpha needs --alpha");
  if (!a->recon_wav.empty() && a->audio.empty()) return fail("--recon-wav needs --audio");
  return 0;
}

int Error(const std::string& message) {
  std::fprintf(stderr, "vexil encode: %s\n", message.c_str());
  return 1;
}

void PrintSummary(const MovieSummary& s, const MovieFormat& f, const EncodeArguments& a,
                  const WavAudio& audio) {
  const double seconds = double(s.frames) * f.rate_den / f.rate_num;
  std::printf("%s: %u frames (%u key frames), %.2f seconds, %llu bytes, %.1f kbit/s\n",
              a.output.c_str(), s.frames, s.key_frames, seconds,
              static_cast<unsigned long long>(s.movie_bytes),
              seconds > 0 ? s.movie_bytes * 8.0 / seconds / 1000 : 0.0);
  std::printf("video: %ux%u, %llu bytes, %.3f bits per pixel\n", f.width, f.height,
              static_cast<unsigned long long>(s.video_bytes),
              s.video_bytes * 8.0 / (double(f.width) * f.height * s.frames));
  std::printf("average PSNR: Y %.2f dB", s.psnr[ENCODER_Y]);
  if (s.present[ENCODER_CB])
    std::printf(", Cb %.2f dB, Cr %.2f dB", s.psnr[ENCODER_CB], s.psnr[ENCODER_CR]);
  if (s.present[ENCODER_ALPHA]) std::printf(", alpha %.2f dB", s.psnr[ENCODER_ALPHA]);
  std::printf("\n");
  static const char* kNames[BLOCK_TYPE_COUNT] = {"skip",  "scaled", "motion", "run",     "residue",
                                                 "intra", "fill",   "inter",  "pattern", "raw"};
  uint64_t total = 0;
  for (uint64_t n : s.blocks) total += n;
  std::printf("blocks:");
  for (int t = 0; t < BLOCK_TYPE_COUNT; ++t) {
    if (s.blocks[t])
      std::printf(" %s %.1f%%", kNames[t], 100.0 * s.blocks[t] / std::max<uint64_t>(total, 1));
  }
  std::printf("\n");
  if (s.audio) {
    std::printf("audio: %s, %u Hz, %s, %u-bit, %llu bytes, SNR %.1f dB\n",
                a.options.rdft_audio ? "rdft" : "dct", audio.rate,
                audio.channels == 2 ? "stereo" : "mono", audio.bits,
                static_cast<unsigned long long>(s.audio_bytes), s.audio_snr_db);
  }
}

int RunEncode(int argc, char** argv) {
  EncodeArguments a;
  if (int code = ParseArguments(argc, argv, &a)) return code;

  FileSource video_file, alpha_file;
  if (!video_file.Open(a.input)) return Error("cannot open " + a.input);
  Y4mReader video(&video_file);
  if (!video.ReadHeader()) return Error(a.input + ": " + video.error());
  std::optional<Y4mReader> alpha;
  if (!a.alpha.empty()) {
    if (!alpha_file.Open(a.alpha)) return Error("cannot open " + a.alpha);
    alpha.emplace(&alpha_file);
    if (!alpha->ReadHeader()) return Error(a.alpha + ": " + alpha->error());
    if (alpha->header().width != video.header().width ||
        alpha->header().height != video.header().height)
      return Error(a.alpha + ": the alpha pictures' size differs from the video's");
  }
  WavAudio audio;
  if (!a.audio.empty()) {
    FileSource wav_file;
    if (!wav_file.Open(a.audio)) return Error("cannot open " + a.audio);
    std::string error;
    if (!ReadWav(&wav_file, &audio, &error)) return Error(a.audio + ": " + error);
  }

  MovieFormat format;
  format.width = video.header().width;
  format.height = video.header().height;
  format.rate_num = video.header().rate_num;
  format.rate_den = video.header().rate_den;
  format.grayscale = video.header().layout == Y4mLayout::kMono;
  format.alpha = alpha.has_value();
  MovieEncoder encoder(a.options, format);
  std::string error;
  if (!encoder.Check(&error)) return Error(error);
  if (!a.audio.empty()) encoder.SetAudio(std::move(audio));

  PictureFile recon, recon_alpha;
  if (!a.recon.empty() && !recon.Open(a.recon, format.width, format.height, format.rate_num,
                                      format.rate_den, PictureFile::Kind::kPicture))
    return Error("cannot write " + a.recon);
  if (!a.recon_alpha.empty() &&
      !recon_alpha.Open(a.recon_alpha, format.width, format.height, format.rate_num,
                        format.rate_den, PictureFile::Kind::kAlpha))
    return Error("cannot write " + a.recon_alpha);

  const bool progress = !a.quiet && isatty(STDERR_FILENO);
  const auto start = std::chrono::steady_clock::now();
  Picture picture, alpha_picture;
  uint32_t frames = 0;
  while (video.ReadFrame(&picture)) {
    if (alpha) {
      if (!alpha->ReadFrame(&alpha_picture)) {
        return Error(a.alpha + ": " +
                     (alpha->error().empty()
                          ? "the alpha input ends at frame " + std::to_string(frames + 1)
                          : alpha->error()));
      }
      picture.alpha = std::move(alpha_picture.y);
    }
    if (!encoder.AddFrame(picture, &error)) return Error(error);
    ++frames;
    if (!a.recon.empty() || !a.recon_alpha.empty()) {
      const Picture expected = ReconstructedPicture(encoder.video(), format.width, format.height);
      if ((!a.recon.empty() && !recon.Write(expected)) ||
          (!a.recon_alpha.empty() && !recon_alpha.Write(expected)))
        return Error("cannot write the reconstruction");
    }
    if (progress) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(stderr, "\rframe %u  %.1f frames/s  %llu bytes", frames,
                   seconds > 0 ? frames / seconds : 0.0,
                   static_cast<unsigned long long>(encoder.summary().video_bytes));
    }
  }
  if (progress) std::fputc('\n', stderr);
  if (!video.error().empty()) return Error(a.input + ": " + video.error());
  if (!recon.Close() || !recon_alpha.Close()) return Error("cannot write the reconstruction");

  std::vector<uint8_t> movie;
  if (!encoder.Finish(&movie, &error)) return Error(error);
  FILE* out = std::fopen(a.output.c_str(), "wb");
  bool written = out && std::fwrite(movie.data(), 1, movie.size(), out) == movie.size();
  if (out) written = std::fclose(out) == 0 && written;
  if (!written) return Error("cannot write " + a.output);
  if (!a.recon_wav.empty()) {
    const AudioTrack& track = encoder.audio_track();
    if (!WriteWavFile(a.recon_wav, track.format & TRACK_RATE_MASK,
                      (track.format & TRACK_STEREO) ? 2 : 1, track.decoded))
      return Error("cannot write " + a.recon_wav);
  }
  if (!encoder.summary().audio_warning.empty())
    std::fprintf(stderr, "vexil encode: %s\n", encoder.summary().audio_warning.c_str());
  WavAudio shown;
  if (!a.audio.empty()) {
    const AudioTrack& track = encoder.audio_track();
    shown.rate = track.format & TRACK_RATE_MASK;
    shown.channels = (track.format & TRACK_STEREO) ? 2 : 1;
    shown.bits = (track.format & TRACK_16BIT) ? 16 : 8;
  }
  PrintSummary(encoder.summary(), format, a, shown);
  return 0;
}

int RunEncodeSafely(int argc, char** argv) {
  try {
    return RunEncode(argc, argv);
  } catch (const std::bad_alloc&) {
    return Error("out of memory");
  }
}

const CommandRegistration kEncode{
    {"encode",
     "IN.y4m [--audio IN.wav] [--alpha IN.y4m] -o OUT.vxl [--quality 0-100] [--keyint N]\n"
     "                 [--revision f|g|h|i] [--audio-codec dct|rdft] [--threads N]\n"
     "                 [--recon OUT.y4m] [--recon-alpha OUT.y4m] [--recon-wav OUT.wav] [--quiet]\n"
     "                 make a movie from YUV4MPEG2 pictures and WAV sound",
     RunEncodeSafely}};

}  // namespace
}  // namespace vexil::tools
