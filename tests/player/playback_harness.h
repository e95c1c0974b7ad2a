// The player as a whole on the headless back end and a driven clock, for
// the tests of playback and of the screensaver: keys, focus and moves arrive
// as a user would make them, at a time or after some frames, and every frame
// shown is recorded with the time, the movie and the window.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "display/display_buffer.h"
#include "driven_clock.h"
#include "encoder/movie_writer.h"
#include "engine/background_decode.h"
#include "engine/movie.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/headless/display_headless.h"
#include "platform/headless/window_headless.h"
#include "platform/local_date.h"
#include "platform/screensaver.h"
#include "platform/shell.h"
#include "platform/store.h"
#include "platform/timer.h"
#include "player/player_state.h"
#include "player/startup.h"
#include "player/statistics.h"
#include "test_util.h"

namespace vexil {
namespace playback {

using platform::HeadlessWindow;
using platform::MessageKind;
using test::TempFile;

inline std::vector<uint8_t> Movie(uint32_t width, uint32_t height, uint32_t frames, uint32_t rate) {
  MovieWriter writer('i', width, height, rate, 1);
  for (uint32_t i = 0; i < frames; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(16, 0));
  return writer.Finish();
}

// The test's closing picture, with the zero bytes a movie in memory needs.
inline std::vector<uint8_t> ClosingPicture() {
  std::vector<uint8_t> bytes = Movie(224, 252, 1, 10);
  bytes.resize(bytes.size() + 1024, 0);
  return bytes;
}

struct Shown {
  uint32_t time;  // since the run started
  std::string title;
  uint32_t frame;
  bool closing;
  platform::Rect window;  // outer
  platform::Rect client;
};

class PlaybackHarness : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetBackendForTest(platform::Backend::kHeadless);
    platform::ConfigureHeadlessDisplay({});
    platform::SetHeadlessDesktop({1920, 1080, 32});
    platform::CaptureMessageBoxes(&boxes_);
    platform::SetStores(&user_, &machine_);
    platform::ClearHeadlessOpenedAddresses();
    platform::ResetHeadlessScreenSaver();
    closing_ = ClosingPicture();
  }
  void TearDown() override {
    platform::SetHeadlessMessageHook(nullptr);
    platform::CaptureMessageBoxes(nullptr);
    platform::SetStores(nullptr, nullptr);
    platform::SetHeadlessWindowRefused(false);
    platform::SetTodayForTest(nullptr);
    platform::ResetHeadlessScreenSaver();
  }

  static Player* CurrentPlayer() {
    HeadlessWindow* w = platform::HeadlessLastWindow();
    return w ? static_cast<Player*>(w->user_data()) : nullptr;
  }
  uint32_t Now() const { return Timer() - start_; }

  // Runs the player on `line` with `names`; `act` runs at every message
  // pump with the time since the start and the frames shown so far.
  int Play(const std::string& line, const std::vector<std::string>& names,
           std::function<void(uint32_t now, size_t shown)> act = nullptr) {
    shows_.clear();
    start_ = Timer();
    uint64_t presented = platform::HeadlessFramesPresented();
    platform::SetHeadlessMessageHook([&, act, presented]() mutable {
      HeadlessWindow* w = platform::HeadlessLastWindow();
      Player* p = CurrentPlayer();
      // A frame counts when it first reaches the screen (paints show it again).
      if (w && p && p->movie() && platform::HeadlessFramesPresented() != presented) {
        presented = platform::HeadlessFramesPresented();
        const Shown s{Now(),
                      w->title(),
                      p->movie()->clock.decoded_frame,
                      p->closing_picture != 0,
                      w->OuterRect(),
                      w->ClientRect()};
        const bool again = !shows_.empty() && shows_.back().title == s.title &&
                           shows_.back().frame == s.frame && shows_.back().closing == s.closing;
        if (s.frame != 0 && !again) shows_.push_back(s);
      }
      if (act) act(Now(), shows_.size());
    });
    PlayerStart start;
    start.command_line = line;
    start.movie_names = names;
    start.default_command = default_command_;
    start.program_path = program_path_;
    start.closing_picture = std::span<const uint8_t>(closing_);
    const int code = RunPlayer(start);
    end_ = Now();
    platform::SetHeadlessMessageHook(nullptr);
    return code;
  }

  static void Post(MessageKind kind, uint32_t code = 0) {
    platform::Message m;
    m.window = platform::HeadlessLastWindow();
    m.kind = kind;
    m.code = code;
    platform::PostWindowMessage(m);
  }
  static void Key(uint32_t character) { Post(MessageKind::kChar, character); }

  // An action that runs once, the first time `when` holds.
  static std::function<void(uint32_t, size_t)> Once(
      std::vector<std::pair<std::function<bool(uint32_t, size_t)>, std::function<void()>>> steps) {
    auto done = std::make_shared<std::vector<bool>>(steps.size(), false);
    return [steps, done](uint32_t now, size_t shown) {
      for (size_t i = 0; i < steps.size(); ++i) {
        if ((*done)[i] || !steps[i].first(now, shown)) continue;
        (*done)[i] = true;
        steps[i].second();
      }
    };
  }
  static std::function<bool(uint32_t, size_t)> At(uint32_t ms) {
    return [ms](uint32_t now, size_t) { return now >= ms; };
  }
  static std::function<bool(uint32_t, size_t)> AfterShown(size_t n) {
    return [n](uint32_t, size_t shown) { return shown >= n; };
  }

  // The movie frames shown (closing picture excluded), in order.
  std::vector<uint32_t> Frames() const {
    std::vector<uint32_t> frames;
    for (const Shown& s : shows_)
      if (!s.closing) frames.push_back(s.frame);
    return frames;
  }
  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const Shown& s : shows_)
      if (!s.closing && (titles.empty() || titles.back() != s.title)) titles.push_back(s.title);
    return titles;
  }
  // The longest time between two frames of the movies.
  uint32_t LongestGap() const {
    uint32_t gap = 0;
    for (size_t i = 1; i < shows_.size(); ++i)
      if (!shows_[i].closing) gap = std::max(gap, shows_[i].time - shows_[i - 1].time);
    return gap;
  }
  const Shown* FirstClosing() const {
    for (const Shown& s : shows_)
      if (s.closing) return &s;
    return nullptr;
  }

  test::DrivenClock clock_;
  std::vector<platform::ShownMessage> boxes_;
  platform::MemoryStore user_, machine_;
  std::vector<uint8_t> closing_;
  std::vector<Shown> shows_;
  uint32_t start_ = 0;
  uint32_t end_ = 0;
  // The program the player believes it is, and its default command.
  std::string program_path_ = "/opt/vexilplay";
  std::string default_command_;
};

inline std::vector<uint32_t> Range(uint32_t first, uint32_t last) {
  std::vector<uint32_t> r;
  for (uint32_t i = first; i <= last; ++i) r.push_back(i);
  return r;
}

inline std::vector<uint32_t> Concat(std::vector<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

}  // namespace playback
}  // namespace vexil
