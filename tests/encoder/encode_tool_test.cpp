// vexil encode: what it writes, `vexil decode` turns into exactly the
// reconstruction it reports (pictures, alpha and sound, every revision and
// both audio codecs); bad inputs and arguments end with a clear message.
#include <gtest/gtest.h>

#include <string>

#include "encoder_test_util.h"
#include "engine/container.h"
#include "test_util.h"

namespace vexil {
namespace {

const std::string kTool = test::BuiltProgram("tools/vexil");

// Runs the tool with arguments written as one line; returns its exit code and
// what it wrote on standard error.
int RunVexil(const std::string& arguments, std::string* errors = nullptr) {
  const test::ProgramOutcome o = test::RunProgram(kTool, test::SplitAtBlanks(arguments));
  if (errors) *errors = o.error_output;
  return o.exit_code;
}

std::vector<uint8_t> Y4mFile(const std::vector<Picture>& pictures, const std::string& layout,
                             bool alpha_only = false) {
  const Picture& first = pictures.front();
  const std::string header = "YUV4MPEG2 W" + std::to_string(first.width) + " H" +
                             std::to_string(first.height) + " F25:1 Ip A1:1 C" + layout + "\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  for (const Picture& p : pictures) {
    const std::string frame = "FRAME\n";
    out.insert(out.end(), frame.begin(), frame.end());
    const auto& y = alpha_only ? p.alpha : p.y;
    out.insert(out.end(), y.begin(), y.end());
    if (layout == "mono") continue;
    if (layout == "444") {
      // Each 4:2:0 sample repeated over its 2x2 group.
      for (const auto* plane : {&p.cb, &p.cr}) {
        for (uint32_t r = 0; r < p.height; ++r)
          for (uint32_t c = 0; c < p.width; ++c)
            out.push_back((*plane)[size_t{r / 2} * p.chroma_width() + c / 2]);
      }
      continue;
    }
    out.insert(out.end(), p.cb.begin(), p.cb.end());
    out.insert(out.end(), p.cr.begin(), p.cr.end());
  }
  return out;
}

std::vector<uint8_t> WavFile(uint32_t rate, uint32_t channels, size_t frames) {
  std::vector<uint8_t> out(44);
  const uint32_t data = static_cast<uint32_t>(frames * channels * 2);
  std::memcpy(out.data(), "RIFF", 4);
  WriteLE32(&out[4], 36 + data);
  std::memcpy(&out[8], "WAVEfmt ", 8);
  WriteLE32(&out[16], 16);
  WriteLE32(&out[20], 1 | channels << 16);
  WriteLE32(&out[24], rate);
  WriteLE32(&out[28], rate * channels * 2);
  WriteLE32(&out[32], channels * 2 | 16 << 16);
  std::memcpy(&out[36], "data", 4);
  WriteLE32(&out[40], data);
  for (size_t i = 0; i < frames * channels; ++i) {
    const int16_t v = static_cast<int16_t>(8000 * std::sin(i * 0.05) + 3000 * std::sin(i * 0.31));
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  return out;
}

TEST(EncodeTool, DecodeReproducesTheReportedReconstruction) {
  struct Case {
    const char* options;
    const char* layout;
    bool alpha, audio;
  };
  const Case cases[] = {
      {"", "420jpeg", true, true},
      {"--revision f --audio-codec rdft --quality 60", "420", false, true},
      {"--revision g --keyint 2", "444", true, false},
      {"--revision h --quality 90", "mono", false, true},
      {"--quality 20 --audio-codec rdft", "420mpeg2", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.options) + " C" + c.layout);
    std::vector<Picture> pictures;
    for (uint32_t t = 0; t < 6; ++t)
      pictures.push_back(test::MakePicture(test::Content::kMovingShapes, 45, 30, t, false, true));
    test::TempFile video(Y4mFile(pictures, c.layout), "in.y4m");
    test::TempFile alpha(Y4mFile(pictures, "mono", true), "alpha.y4m");
    test::TempFile audio(WavFile(22050, 2, 5000), "in.wav");
    test::TempFile movie("out.vxl"), recon("recon.y4m"), recon_alpha("recon_alpha.y4m"),
        recon_wav("recon.wav"), decoded("decoded.y4m"), decoded_alpha("decoded_alpha.y4m"),
        decoded_wav("decoded.wav");
    std::string args = "encode " + video.path() + " -o " + movie.path() + " --quiet " + c.options +
                       " --recon " + recon.path();
    std::string decode = "decode " + movie.path() + " --y4m " + decoded.path();
    if (c.alpha) {
      args += " --alpha " + alpha.path() + " --recon-alpha " + recon_alpha.path();
      decode += " --alpha " + decoded_alpha.path();
    }
    if (c.audio) {
      args += " --audio " + audio.path() + " --recon-wav " + recon_wav.path();
      decode += " --wav " + decoded_wav.path();
    }
    std::string errors;
    ASSERT_EQ(RunVexil(args, &errors), 0) << errors;
    ASSERT_EQ(RunVexil(decode, &errors), 0) << errors;
    const auto picture_bytes = test::ReadFileBytes(decoded.path());
    EXPECT_GT(picture_bytes.size(), 6u * 45 * 30);
    EXPECT_TRUE(picture_bytes == test::ReadFileBytes(recon.path()));
    if (c.alpha) {
      EXPECT_TRUE(test::ReadFileBytes(decoded_alpha.path()) ==
                  test::ReadFileBytes(recon_alpha.path()));
    }
    if (c.audio) {
      const auto sound = test::ReadFileBytes(decoded_wav.path());
      EXPECT_EQ(sound.size(), 44u + 5000 * 2 * 2);  // every input sample, no more
      EXPECT_TRUE(sound == test::ReadFileBytes(recon_wav.path()));
    }
    // The header says what the inputs were; key frames where asked for.
    const auto bytes = test::ReadFileBytes(movie.path());
    ASSERT_GT(bytes.size(), 44u);
    const std::string options = c.options;
    const char revision = options.find("--revision ") != std::string::npos
                              ? options[options.find("--revision ") + 11]
                              : 'i';
    EXPECT_EQ(bytes[3], revision);
    const uint32_t flags = ReadLE32(&bytes[36]);
    EXPECT_EQ(!!(flags & HEADER_ALPHA), c.alpha);
    EXPECT_EQ(!!(flags & HEADER_GRAYSCALE), std::string(c.layout) == "mono");
    const uint32_t tracks = ReadLE32(&bytes[40]);
    EXPECT_EQ(tracks, c.audio ? 1u : 0u);
    const uint32_t keyint = options.find("--keyint 2") != std::string::npos ? 2 : 100;
    for (uint32_t f = 0; f < 6; ++f) {
      const uint32_t entry = ReadLE32(&bytes[44 + 12 * tracks + 4 * f]);
      EXPECT_EQ(entry & INDEX_KEY, f % keyint == 0 ? 1u : 0u) << "frame " << f;
    }
  }
}

TEST(EncodeTool, BadInputsAndArgumentsEndWithAMessage) {
  std::vector<Picture> pictures = {
      test::MakePicture(test::Content::kGradient, 16, 16, 0, false, true)};
  test::TempFile good(Y4mFile(pictures, "420jpeg"), "good.y4m");
  test::TempFile wrong_size(
      Y4mFile({test::MakePicture(test::Content::kGradient, 8, 16, 0)}, "mono"), "small.y4m");
  const std::string bad_colour = "YUV4MPEG2 W16 H16 F25:1 C420p10\n";
  test::TempFile unsupported(std::vector<uint8_t>(bad_colour.begin(), bad_colour.end()), "p10.y4m");
  test::TempFile no_frames(
      std::vector<uint8_t>{'Y', 'U', 'V', '4', 'M', 'P', 'E', 'G', '2', ' ', 'W',
                           '4', ' ', 'H', '4', ' ', 'F', '1', ':', '1', '\n'},
      "empty.y4m");
  std::vector<uint8_t> float_wav = WavFile(8000, 1, 10);
  float_wav[20] = 3;
  test::TempFile wav(float_wav, "float.wav");
  test::TempFile out("out.vxl");
  struct Bad {
    std::string args;
    int code;
    const char* message;
  };
  const Bad cases[] = {
      {"encode", 2, "no video input"},
      {"encode " + good.path(), 2, "no output"},
      {"encode " + good.path() + " -o " + out.path() + " --quality 101", 2, "--quality"},
      {"encode " + good.path() + " -o " + out.path() + " --keyint 0", 2, "--keyint"},
      {"encode " + good.path() + " -o " + out.path() + " --revision e", 2, "--revision"},
      {"encode " + good.path() + " -o " + out.path() + " --audio-codec mp3", 2, "--audio-codec"},
      {"encode " + good.path() + " -o " + out.path() + " --frobnicate", 2, "unknown option"},
      {"encode /no/such/file.y4m -o " + out.path(), 1, "cannot open"},
      {"encode " + unsupported.path() + " -o " + out.path(), 1, "C420p10 is not supported"},
      {"encode " + no_frames.path() + " -o " + out.path(), 1, "holds no frames"},
      {"encode " + good.path() + " --alpha " + wrong_size.path() + " -o " + out.path(), 1,
       "size differs"},
      {"encode " + good.path() + " --audio " + wav.path() + " -o " + out.path(), 1, "not PCM"},
      {"encode " + good.path() + " -o /no/such/dir/out.vxl", 1, "cannot write"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.args);
    std::string errors;
    EXPECT_EQ(RunVexil(c.args, &errors), c.code);
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
  }
}

}  // namespace
}  // namespace vexil
