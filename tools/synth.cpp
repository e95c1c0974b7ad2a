// vexil synth demo --y4m OUT.y4m --wav OUT.wav [--seconds S] [--size WxH] [--fps N]
// vexil synth closing --y4m OUT.y4m
//
// Writes generated sources for `vexil encode`: the demo movie's pictures and
// music, or the player's closing picture (one 224 x 252 frame at 10 frames
// per second).
#include <cstdio>
#include <string>

#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/progress.h"
#include "tools/synth_music.h"
#include "tools/synth_pictures.h"
#include "tools/wav_writer.h"
#include "tools/y4m_writer.h"

namespace vexil::tools {
namespace {

int RunSynth(const Command& command, int argc, char** argv) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> what;
  std::string y4m, wav, size;
  uint32_t seconds = 8, width = 640, height = 360, fps = 25;
  bool quiet = false, demo_options = false;
  while (args.Next()) {
    if (args.File("--y4m", &y4m) || args.Flag("--quiet", &quiet) || args.Positional(&what))
      continue;
    if (args.File("--wav", &wav) || args.Number("--seconds", 1, 600, &seconds) ||
        args.Value("--size", &size) || args.Number("--fps", 1, 120, &fps)) {
      demo_options = true;
      continue;
    }
    args.Unknown();
  }
  if (args.ended()) return args.exit_code();
  if (what.size() != 1) return args.UsageError("say what to make: demo or closing");
  if (what[0] != "demo" && what[0] != "closing")
    return args.UsageError("unknown source '" + what[0] + "' (demo or closing)");
  const bool demo = what[0] == "demo";
  if (!demo && demo_options)
    return args.UsageError("only the demo takes --wav, --seconds, --size and --fps");
  if (!size.empty()) {
    const size_t x = size.find('x');
    if (x == std::string::npos || !ParseNumber(size.substr(0, x), 16, 4096, &width) ||
        !ParseNumber(size.substr(x + 1), 16, 4096, &height))
      return args.UsageError("--size needs WxH, each 16 to 4096, not '" + size + "'");
  }
  if (y4m.empty()) return args.UsageError("no --y4m output given");
  if (std::string clash = StandardStreamClash({{"--y4m", y4m}, {"--wav", wav}}); !clash.empty())
    return args.UsageError(clash);

  Y4mWriter pictures;
  if (!demo) {
    if (!pictures.Open(y4m, kClosingWidth, kClosingHeight, 10, 1, Y4mWriter::Kind::kPicture) ||
        !pictures.Write(ClosingPicture()) || !pictures.Finish())
      return FileFailure(OutputName(y4m), pictures.error());
    return kExitSuccess;
  }
  if (!pictures.Open(y4m, width, height, fps, 1, Y4mWriter::Kind::kPicture))
    return FileFailure(OutputName(y4m), pictures.error());
  const uint32_t frames = seconds * fps;
  Progress progress("synth", frames, quiet);
  for (uint32_t f = 0; f < frames; ++f) {
    if (!pictures.Write(DemoFrame(width, height, f, fps))) break;
    progress.Update(f + 1);
  }
  progress.Finish();
  if (!pictures.Finish()) return FileFailure(OutputName(y4m), pictures.error());
  std::string error;
  if (!wav.empty() && !WriteWavFile(wav, 44100, 2, DemoMusic(44100, seconds), &error))
    return FileFailure(OutputName(wav), error);
  return kExitSuccess;
}

}  // namespace

const Command kSynthCommand{
    "synth",
    "demo --y4m OUT.y4m [--wav OUT.wav] [--seconds S] [--size WxH] [--fps N] [--quiet]\n"
    "   or: vexil synth closing --y4m OUT.y4m",
    "write generated sources for encode: the demo, or the closing picture",
    "demo: moving pictures with text, sharp edges and smooth areas, and music\n"
    "(44.1 kHz stereo) to encode into the demo movie.\n"
    "closing: the player's built-in closing picture, one 224 x 252 frame at 10\n"
    "frames per second.\n"
    "\n"
    "  --y4m OUT.y4m   the pictures as YUV4MPEG2 4:2:0\n"
    "  --wav OUT.wav   the demo's music as 16-bit PCM WAV\n"
    "  --seconds S     the demo's length, 1 to 600 (default 8)\n"
    "  --size WxH      the demo's picture size, each 16 to 4096 (default 640x360)\n"
    "  --fps N         the demo's frames per second, 1 to 120 (default 25)\n"
    "  --quiet         no progress line\n"
    "\n"
    "One output may be - for standard output. On a terminal a progress line shows\n"
    "the frames written, the total and the time left.\n",
    RunSynth};

}  // namespace vexil::tools
