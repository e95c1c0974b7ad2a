// vexilplay on a real X server of its own (Xvfb) with SDL: the window shows
// the movie's frames exactly as `vexil frame` makes them, keys sent as a user
// types them pause, skip and quit, the closing picture follows, and SDL's
// disk audio driver captures the sound track as it decodes. Skipped when no
// X server or tool it needs can start.
#include <gtest/gtest.h>

#if defined(VEXIL_HAVE_SDL) && !defined(_WIN32)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "player/closing_picture.h"
#include "player/default_command.h"
#include "test_util.h"
#include "x_server.h"

extern char** environ;

namespace vexil {
namespace {

constexpr const char* kFirst = "movie_006.vxl";   // 93 x 76, 7 frames at 3 per second
constexpr const char* kSecond = "movie_003.vxl";  // 100 x 80, sound track 3
constexpr uint32_t kFirstFrames = 7;

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The player, started in the background with its own environment.
class PlayerProcess {
 public:
  bool Start(const std::vector<std::string>& arguments, const std::vector<std::string>& env) {
    std::vector<std::string> all_env;
    for (char** e = environ; *e; ++e) all_env.push_back(*e);
    all_env.insert(all_env.end(), env.begin(), env.end());
    std::vector<char*> envp, argv;
    for (std::string& e : all_env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), envp.data()) == 0;
  }
  // The exit code, or -1 when it has not ended within `ms` (it is then killed).
  int Wait(int ms) {
    for (int waited = 0; pid_ > 0; waited += 20) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (waited >= ms) break;
      Pause(20);
    }
    Kill();
    return -1;
  }
  bool Running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  ~PlayerProcess() { Kill(); }

 private:
  pid_t pid_ = -1;
};

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

class SdlPlayer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    skip_ = "SDL's X11 driver is not usable in an instrumented process";
    return;
#endif
    for (const char* tool : {"Xvfb", "xdotool", "import"}) {
      if (!Have(tool)) {
        skip_ = std::string(tool) + " is not installed";
        return;
      }
    }
    server_ = new XServer(400);
    skip_ = server_->Start();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << "no X server: " << skip_;
  }

  std::string X() const {
    return "DISPLAY=" + server_->display() + " ";
  }

  // The window with this title, once it exists (0 after `ms`).
  unsigned long FindWindow(const std::string& title, int ms) {
    for (int waited = 0; waited < ms; waited += 100) {
      const std::string out = Output(X() + "xdotool search --name '^" + title + "$'");
      if (!out.empty()) return std::strtoul(out.c_str(), nullptr, 10);
      Pause(100);
    }
    return 0;
  }
  Geometry WindowGeometry(unsigned long window) {
    Geometry g;
    const std::string out =
        Output(X() + "xdotool getwindowgeometry --shell " + std::to_string(window));
    std::sscanf(out.c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &g.x, &g.y, &g.width,
                &g.height);
    return g;
  }
  void Key(unsigned long window, const char* key) {
    Output(X() + "xdotool windowfocus " + std::to_string(window) + " key " + key);
  }
  // The window's client area on the screen.
  Picture Screenshot(const Geometry& g, const std::string& name) {
    return server_->Screenshot(g.x, g.y, g.width, g.height, name);
  }

  // Frame n of a movie as `vexil frame` makes it: PIXFMT_32 rows (B, G, R, x).
  static std::vector<uint8_t> Reference(const std::string& movie, uint32_t n) {
    test::TempFile out("frame.raw");
    if (test::RunProgram(test::BuiltProgram("tools/vexil"),
                         {"frame", movie, std::to_string(n), "-o", out.path()})
            .exit_code != 0)
      return {};
    return test::ReadFileBytes(out.path());
  }
  // Which of the references the picture is, exactly (0: none).
  static uint32_t Match(const Picture& shot, const std::vector<std::vector<uint8_t>>& references) {
    for (size_t k = 0; k < references.size(); ++k) {
      const std::vector<uint8_t>& r = references[k];
      if (r.size() != size_t(shot.width) * shot.height * 4) continue;
      bool same = true;
      for (size_t i = 0, n = size_t(shot.width) * shot.height; same && i < n; ++i)
        same = shot.rgb[i * 3] == r[i * 4 + 2] && shot.rgb[i * 3 + 1] == r[i * 4 + 1] &&
               shot.rgb[i * 3 + 2] == r[i * 4];
      if (same) return uint32_t(k + 1);
    }
    return 0;
  }

  static XServer* server_;
  static std::string skip_;
};

XServer* SdlPlayer::server_ = nullptr;
std::string SdlPlayer::skip_;

TEST_F(SdlPlayer, ShowsTheFramesAndFollowsTheKeys) {
  const std::string first = test::VectorsDir() + "/video/" + kFirst;
  const std::string second = test::VectorsDir() + "/video/" + kSecond;
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t n = 1; n <= kFirstFrames; ++n) frames.push_back(Reference(first, n));
  ASSERT_EQ(frames[0].size(), size_t(93) * 76 * 4) << "vexil frame failed";

  // The built-in closing picture, as a file `vexil frame` can read.
  test::TempFile closing(
      std::vector<uint8_t>(kClosingPicture, kClosingPicture + kClosingPictureSize), "closing.vxl");
  const std::vector<std::vector<uint8_t>> closing_frame{Reference(closing.path(), 1)};

  test::TempFile sound("sound.raw");
  PlayerProcess player;
  ASSERT_TRUE(
      player.Start({test::BuiltProgram("player/vexilplay"), "/L", "/T3", first, second},
                   {"DISPLAY=" + server_->display(), "VEXIL_PLATFORM=sdl", "SDL_VIDEODRIVER=x11",
                    "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + sound.path()}));

  const unsigned long window = FindWindow("movie_006.vxl - Vexil Video Player", 10000);
  ASSERT_NE(window, 0u) << "no player window";
  Pause(300);
  const Geometry g = WindowGeometry(window);
  EXPECT_EQ(g.width, 93);
  EXPECT_EQ(g.height, 76);
  // Centred on the 1024 x 768 screen (no window manager, no frame).
  EXPECT_EQ(g.x, (1024 - 93) / 2 & ~3);
  EXPECT_EQ(g.y, (768 - 76) / 2);

  // Playing: every screenshot is one of the movie's frames, and they change.
  std::vector<uint32_t> seen;
  for (int i = 0; i < 6; ++i) {
    const uint32_t k = Match(Screenshot(g, "playing" + std::to_string(i)), frames);
    if (k) seen.push_back(k);
    Pause(150);
  }
  ASSERT_GE(seen.size(), 4u) << "screenshots that are no frame of the movie";
  EXPECT_NE(seen.front(), seen.back());

  // Space pauses: the picture stays.
  Key(window, "space");
  Pause(400);
  const uint32_t paused = Match(Screenshot(g, "paused1"), frames);
  Pause(1200);
  EXPECT_NE(paused, 0u);
  EXPECT_EQ(Match(Screenshot(g, "paused2"), frames), paused);
  // Space again resumes it.
  Key(window, "space");
  Pause(1000);
  EXPECT_NE(Match(Screenshot(g, "resumed"), frames), paused);

  // Period skips to the next movie, which plays with its sound.
  Key(window, "period");
  EXPECT_NE(FindWindow("movie_003.vxl - Vexil Video Player", 3000), 0u) << "no skip";
  Pause(1500);

  // Escape: the closing picture in a window of its own size, then the end.
  Key(window, "Escape");
  Pause(700);
  const Geometry c = WindowGeometry(window);
  EXPECT_EQ(c.width, 224);
  EXPECT_EQ(c.height, 252);
  EXPECT_EQ(Match(Screenshot(c, "closing"), closing_frame), 1u);
  EXPECT_EQ(player.Wait(5000), 0);

  // The sound: the track's first decoded samples reached the audio device as
  // they are (after the silence the device starts with).
  test::TempFile wav("track.wav");
  ASSERT_EQ(test::RunProgram(test::BuiltProgram("tools/vexil"),
                             {"decode", second, "--wav", wav.path(), "--track", "3", "--quiet"})
                .exit_code,
            0);
  const std::vector<uint8_t> decoded = test::ReadFileBytes(wav.path());
  const std::vector<uint8_t> captured = test::ReadFileBytes(sound.path());
  ASSERT_GT(decoded.size(), 44u + 4096);
  const std::vector<uint8_t> start(decoded.begin() + 44, decoded.begin() + 44 + 4096);
  EXPECT_NE(std::search(captured.begin(), captured.end(), start.begin(), start.end()),
            captured.end())
      << "captured " << captured.size() << " bytes without the track's start";
}

// A copy of the player named as a screen saver, carrying `movie` and playing
// it by default; on Linux "/p N" draws into the X window N.
TEST_F(SdlPlayer, ScreensaverPreviewDrawsIntoTheGivenWindow) {
  std::vector<uint8_t> program = test::ReadFileBytes(test::BuiltProgram("player/vexilplay"));
  const std::vector<uint8_t> movie = test::ReadFileBytes(test::VectorsDir() + "/video/" + kFirst);
  ASSERT_FALSE(movie.empty());
  ASSERT_TRUE(WriteDefaultCommandBlock(program.data(), program.size(),
                                       ":" + std::to_string(program.size())));
  program.insert(program.end(), movie.begin(), movie.end());
  test::TempFile saver(program, "vexil.scr");
  std::filesystem::permissions(saver.path(), std::filesystem::perms::owner_all);

  // The host: another program's window, here the closing picture held still.
  test::TempFile closing(
      std::vector<uint8_t>(kClosingPicture, kClosingPicture + kClosingPictureSize), "closing.vxl");
  const std::vector<std::string> env = {"DISPLAY=" + server_->display(), "VEXIL_PLATFORM=sdl",
                                        "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"};
  PlayerProcess host;
  ASSERT_TRUE(
      host.Start({test::BuiltProgram("player/vexilplay"), "/L", "/J", closing.path()}, env));
  const unsigned long window = FindWindow("closing.vxl - Vexil Video Player", 10000);
  ASSERT_NE(window, 0u) << "no host window";
  Pause(500);
  const Geometry g = WindowGeometry(window);
  ASSERT_EQ(g.width, 224);
  const Picture before = Screenshot(g, "host");

  PlayerProcess preview;
  ASSERT_TRUE(preview.Start({saver.path(), "/p", std::to_string(window)}, env));
  Pause(1500);
  const Picture first = Screenshot(g, "preview1");
  Pause(700);
  const Picture second = Screenshot(g, "preview2");
  // The preview plays on (a window above 15 ignores the pointer) until the
  // host ends it.
  EXPECT_TRUE(preview.Running());
  preview.Kill();
  host.Kill();
  ASSERT_FALSE(before.rgb.empty());
  ASSERT_EQ(first.rgb.size(), before.rgb.size());
  EXPECT_NE(first.rgb, before.rgb) << "the preview drew nothing into the window";
  EXPECT_NE(first.rgb, second.rgb) << "the preview does not play";
}

}  // namespace
}  // namespace vexil

#else
TEST(SdlPlayer, NeedsSdl) {
  GTEST_SKIP() << "built without SDL";
}
#endif
