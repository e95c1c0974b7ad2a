// What the player puts on the screen is the movie: every frame the headless
// window shows equals `vexil frame` of the frame the movie is on, although
// the player copies only changed blocks while the next frame decodes, and
// although late frames' copies are dropped while sound plays.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driven_clock.h"
#include "engine/movie.h"
#include "platform/dialogs.h"
#include "platform/headless/display_headless.h"
#include "platform/headless/window_headless.h"
#include "platform/store.h"
#include "player/player_state.h"
#include "player/startup.h"
#include "test_util.h"

namespace vexil {
namespace {

constexpr uint32_t kWidth = 160, kHeight = 96, kFrames = 50;

const std::string kTool = test::BuiltProgram("tools/vexil");

// Pictures in YUV4MPEG2: a still ground of noise (which the encoder keeps
// as skipped blocks) with a light square that jumps from place to place, so
// that every frame changes few blocks (it is copied block by block) and no
// two frames change the same ones.
void WriteSquares(const std::string& path) {
  uint32_t seed = 5;
  auto noise = [&seed](size_t n, int low, int span) {
    std::string samples(n, '\0');
    for (char& c : samples) {
      seed = seed * 1103515245u + 12345u;
      c = char(low + int((seed >> 16) % uint32_t(span)));
    }
    return samples;
  };
  const std::string ground = noise(size_t(kWidth) * kHeight, 40, 120);
  const std::string chroma = noise(size_t(kWidth / 2) * (kHeight / 2) * 2, 100, 56);
  // Appended piece by piece: GCC 12 sees a false overlap in a literal + std::string
  // (-Wrestrict, on 32-bit targets).
  std::string y4m = "YUV4MPEG2 W";
  y4m += std::to_string(kWidth);
  y4m += " H";
  y4m += std::to_string(kHeight);
  y4m += " F25:1 Ip A1:1 C420jpeg\n";
  for (uint32_t n = 0; n < kFrames; ++n) {
    y4m += "FRAME\n";
    std::string luma = ground;
    const uint32_t x0 = (n * 37) % (kWidth - 24), y0 = (n * 23) % (kHeight - 24);
    for (uint32_t y = y0; y < y0 + 24; ++y)
      for (uint32_t x = x0; x < x0 + 24; ++x) luma[size_t(y) * kWidth + x] = char(220);
    y4m += luma;
    y4m += chroma;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(y4m.data(), 1, y4m.size(), f);
  std::fclose(f);
}

// A movie from the encoder with those pictures and sound, and its frames as
// `vexil frame` makes them (PIXFMT_32 rows: blue, green, red, unused).
class MovieFiles {
 public:
  MovieFiles() : y4m_("squares.y4m"), demo_("demo.y4m"), wav_("demo.wav"), movie_("squares.vxl") {
    WriteSquares(y4m_.path());
    if (test::RunProgram(kTool, {"synth", "demo", "--y4m", demo_.path(), "--wav", wav_.path(),
                                 "--seconds", "2", "--size", "16x16", "--fps", "25"})
                .exit_code != 0 ||
        test::RunProgram(
            kTool, {"encode", y4m_.path(), "--audio", wav_.path(), "-o", movie_.path(), "--quiet"})
                .exit_code != 0)
      return;
    test::TempFile raw("frame.raw");
    for (uint32_t n = 1; n <= kFrames; ++n) {
      if (test::RunProgram(kTool, {"frame", movie_.path(), std::to_string(n), "-o", raw.path()})
              .exit_code != 0)
        return;
      frames_.push_back(test::ReadFileBytes(raw.path()));
    }
  }
  bool ok() const { return frames_.size() == kFrames; }
  const std::string& path() const { return movie_.path(); }
  // Whether a shown picture is frame n.
  bool Is(const platform::KeptFrame& shown, uint32_t n) const {
    if (n < 1 || n > frames_.size() || shown.width != int32_t(kWidth) ||
        shown.height != int32_t(kHeight))
      return false;
    const std::vector<uint8_t>& f = frames_[n - 1];
    for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i)
      if (shown.rgb[i * 3] != f[i * 4 + 2] || shown.rgb[i * 3 + 1] != f[i * 4 + 1] ||
          shown.rgb[i * 3 + 2] != f[i * 4])
        return false;
    return true;
  }

 private:
  test::TempFile y4m_, demo_, wav_, movie_;
  std::vector<std::vector<uint8_t>> frames_;
};

class FramesShown : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { files_ = new MovieFiles; }
  static void TearDownTestSuite() {
    delete files_;
    files_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(files_->ok()) << "the vexil tool did not make the movie";
    platform::SetBackendForTest(platform::Backend::kHeadless);
    platform::HeadlessDisplayConfig display;
    display.keep_frames = true;  // every picture shown is compared with its frame
    platform::ConfigureHeadlessDisplay(display);
    platform::CaptureMessageBoxes(&boxes_);
    platform::SetStores(&user_, &machine_);
  }
  void TearDown() override {
    platform::SetHeadlessMessageHook(nullptr);
    platform::CaptureMessageBoxes(nullptr);
    platform::SetStores(nullptr, nullptr);
  }

  // Plays the movie; every new picture on the screen is checked against the
  // frame the movie is on. `stall` holds the player up once, after that many
  // frames. Returns the frames shown, in order.
  std::vector<uint32_t> Play(const std::string& line, size_t stall = 0) {
    std::vector<uint32_t> shown;
    uint64_t presented = platform::HeadlessFramesPresented();
    platform::SetHeadlessMessageHook([&] {
      platform::HeadlessWindow* w = platform::HeadlessLastWindow();
      Player* p = w ? static_cast<Player*>(w->user_data()) : nullptr;
      if (!p || !p->movie() || p->closing_picture ||
          platform::HeadlessFramesPresented() == presented)
        return;
      presented = platform::HeadlessFramesPresented();
      const uint32_t frame = p->movie()->clock.decoded_frame;
      if (frame == 0) return;  // the window painted before the first frame
      EXPECT_TRUE(files_->Is(platform::HeadlessFrames().back(), frame))
          << "the picture is not frame " << frame;
      if (shown.empty() || shown.back() != frame) shown.push_back(frame);
      skipped_ = p->movie()->clock.skipped_blits;
      if (stall && shown.size() == stall) {
        stall = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
      }
    });
    PlayerStart start;
    start.command_line = line;
    start.movie_names = {files_->path()};
    start.default_command = "";
    start.program_path = "/opt/vexilplay";
    start.closing_picture = std::span<const uint8_t>();
    EXPECT_EQ(RunPlayer(start), kExitSuccess);
    platform::SetHeadlessMessageHook(nullptr);
    return shown;
  }

  static MovieFiles* files_;
  std::vector<platform::ShownMessage> boxes_;
  platform::MemoryStore user_, machine_;
  uint32_t skipped_ = 0;
};

MovieFiles* FramesShown::files_ = nullptr;

TEST_F(FramesShown, EveryFrameAsTheToolMakesIt) {
  test::DrivenClock clock;
  // Without sound (the movie has no track 7) nothing is dropped.
  const std::vector<uint32_t> shown = Play("/T7");
  ASSERT_EQ(shown.size(), kFrames);
  for (uint32_t n = 1; n <= kFrames; ++n) EXPECT_EQ(shown[n - 1], n);
}

TEST_F(FramesShown, AfterDroppedCopies) {
  // In real time with sound: a stall makes frames late, their copies are
  // dropped, and the first frame shown after them is whole.
  const std::vector<uint32_t> shown = Play("", 10);
  EXPECT_GT(skipped_, 0u);
  ASSERT_GT(shown.size(), 11u);
  EXPECT_LT(shown.size(), size_t(kFrames));
  EXPECT_EQ(shown.back(), kFrames);
}

}  // namespace
}  // namespace vexil
