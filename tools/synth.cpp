// vexil synth demo --y4m OUT.y4m --wav OUT.wav [--seconds S] [--size WxH] [--fps N]
// vexil synth closing --y4m OUT.y4m
//
// Writes generated sources for `vexil encode`: the demo movie's pictures and
// music, or the player's closing picture (one 224 x 252 frame at 10 frames
// per second).
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/commands.h"
#include "tools/media_files.h"
#include "tools/synth_music.h"
#include "tools/synth_pictures.h"

namespace vexil::tools {
namespace {

constexpr const char* kUsage =
    "usage: vexil synth demo --y4m OUT.y4m [--wav OUT.wav] [--seconds 1-600] [--size WxH] [--fps "
    "N]\n"
    "       vexil synth closing --y4m OUT.y4m\n";

bool ParseNumber(const std::string& text, uint32_t min, uint32_t max, uint32_t* out) {
  uint32_t v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || text.empty() || v < min || v > max)
    return false;
  *out = v;
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "vexil synth: %s\n%s", message.c_str(), kUsage);
  return 2;
}

int RunSynth(int argc, char** argv) {
  if (argc < 1) return Fail("say what to make: demo or closing");
  const std::string what = argv[0];
  if (what != "demo" && what != "closing") return Fail("unknown source " + what);
  std::string y4m, wav;
  uint32_t seconds = 8, width = 640, height = 360, fps = 25;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::string value = i + 1 < argc ? argv[i + 1] : "";
    if (arg == "--y4m" && i + 1 < argc) {
      y4m = argv[++i];
    } else if (arg == "--wav" && i + 1 < argc && what == "demo") {
      wav = argv[++i];
    } else if (arg == "--seconds" && what == "demo") {
      if (!ParseNumber(value, 1, 600, &seconds)) return Fail("--seconds needs 1 to 600");
      ++i;
    } else if (arg == "--fps" && what == "demo") {
      if (!ParseNumber(value, 1, 120, &fps)) return Fail("--fps needs 1 to 120");
      ++i;
    } else if (arg == "--size" && what == "demo") {
      const size_t x = value.find('x');
      if (x == std::string::npos || !ParseNumber(value.substr(0, x), 16, 4096, &width) ||
          !ParseNumber(value.substr(x + 1), 16, 4096, &height))
        return Fail("--size needs WxH, each 16 to 4096");
      ++i;
    } else {
      return Fail("unexpected argument " + arg);
    }
  }
  if (y4m.empty()) return Fail("no --y4m output given");

  PictureFile pictures;
  if (what == "closing") {
    if (!pictures.Open(y4m, kClosingWidth, kClosingHeight, 10, 1, PictureFile::Kind::kPicture) ||
        !pictures.Write(ClosingPicture()) || !pictures.Close()) {
      std::fprintf(stderr, "vexil synth: cannot write %s\n", y4m.c_str());
      return 1;
    }
    return 0;
  }
  if (!pictures.Open(y4m, width, height, fps, 1, PictureFile::Kind::kPicture)) {
    std::fprintf(stderr, "vexil synth: cannot write %s\n", y4m.c_str());
    return 1;
  }
  for (uint32_t f = 0; f < seconds * fps; ++f) {
    if (!pictures.Write(DemoFrame(width, height, f, fps))) break;
  }
  if (!pictures.Close()) {
    std::fprintf(stderr, "vexil synth: cannot write %s\n", y4m.c_str());
    return 1;
  }
  if (!wav.empty() && !WriteWavFile(wav, 44100, 2, DemoMusic(44100, seconds))) {
    std::fprintf(stderr, "vexil synth: cannot write %s\n", wav.c_str());
    return 1;
  }
  return 0;
}

const CommandRegistration kSynth{
    {"synth",
     "demo --y4m OUT.y4m [--wav OUT.wav] [--seconds S] [--size WxH] [--fps N]\n"
     "                 | closing --y4m OUT.y4m\n"
     "                 write generated sources for encode: the demo or the closing picture",
     RunSynth}};

}  // namespace
}  // namespace vexil::tools
