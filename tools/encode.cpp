// vexil encode IN.y4m [--audio IN.wav] [--alpha IN.y4m] -o OUT.vxl [--quality Q]
//   [--keyint N] [--revision f|g|h|i] [--audio-codec dct|rdft] [--threads N]
//   [--recon OUT.y4m] [--recon-alpha OUT.y4m] [--recon-wav OUT.wav] [--quiet]
//
// Makes a movie from YUV4MPEG2 pictures, an optional WAV sound track and an
// optional second YUV4MPEG2 stream whose luma is the alpha plane. The --recon
// outputs are what the encoder expects a decoder to make of the movie, in the
// form `vexil decode` writes.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

#include "encoder/byte_source.h"
#include "encoder/movie_encoder.h"
#include "encoder/wav_reader.h"
#include "encoder/y4m_reader.h"
#include "engine/container.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/progress.h"
#include "tools/stream_files.h"
#include "tools/wav_writer.h"
#include "tools/y4m_writer.h"

namespace vexil::tools {
namespace {

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

std::optional<int> ParseArguments(const Command& command, int argc, char** argv,
                                  EncodeArguments* a) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> inputs;
  std::string revision, codec;
  while (args.Next()) {
    if (args.File("--audio", &a->audio) || args.File("--alpha", &a->alpha) ||
        args.File("-o", &a->output) || args.File("--recon", &a->recon) ||
        args.File("--recon-alpha", &a->recon_alpha) || args.File("--recon-wav", &a->recon_wav) ||
        args.Number("--quality", 0, 100, &a->options.quality) ||
        args.Number("--keyint", 1, UINT32_MAX, &a->options.keyint) ||
        args.Number("--threads", 1, 64, &a->options.threads) ||
        args.Value("--revision", &revision) || args.Value("--audio-codec", &codec) ||
        args.Flag("--quiet", &a->quiet) || args.Positional(&inputs))
      continue;
    args.Unknown();
  }
  if (args.ended()) return args.exit_code();
  if (!revision.empty()) {
    if (revision.size() != 1 || revision[0] < 'f' || revision[0] > 'i')
      return args.UsageError("--revision needs f, g, h or i, not '" + revision + "'");
    a->options.revision = revision[0];
  }
  if (!codec.empty()) {
    if (codec != "dct" && codec != "rdft")
      return args.UsageError("--audio-codec needs dct or rdft, not '" + codec + "'");
    a->options.rdft_audio = codec == "rdft";
  }
  if (inputs.empty()) return args.UsageError("no video input given");
  if (inputs.size() > 1)
    return args.UsageError("more than one video input given (" + inputs[1] + ")");
  a->input = inputs[0];
  if (a->output.empty()) return args.UsageError("no output given (-o OUT.vxl)");
  if (!a->recon_alpha.empty() && a->alpha.empty())
    return args.UsageError("--recon-alpha needs --alpha");
  if (!a->recon_wav.empty() && a->audio.empty())
    return args.UsageError("--recon-wav needs --audio");
  for (const std::string& clash :
       {StandardStreamClash(
            {{"the video input", a->input}, {"--audio", a->audio}, {"--alpha", a->alpha}},
            "standard input"),
        StandardStreamClash({{"-o", a->output},
                             {"--recon", a->recon},
                             {"--recon-alpha", a->recon_alpha},
                             {"--recon-wav", a->recon_wav}})}) {
    if (!clash.empty()) return args.UsageError(clash);
  }
  return std::nullopt;
}

// The frames a YUV4MPEG2 file holds, from its size: the progress line's
// total. 0 (unknown) for standard input and whatever is not a plain file.
uint64_t EstimatedFrames(const std::string& name, const Y4mHeader& h) {
  if (IsStandardStream(name)) return 0;
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(name, ec);
  if (ec) return 0;
  const uint64_t luma = uint64_t{h.width} * h.height;
  const uint64_t half_width = (h.width + 1) / 2;
  uint64_t colour = 0;
  switch (h.layout) {
    case Y4mLayout::k420:
      colour = 2 * half_width * ((h.height + 1) / 2);
      break;
    case Y4mLayout::k422:
      colour = 2 * half_width * h.height;
      break;
    case Y4mLayout::k444:
      colour = 2 * luma;
      break;
    case Y4mLayout::kMono:
      break;
  }
  return size / (luma + colour + 6);  // each frame starts with "FRAME\n"
}

void PrintSummary(FILE* out, const MovieSummary& s, const MovieFormat& f, const EncodeArguments& a,
                  const WavAudio& audio) {
  const double seconds = double(s.frames) * f.rate_den / f.rate_num;
  std::fprintf(out, "%s: %u frames (%u key frames), %.2f seconds, %llu bytes, %.1f kbit/s\n",
               OutputName(a.output).c_str(), s.frames, s.key_frames, seconds,
               static_cast<unsigned long long>(s.movie_bytes),
               seconds > 0 ? s.movie_bytes * 8.0 / seconds / 1000 : 0.0);
  std::fprintf(out, "video: %ux%u, %llu bytes, %.3f bits per pixel\n", f.width, f.height,
               static_cast<unsigned long long>(s.video_bytes),
               s.video_bytes * 8.0 / (double(f.width) * f.height * s.frames));
  std::fprintf(out, "average PSNR: Y %.2f dB", s.psnr[ENCODER_Y]);
  if (s.present[ENCODER_CB])
    std::fprintf(out, ", Cb %.2f dB, Cr %.2f dB", s.psnr[ENCODER_CB], s.psnr[ENCODER_CR]);
  if (s.present[ENCODER_ALPHA]) std::fprintf(out, ", alpha %.2f dB", s.psnr[ENCODER_ALPHA]);
  std::fprintf(out, "\n");
  static const char* kNames[BLOCK_TYPE_COUNT] = {"skip",  "scaled", "motion", "run",     "residue",
                                                 "intra", "fill",   "inter",  "pattern", "raw"};
  uint64_t total = 0;
  for (uint64_t n : s.blocks) total += n;
  std::fprintf(out, "blocks:");
  for (int t = 0; t < BLOCK_TYPE_COUNT; ++t) {
    if (s.blocks[t])
      std::fprintf(out, " %s %.1f%%", kNames[t],
                   100.0 * s.blocks[t] / std::max<uint64_t>(total, 1));
  }
  std::fprintf(out, "\n");
  if (s.audio) {
    std::fprintf(out, "audio: %s, %u Hz, %s, %u-bit, %llu bytes, SNR %.1f dB\n",
                 a.options.rdft_audio ? "rdft" : "dct", audio.rate,
                 audio.channels == 2 ? "stereo" : "mono", audio.bits,
                 static_cast<unsigned long long>(s.audio_bytes), s.audio_snr_db);
  }
}

// Opens an encoder input ("-": standard input); false after printing why.
bool OpenInput(FileSource* source, const std::string& name) {
  errno = 0;
  if (source->Open(name)) {
    if (IsStandardStream(name)) UseBinaryStandardInput();
    return true;
  }
  FileFailure(InputName(name),
              std::string("cannot open: ") + (errno ? std::strerror(errno) : "input/output error"));
  return false;
}

int RunEncode(const Command& command, int argc, char** argv) {
  EncodeArguments a;
  if (auto code = ParseArguments(command, argc, argv, &a)) return *code;

  FileSource video_file, alpha_file;
  if (!OpenInput(&video_file, a.input)) return kExitFailure;
  Y4mReader video(&video_file);
  if (!video.ReadHeader()) return FileFailure(InputName(a.input), video.error());
  std::optional<Y4mReader> alpha;
  if (!a.alpha.empty()) {
    if (!OpenInput(&alpha_file, a.alpha)) return kExitFailure;
    alpha.emplace(&alpha_file);
    if (!alpha->ReadHeader()) return FileFailure(InputName(a.alpha), alpha->error());
    if (alpha->header().width != video.header().width ||
        alpha->header().height != video.header().height)
      return FileFailure(InputName(a.alpha), "the alpha pictures' size differs from the video's");
  }
  WavAudio audio;
  if (!a.audio.empty()) {
    FileSource wav_file;
    if (!OpenInput(&wav_file, a.audio)) return kExitFailure;
    std::string error;
    if (!ReadWav(&wav_file, &audio, &error)) return FileFailure(InputName(a.audio), error);
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
  if (!encoder.Check(&error)) return FileFailure(InputName(a.input), error);
  if (!a.audio.empty()) encoder.SetAudio(std::move(audio));

  Y4mWriter recon, recon_alpha;
  for (auto [writer, name, kind] :
       {std::tuple{&recon, &a.recon, Y4mWriter::Kind::kPicture},
        std::tuple{&recon_alpha, &a.recon_alpha, Y4mWriter::Kind::kAlpha}}) {
    if (!name->empty() &&
        !writer->Open(*name, format.width, format.height, format.rate_num, format.rate_den, kind))
      return FileFailure(OutputName(*name), writer->error());
  }

  Progress progress("encode", EstimatedFrames(a.input, video.header()), a.quiet);
  Picture picture, alpha_picture;
  uint32_t frames = 0;
  while (video.ReadFrame(&picture)) {
    if (alpha) {
      if (!alpha->ReadFrame(&alpha_picture)) {
        progress.Finish();
        return FileFailure(InputName(a.alpha),
                           alpha->error().empty()
                               ? "the alpha input ends at frame " + std::to_string(frames + 1)
                               : alpha->error());
      }
      picture.alpha = std::move(alpha_picture.y);
    }
    if (!encoder.AddFrame(picture, &error)) {
      progress.Finish();
      return FileFailure(InputName(a.input), error);
    }
    ++frames;
    if (recon.is_open() || recon_alpha.is_open()) {
      const Picture expected = ReconstructedPicture(encoder.video(), format.width, format.height);
      for (auto [writer, name] :
           {std::pair{&recon, &a.recon}, std::pair{&recon_alpha, &a.recon_alpha}}) {
        if (writer->is_open() && !writer->Write(expected)) {
          progress.Finish();
          return FileFailure(OutputName(*name), writer->error());
        }
      }
    }
    progress.Update(frames);
  }
  progress.Finish();
  if (!video.error().empty()) return FileFailure(InputName(a.input), video.error());

  std::vector<uint8_t> movie;
  if (!encoder.Finish(&movie, &error)) return FileFailure(InputName(a.input), error);
  OutputFile out;
  if (!out.Open(a.output) || !out.Write(movie.data(), movie.size()))
    return FileFailure(OutputName(a.output), out.error());
  if (!a.recon_wav.empty()) {
    const AudioTrack& track = encoder.audio_track();
    if (!WriteWavFile(a.recon_wav, track.format & TRACK_RATE_MASK,
                      (track.format & TRACK_STEREO) ? 2 : 1, track.decoded, &error))
      return FileFailure(OutputName(a.recon_wav), error);
  }
  for (auto [writer, name] :
       {std::pair{&recon, &a.recon}, std::pair{&recon_alpha, &a.recon_alpha}}) {
    if (writer->is_open() && !writer->Finish())
      return FileFailure(OutputName(*name), writer->error());
  }
  if (!out.Finish()) return FileFailure(OutputName(a.output), out.error());
  if (!encoder.summary().audio_warning.empty())
    std::fprintf(stderr, "vexil encode: %s\n", encoder.summary().audio_warning.c_str());
  WavAudio shown;
  if (!a.audio.empty()) {
    const AudioTrack& track = encoder.audio_track();
    shown.rate = track.format & TRACK_RATE_MASK;
    shown.channels = (track.format & TRACK_STEREO) ? 2 : 1;
    shown.bits = (track.format & TRACK_16BIT) ? 16 : 8;
  }
  // The summary goes beside the data, never into it.
  const bool data_on_stdout = IsStandardStream(a.output) || IsStandardStream(a.recon) ||
                              IsStandardStream(a.recon_alpha) || IsStandardStream(a.recon_wav);
  PrintSummary(data_on_stdout ? stderr : stdout, encoder.summary(), format, a, shown);
  return kExitSuccess;
}

int RunEncodeSafely(const Command& command, int argc, char** argv) {
  try {
    return RunEncode(command, argc, argv);
  } catch (const std::bad_alloc&) {
    return CommandFailure(command, "out of memory");
  }
}

}  // namespace

const Command kEncodeCommand{
    "encode",
    "IN.y4m [--audio IN.wav] [--alpha IN.y4m] -o OUT.vxl [--quality 0-100]\n"
    "                    [--keyint N] [--revision f|g|h|i] [--audio-codec dct|rdft]\n"
    "                    [--threads N] [--recon OUT.y4m] [--recon-alpha OUT.y4m]\n"
    "                    [--recon-wav OUT.wav] [--quiet]",
    "make a movie from YUV4MPEG2 pictures and WAV sound",
    "Reads YUV4MPEG2 pictures (4:2:0, 4:2:2, 4:4:4 or mono; colour is brought to\n"
    "4:2:0) and writes a movie; prints a summary (frames, bytes, bits per pixel,\n"
    "PSNR per plane, block kinds, the sound's SNR).\n"
    "\n"
    "  -o OUT.vxl            the movie\n"
    "  --audio IN.wav        a sound track from 8- or 16-bit PCM WAV, mono or stereo\n"
    "  --alpha IN.y4m        an alpha plane: the luma of a second YUV4MPEG2 stream\n"
    "  --quality 0-100       picture quality (default 75)\n"
    "  --keyint N            a key frame every N frames (default: every 4 seconds)\n"
    "  --revision f|g|h|i    the container revision to write (default i)\n"
    "  --audio-codec dct|rdft  the sound codec (default dct)\n"
    "  --threads N           encoder threads, 1 to 64 (default: the processors, at most 4)\n"
    "  --recon OUT.y4m       the pictures a decoder will make of the movie\n"
    "  --recon-alpha OUT.y4m the alpha plane a decoder will make of it\n"
    "  --recon-wav OUT.wav   the sound a decoder will make of it\n"
    "  --quiet               no progress line\n"
    "\n"
    "An input may be - for standard input (one of them), an output - for standard\n"
    "output (one of them; the summary then goes to standard error). On a terminal\n"
    "a progress line shows the frames done and, for a file, the total and the time\n"
    "left.\n",
    RunEncodeSafely};

}  // namespace vexil::tools
