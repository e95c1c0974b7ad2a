// vexilplay on a real X server of its own (Xvfb) with SDL: the window shows
// the movie's frames exactly as `vexil frame` makes them, keys sent as a user
// types them pause, skip and quit, the closing picture follows, and SDL's
// disk audio driver hands the sound track to the test as it plays. Skipped
// when no X server or tool it needs can start.
//
// The machine may be busy: nothing here waits a fixed time for the player.
// Every check waits for what it looks for, up to a deadline far beyond what a
// loaded machine needs, and judges only what it saw.
#include <gtest/gtest.h>

#if defined(VEXIL_HAVE_SDL) && !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
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

constexpr const char* kSecond = "movie_003.vxl";  // 100 x 80, 0.36 s, sound track 3
constexpr const char* kMovie = "movie_006.vxl";   // 93 x 76, 7 frames at 3 per second
// The first movie's frames: 15 seconds at 3 per second.
constexpr uint32_t kFirstFrames = 45;
// Far beyond what any state below takes to come on a loaded machine.
constexpr int kDeadlineMs = 20000;
// Longer than three frames of the first movie last: a picture that stays this
// long belongs to a movie that does not play.
constexpr int kStillMs = 1200;

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

// Asks `done` again and again until it says yes; false when `ms` passed first.
bool WaitUntil(const std::function<bool()>& done, int ms = kDeadlineMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    Pause(50);
  }
}

// The player, started in the background with its own environment.
class PlayerProcess {
 public:
  // `error_file`: where its standard error goes (empty: where the test's goes).
  bool Start(const std::vector<std::string>& arguments, const std::vector<std::string>& env,
             const std::string& error_file = "") {
    std::vector<std::string> all_env;
    for (char** e = environ; *e; ++e) all_env.push_back(*e);
    all_env.insert(all_env.end(), env.begin(), env.end());
    std::vector<char*> envp, argv;
    for (std::string& e : all_env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!error_file.empty())
      posix_spawn_file_actions_addopen(&actions, 2, error_file.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool started =
        posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
  }
  bool Running() {
    Reap();
    return pid_ > 0;
  }
  // The exit code, or -1 when it has not ended within `ms` (it is then killed).
  int Wait(int ms) {
    WaitUntil([&] { return !Running(); }, ms);
    Kill();
    return code_;
  }
  // Holds the player still (its window keeps what it shows) and lets it go on.
  void Hold(bool hold) {
    if (pid_ > 0) kill(pid_, hold ? SIGSTOP : SIGCONT);
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  ~PlayerProcess() { Kill(); }

 private:
  void Reap() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return;
    pid_ = -1;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t pid_ = -1;
  int code_ = -1;
};

// What SDL's disk audio driver writes, through a named pipe. The driver opens
// its file anew for every sound device, and a plain file would then hold only
// the last device's sound; the pipe hands the test everything every device
// played, in order.
class SoundPipe {
 public:
  SoundPipe() : file_("sound.pipe") {
    if (mkfifo(file_.c_str(), 0600) != 0) return;
    // Open for writing too, so that the pipe never reports its end between
    // two devices and a device's open never waits for a reader.
    fd_ = open(file_.c_str(), O_RDWR | O_NONBLOCK);
    if (fd_ >= 0) reader_ = std::thread([this] { Read(); });
  }
  ~SoundPipe() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) close(fd_);
  }
  SoundPipe(const SoundPipe&) = delete;
  SoundPipe& operator=(const SoundPipe&) = delete;

  bool ready() const { return fd_ >= 0; }
  const std::string& path() const { return file_.path(); }
  // Bytes played so far, those not yet taken from the pipe included.
  size_t Played() {
    int pending = 0;
    if (ioctl(fd_, FIONREAD, &pending) != 0) pending = 0;
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_.size() + size_t(std::max(pending, 0));
  }
  // Everything, once the player has ended.
  std::vector<uint8_t> Finish() {
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    Drain();
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
  }

 private:
  void Read() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) Drain();
    }
  }
  void Drain() {
    uint8_t buffer[4096];
    ssize_t n;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
      std::lock_guard<std::mutex> guard(lock_);
      bytes_.insert(bytes_.end(), buffer, buffer + n);
    }
  }

  test::TempFile file_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  std::vector<uint8_t> bytes_;  // guarded by lock_
  std::thread reader_;
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
  unsigned long FindWindow(const std::string& title, int ms = kDeadlineMs) {
    unsigned long window = 0;
    WaitUntil(
        [&] {
          const std::string out = Output(X() + "xdotool search --name '^" + title + "$'");
          window = out.empty() ? 0 : std::strtoul(out.c_str(), nullptr, 10);
          return window != 0;
        },
        ms);
    return window;
  }
  std::string Title(unsigned long window) {
    std::string out = Output(X() + "xdotool getwindowname " + std::to_string(window));
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
  }
  Geometry WindowGeometry(unsigned long window) {
    Geometry g;
    const std::string out =
        Output(X() + "xdotool getwindowgeometry --shell " + std::to_string(window));
    std::sscanf(out.c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &g.x, &g.y, &g.width,
                &g.height);
    return g;
  }
  // The window once it has this size and, without a window manager, sits
  // centred on the 1024 x 768 screen as the player places it.
  bool WaitForCentred(unsigned long window, int width, int height, Geometry* g) {
    return WaitUntil([&] {
      *g = WindowGeometry(window);
      return g->width == width && g->height == height && g->x == ((1024 - width) / 2 & ~3) &&
             g->y == (768 - height) / 2;
    });
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
  // The frame the window holds for longer than three frames last, once it
  // does (0 when it never settles).
  uint32_t StillFrame(const Geometry& g, const std::vector<std::vector<uint8_t>>& frames) {
    uint32_t still = 0;
    WaitUntil([&] {
      const uint32_t before = Match(Screenshot(g, "still1"), frames);
      Pause(kStillMs);
      const uint32_t after = Match(Screenshot(g, "still2"), frames);
      still = before && before == after ? before : 0;
      return still != 0;
    });
    return still;
  }

  static XServer* server_;
  static std::string skip_;
};

XServer* SdlPlayer::server_ = nullptr;
std::string SdlPlayer::skip_;

TEST_F(SdlPlayer, ShowsTheFramesAndFollowsTheKeys) {
  // A first movie long enough (15 s) that it never ends by itself while the
  // keys are tried, whatever the load.
  test::TempFile first("long.vxl");
  const test::TempFile pictures("long.y4m");
  const std::string vexil = test::BuiltProgram("tools/vexil");
  ASSERT_EQ(test::RunProgram(vexil, {"synth", "demo", "--y4m", pictures.path(), "--seconds", "15",
                                     "--size", "92x76", "--fps", "3"})
                .exit_code,
            0);
  ASSERT_EQ(
      test::RunProgram(vexil, {"encode", pictures.path(), "-o", first.path(), "--quiet"}).exit_code,
      0);
  const std::string second = test::VectorsDir() + "/video/" + kSecond;
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t n = 1; n <= kFirstFrames; ++n) frames.push_back(Reference(first.path(), n));
  ASSERT_EQ(frames.back().size(), size_t(92) * 76 * 4) << "vexil frame failed";

  // The built-in closing picture, as a file `vexil frame` can read.
  test::TempFile closing(
      std::vector<uint8_t>(kClosingPicture, kClosingPicture + kClosingPictureSize), "closing.vxl");
  const std::vector<std::vector<uint8_t>> closing_frame{Reference(closing.path(), 1)};

  SoundPipe sound;
  ASSERT_TRUE(sound.ready()) << "no named pipe for the sound";
  PlayerProcess player;
  ASSERT_TRUE(
      player.Start({test::BuiltProgram("player/vexilplay"), "/L", "/T3", first.path(), second},
                   {"DISPLAY=" + server_->display(), "VEXIL_PLATFORM=sdl", "SDL_VIDEODRIVER=x11",
                    "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + sound.path()}));

  const std::string first_title = "long.vxl - Vexil Video Player";
  const unsigned long window = FindWindow(first_title);
  ASSERT_NE(window, 0u) << "no player window";
  Geometry g;
  ASSERT_TRUE(WaitForCentred(window, 92, 76, &g))
      << "the window is " << g.width << " x " << g.height << " at " << g.x << ", " << g.y;

  // Playing: from the first frame on, every screenshot is one of the movie's
  // frames, and they change.
  ASSERT_TRUE(WaitUntil([&] { return Match(Screenshot(g, "first"), frames) != 0; }))
      << "no frame of the movie shows";
  std::set<uint32_t> seen;
  int strays = 0;
  EXPECT_TRUE(WaitUntil([&] {
    const uint32_t k = Match(Screenshot(g, "playing"), frames);
    k ? void(seen.insert(k)) : void(++strays);
    return seen.size() >= 2;
  })) << "the movie does not play";
  EXPECT_EQ(strays, 0) << "screenshots that are no frame of the movie";

  // Space pauses: the picture stays. Space again resumes it.
  Key(window, "space");
  const uint32_t paused = StillFrame(g, frames);
  ASSERT_NE(paused, 0u) << "space did not pause the movie";
  Key(window, "space");
  EXPECT_TRUE(WaitUntil([&] {
    const uint32_t k = Match(Screenshot(g, "resumed"), frames);
    return k && k != paused;
  })) << "space did not resume the movie";

  // Paused again, '.' and Enter: the movie ends where it stands and the next
  // one opens, without another frame of this one shown. The next one plays
  // its sound, which is the sign that it opened (its title may come and go
  // between two looks).
  Key(window, "space");
  const uint32_t last = StillFrame(g, frames);
  ASSERT_NE(last, 0u) << "space did not pause the movie";
  const size_t sound_before = sound.Played();
  Key(window, "period");
  Key(window, "Return");
  uint32_t later = 0;
  EXPECT_TRUE(WaitUntil([&] {
                // The look at the screen comes first: a frame it finds before the next
                // movie has played belongs to a movie that did not end.
                const uint32_t k = Match(Screenshot(g, "skipping"), frames);
                if (sound.Played() > sound_before ||
                    Title(window) == "movie_003.vxl - Vexil Video Player")
                  return true;
                if (k && k != last) later = k;
                return later != 0;
              }) &&
              later == 0)
      << "frame " << later << " shown after frame " << last << " and '.'";

  // The list goes round to the first movie again, the second having played
  // to its end.
  EXPECT_TRUE(WaitUntil([&] { return Title(window) == first_title; }));

  // Escape: the closing picture in a window of its own size, then the end.
  // The player is held still while the picture is looked at, so that it
  // cannot end the picture first.
  Key(window, "Escape");
  bool closing_shown = false;
  WaitUntil([&] {
    const Geometry c = WindowGeometry(window);
    if (!player.Running()) return true;
    if (c.width != 224 || c.height != 252) return false;
    player.Hold(true);
    closing_shown = Match(Screenshot(c, "closing"), closing_frame) == 1;
    player.Hold(false);
    return closing_shown;
  });
  EXPECT_TRUE(closing_shown) << "no closing picture of 224 x 252";
  EXPECT_EQ(player.Wait(kDeadlineMs), 0);

  // The sound: the track's first decoded samples reached the audio device as
  // they are (after the silence the device starts with).
  test::TempFile wav("track.wav");
  ASSERT_EQ(
      test::RunProgram(vexil, {"decode", second, "--wav", wav.path(), "--track", "3", "--quiet"})
          .exit_code,
      0);
  const std::vector<uint8_t> decoded = test::ReadFileBytes(wav.path());
  const std::vector<uint8_t> captured = sound.Finish();
  ASSERT_GT(decoded.size(), 44u + 4096);
  const std::vector<uint8_t> start(decoded.begin() + 44, decoded.begin() + 44 + 4096);
  EXPECT_NE(std::search(captured.begin(), captured.end(), start.begin(), start.end()),
            captured.end())
      << "captured " << captured.size() << " bytes without the track's start";
}

// Without a sound device the movies play silent, with one line of the
// player's own on standard error, whatever the sound library would say.
// Here SDL's ALSA driver with a configuration that has no devices.
TEST_F(SdlPlayer, WithoutASoundDeviceSaysSoOnce) {
  const test::TempFile config(std::vector<uint8_t>{}, "asound.conf");
  const test::TempFile errors("stderr.txt");
  const std::string movie = test::VectorsDir() + "/video/" + kSecond;
  PlayerProcess player;
  ASSERT_TRUE(
      player.Start({test::BuiltProgram("player/vexilplay"), "/T3", movie, movie},
                   {"DISPLAY=" + server_->display(), "VEXIL_PLATFORM=sdl", "SDL_VIDEODRIVER=x11",
                    "SDL_AUDIODRIVER=alsa", "ALSA_CONFIG_PATH=" + config.path()},
                   errors.path()));
  EXPECT_EQ(player.Wait(kDeadlineMs), 0);
  const std::vector<uint8_t> bytes = test::ReadFileBytes(errors.path());
  const std::string text(bytes.begin(), bytes.end());
  const std::string start = "vexilplay: cannot open a sound device (";
  const std::string end = "): playing without sound\n";
  EXPECT_EQ(text.rfind(start, 0), 0u) << text;
  EXPECT_TRUE(text.size() > end.size() &&
              text.compare(text.size() - end.size(), end.size(), end) == 0)
      << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

// On a desktop the player's boxes are windows (even on an X server without
// the fonts SDL's own boxes need), closed with a key, and the text goes to
// the message log instead of standard error.
TEST_F(SdlPlayer, BoxesAreWindowsOnTheDesktop) {
  const std::string movie = test::VectorsDir() + "/video/movie_000.vxl";  // 2 frames
  struct Case {
    std::vector<std::string> arguments;
    std::string caption;
    std::string starts;  // the box's text begins so
    const char* key;
    int exit_code;
  } cases[] = {
      {{"/S", movie}, "Vexil Playback Summary", "Video: 9 x 12 at 15.0 frames/sec\n", "Return", 0},
      {{}, "Vexil Video Player Help", "VexilPlay 1.9h", "Escape", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    const test::TempFile errors("stderr.txt");
    const test::TempFile log("boxes.txt");
    std::vector<std::string> arguments{test::BuiltProgram("player/vexilplay")};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    PlayerProcess player;
    ASSERT_TRUE(
        player.Start(arguments,
                     {"DISPLAY=" + server_->display(), "VEXIL_PLATFORM=sdl", "SDL_VIDEODRIVER=x11",
                      "SDL_AUDIODRIVER=dummy", "VEXIL_MESSAGE_LOG=" + log.path()},
                     errors.path()));
    const unsigned long box = FindWindow(c.caption);
    ASSERT_NE(box, 0u) << "no box on the screen";
    // A box with text in it: dark pixels on a light ground.
    Geometry g;
    EXPECT_TRUE(WaitUntil([&] {
      g = WindowGeometry(box);
      const Picture shot = Screenshot(g, "box");
      if (shot.rgb.empty()) return false;
      size_t dark = 0;
      for (uint8_t v : shot.rgb) dark += v < 64;
      return dark > 100 && dark < shot.rgb.size() / 2;
    })) << "no text in the box";
    Key(box, c.key);
    EXPECT_EQ(player.Wait(kDeadlineMs), c.exit_code);
    EXPECT_EQ(test::ReadFileBytes(errors.path()).size(), 0u);
    const std::vector<uint8_t> logged = test::ReadFileBytes(log.path());
    EXPECT_EQ(std::string(logged.begin(), logged.end()).rfind(c.caption + "\n" + c.starts, 0), 0u);
  }
}

// A copy of the player named as a screen saver, carrying `movie` and playing
// it by default; on Linux "/p N" draws into the X window N.
TEST_F(SdlPlayer, ScreensaverPreviewDrawsIntoTheGivenWindow) {
  std::vector<uint8_t> program = test::ReadFileBytes(test::BuiltProgram("player/vexilplay"));
  const std::vector<uint8_t> movie = test::ReadFileBytes(test::VectorsDir() + "/video/" + kMovie);
  ASSERT_FALSE(movie.empty());
  ASSERT_TRUE(platform::WriteDefaultCommandBlock(program.data(), program.size(),
                                       ":" + std::to_string(program.size())));
  program.insert(program.end(), movie.begin(), movie.end());
  test::TempFile saver(program, "vexil.scr");
  std::filesystem::permissions(saver.path(), std::filesystem::perms::owner_all);

  // The host: another program's window, here the closing picture held still.
  test::TempFile closing(
      std::vector<uint8_t>(kClosingPicture, kClosingPicture + kClosingPictureSize), "closing.vxl");
  const std::vector<std::vector<uint8_t>> closing_frame{Reference(closing.path(), 1)};
  const std::vector<std::string> env = {"DISPLAY=" + server_->display(), "VEXIL_PLATFORM=sdl",
                                        "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"};
  PlayerProcess host;
  ASSERT_TRUE(
      host.Start({test::BuiltProgram("player/vexilplay"), "/L", "/J", closing.path()}, env));
  const unsigned long window = FindWindow("closing.vxl - Vexil Video Player");
  ASSERT_NE(window, 0u) << "no host window";
  Geometry g;
  ASSERT_TRUE(WaitForCentred(window, 224, 252, &g));
  ASSERT_TRUE(WaitUntil([&] { return Match(Screenshot(g, "host"), closing_frame) == 1; }))
      << "the host shows no picture";
  const Picture before = Screenshot(g, "host");

  PlayerProcess preview;
  ASSERT_TRUE(preview.Start({saver.path(), "/p", std::to_string(window)}, env));
  // The preview draws into the window, and plays on: a window above 15
  // ignores the pointer, so it runs until the host ends it.
  Picture first;
  EXPECT_TRUE(WaitUntil([&] {
    first = Screenshot(g, "preview1");
    return !first.rgb.empty() && first.rgb != before.rgb;
  })) << "the preview drew nothing into the window";
  EXPECT_TRUE(WaitUntil([&] {
    const Picture next = Screenshot(g, "preview2");
    return !next.rgb.empty() && next.rgb != first.rgb && next.rgb != before.rgb;
  })) << "the preview does not play";
  EXPECT_TRUE(preview.Running());
  preview.Kill();
  host.Kill();
}

}  // namespace
}  // namespace vexil

#else
TEST(SdlPlayer, NeedsSdl) {
  GTEST_SKIP() << "built without SDL";
}
#endif
