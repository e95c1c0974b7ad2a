// Screensaver mode through the headless back end: the saver's arguments, the
// settings box, the preview in another program's window, the ways a saver
// ends (and those it swallows), the password check and the system notices.
#include <deque>
#include <memory>

#include "playback_harness.h"
#include "player/screensaver_mode.h"
#include "player/settings.h"

namespace vexil {
namespace {

using namespace playback;

TEST(ScreensaverArguments, EveryForm) {
  struct {
    const char* line;
    int32_t mode;
  } cases[] = {
      {"", kSaverRun},
      {"movie", kSaverRun},
      {"/", kSaverRun},
      {"/x", kSaverRun},
      {"/s", kSaverFull},
      {"/S", kSaverFull},
      {"-s", kSaverFull},
      {"  /c", kSaverSettings},
      {"/C:1234", kSaverSettings},  // the settings page passes its window so
      {"-c", kSaverSettings},
      {"/p 1234", 1234},
      {"/P1234", 1234},
      {"-p:5", 5},
      {"/p", kSaverEnd},
      {"/p abc", kSaverEnd},
      {"/p 0", kSaverEnd},
      {"/p 3", kSaverSettings},  // the number is the mode, whatever it is
      {"/p 99999999999", 2147483647},
      {"x-s /c", kSaverFull},  // the first '/' or '-' decides
  };
  for (const auto& c : cases) EXPECT_EQ(EvaluateScreensaverArguments(c.line), c.mode) << c.line;
}

TEST(ScreensaverArguments, SettingsOfARunAndOfAPreview) {
  PlayerSettings run;
  ApplyScreensaverSettings(kSaverFull, 0, 0, run);
  EXPECT_EQ(run.always_on_top, 1);
  EXPECT_EQ(run.disabled_controls, 15u);

  PlayerSettings preview;
  preview.buffer_flags = PLAYER_BUFFER_FULL_SCREEN | kBlitStyleDibSection;
  ApplyScreensaverSettings(1234, 152, 112, preview);
  EXPECT_EQ(preview.buffer_flags, uint32_t(kBlitStyleDibSection));
  EXPECT_EQ(preview.open_flags, OPEN_TRACK_LIST);
  EXPECT_EQ(preview.sound_track, -1);
  EXPECT_EQ(preview.parent_window, 1234);
  EXPECT_EQ(preview.window_x, 0);
  EXPECT_EQ(preview.window_y, 0);
  EXPECT_EQ(preview.width_request, (Rational{152, 1}));
  EXPECT_EQ(preview.height_request, (Rational{112, 1}));
  EXPECT_EQ(preview.always_on_top, 0);
  EXPECT_EQ(preview.disabled_controls, 0u);
}

class Saver : public PlaybackHarness {
 protected:
  void SetUp() override {
    PlaybackHarness::SetUp();
    program_path_ = "C:\\Windows\\System32\\VEXIL.SCR";
  }
  // The saver's movie comes from its default command alone: a saver program
  // that carries the movie, as `vexil embed` makes them.
  void SaverMovie(const std::vector<uint8_t>& movie) {
    std::vector<uint8_t> program(5000 + movie.size(), 0x90);
    std::copy(movie.begin(), movie.end(), program.begin() + 5000);
    carrier_ = std::make_unique<TempFile>(program, "VEXIL.SCR");
    program_path_ = carrier_->path();
    default_command_ = ":5000";
  }

  std::unique_ptr<TempFile> carrier_;

  static void PostAt(MessageKind kind, platform::Point point) {
    platform::Message m;
    m.window = platform::HeadlessLastWindow();
    m.kind = kind;
    m.point = point;
    platform::PostWindowMessage(m);
  }
  // An end the saver itself would never make: the window closed.
  static void Close() { Post(MessageKind::kClose); }
};

TEST_F(Saver, SettingsBoxWithoutAWindow) {
  // Upper case, and the trailing quote some systems report.
  for (const char* program : {"C:\\Savers\\VEXIL.SCR", "C:\\Savers\\vexil.scr\""}) {
    SCOPED_TRACE(program);
    boxes_.clear();
    program_path_ = program;
    // Any attempt at a window would show "Error creating window." and end with 1.
    platform::SetHeadlessWindowRefused(true);
    EXPECT_EQ(Play("/c", {}), kExitSuccess);
    EXPECT_EQ(boxes_, (std::vector<platform::ShownMessage>{
                          {"Vexil Video Player", "There are no settings for this screensaver.",
                           platform::MessageIcon::kNone}}));
  }
}

TEST_F(Saver, PreviewWithoutANumberEndsAtOnce) {
  platform::SetHeadlessWindowRefused(true);
  EXPECT_EQ(Play("/p", {}), kExitSuccess);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(Play("/p:x", {}), kExitSuccess);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(Saver, NotASaverProgramTakesTheArgumentsAsSwitches) {
  program_path_ = "/opt/vexilplay";
  EXPECT_EQ(Play("/c", {}), kExitFailure);  // /C needs a movie
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Vexil Video Player Help");
}

TEST_F(Saver, PreviewInTheGivenWindow) {
  SaverMovie(Movie(64, 48, 5, 10));
  platform::SetHeadlessForeignWindow(1234, 152, 112);
  bool checked = false;
  uint32_t delay_seen = 0;
  uint32_t first_copy = 0;
  size_t last_shown = 0;
  auto checks = [&] {
    Player* p = CurrentPlayer();
    HeadlessWindow* w = platform::HeadlessLastWindow();
    checked = true;
    EXPECT_EQ(w->parent(), 1234);
    EXPECT_EQ(w->style(), platform::WINDOW_CHILD);
    EXPECT_EQ(p->screensaver_mode, 1234);
    // Sized to the preview's client area, not full screen, through a DIB
    // section, without sound.
    ASSERT_NE(p->buffer, nullptr);
    EXPECT_EQ(p->buffer->stretch_width, 152);
    EXPECT_EQ(p->buffer->stretch_height, 112);
    EXPECT_EQ(p->buffer_flags & PLAYER_BUFFER_FULL_SCREEN, 0u);
    EXPECT_EQ(p->buffer_flags & PLAYER_BUFFER_STYLE_MASK, uint32_t(kBlitStyleDibSection));
    EXPECT_EQ(p->picture, (platform::Point{0, 0}));
    EXPECT_NE(p->movie()->open_flags & OPEN_TRACK_LIST, 0u);
    EXPECT_EQ(p->movie()->sound.play_tracks, 0u);
    EXPECT_EQ(p->settings.play_count, 0);
  };
  const int code =
      Play("/p 1234", {},
           [&, step = Once({{AfterShown(3), checks}})](uint32_t now, size_t shown) mutable {
             // The preview waits without sleeping: the test's clock moves for it.
             Player* p = CurrentPlayer();
             if (p && p->preview_delay) {
               clock_.Advance(1);
               delay_seen = now;
             }
             if (p && p->copied_movie && !first_copy) first_copy = now;
             step(now, shown);
             if (shown == last_shown) return;
             last_shown = shown;
             // Moves and keys do not end a preview in a window numbered above 15.
             if (shown >= 4 && shown < 12) {
               PostAt(MessageKind::kMouseMove, {int32_t(shown) * 10, 0});
               Post(MessageKind::kKeyDown, 'A');
             }
             if (shown == 12) Close();
           });
  EXPECT_EQ(code, kExitSuccess);
  EXPECT_TRUE(checked);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_GE(Frames().size(), 12u);
  EXPECT_EQ(FirstClosing(), nullptr);  // closed, not ended by the user
  // No frame copied for the first 500 ms.
  EXPECT_GE(delay_seen, 499u);
  EXPECT_GE(first_copy, 500u);
  // Only the full saver run tells the system.
  EXPECT_TRUE(platform::HeadlessScreenSaverNotices().empty());
}

TEST_F(Saver, PreviewOfAWindowThatIsNotThereShowsTheMoviesSize) {
  SaverMovie(Movie(64, 48, 5, 10));
  int32_t width = 0;
  EXPECT_EQ(Play("/p 4321", {},
                 [&](uint32_t, size_t shown) {
                   if (Player* p = CurrentPlayer(); p && p->preview_delay) clock_.Advance(1);
                   if (shown == 2 && !width) {
                     width = CurrentPlayer()->buffer->stretch_width;
                     Close();
                   }
                 }),
            kExitSuccess);
  EXPECT_EQ(width, 64);
}

TEST_F(Saver, TheSixthMouseMoveEnds) {
  SaverMovie(Movie(64, 48, 5, 10));
  size_t ended_after = 0;
  EXPECT_EQ(Play("", {},
                 Once({{AfterShown(2),
                        [] {
                          // Five moves, one of them twice to the same place.
                          for (int i = 0; i < 5; ++i) {
                            PostAt(MessageKind::kMouseMove, {100 + i, 50});
                            if (i == 2) PostAt(MessageKind::kMouseMove, {102, 50});
                          }
                        }},
                       {AfterShown(9),
                        [&] {
                          ended_after = 9;
                          PostAt(MessageKind::kMouseMove, {300, 50});
                        }},
                       {AfterShown(30), [] { Close(); }}})),
            kExitSuccess);
  EXPECT_EQ(ended_after, 9u);
  // Still playing after five moves; the sixth ended it as a key would: the
  // closing picture followed.
  EXPECT_GE(Frames().size(), 9u);
  EXPECT_LE(Frames().size(), 11u);
  EXPECT_NE(FirstClosing(), nullptr);
  // Mode 1: no password asked, no notices.
  EXPECT_EQ(platform::HeadlessPasswordChecks(), 0);
  EXPECT_TRUE(platform::HeadlessScreenSaverNotices().empty());
}

TEST_F(Saver, ARunIsOnTopWithEveryControlDisabled) {
  SaverMovie(Movie(64, 48, 5, 10));
  uint32_t ex_style = 0;
  PlayerSettings settings;
  EXPECT_EQ(Play("", {},
                 Once({{AfterShown(2),
                        [&] {
                          ex_style = platform::HeadlessLastWindow()->ex_style();
                          settings = CurrentPlayer()->settings;
                          // Escape, space and period do nothing.
                          Key(platform::CHAR_ESCAPE);
                          Key(platform::CHAR_SPACE);
                          Key(platform::CHAR_PERIOD);
                        }},
                       {AfterShown(8), [] { Close(); }}})),
            kExitSuccess);
  EXPECT_NE(ex_style & platform::WINDOW_EX_TOPMOST, 0u);
  EXPECT_EQ(settings.disabled_controls, 15u);
  EXPECT_TRUE(settings.black_background);
  EXPECT_TRUE(settings.hide_cursor);
  EXPECT_EQ(settings.buffer_flags & PLAYER_BUFFER_STYLE_MASK, uint32_t(kBlitStyleDibSection));
  EXPECT_GE(Frames().size(), 8u);
  EXPECT_EQ(FirstClosing(), nullptr);
}

TEST_F(Saver, KeysAndButtonsEndIt) {
  SaverMovie(Movie(64, 48, 5, 10));
  for (MessageKind kind : {MessageKind::kKeyDown, MessageKind::kLeftButtonDown,
                           MessageKind::kRightButtonDown, MessageKind::kMiddleButtonDown}) {
    EXPECT_EQ(Play("", {},
                   Once({{AfterShown(3), [kind] { Post(kind, 'A'); }},
                         {AfterShown(30), [] { Close(); }}})),
              kExitSuccess);
    EXPECT_EQ(Frames().size(), 3u);
    EXPECT_NE(FirstClosing(), nullptr);
  }
}

TEST_F(Saver, AWrongPasswordKeepsTheFullRunGoing) {
  SaverMovie(Movie(64, 48, 5, 10));
  platform::SetHeadlessPasswordAnswers({false, true});
  int checks_after_first = -1;
  EXPECT_EQ(Play("/s", {},
                 Once({{AfterShown(3), [] { Post(MessageKind::kKeyDown, 'A'); }},
                       {AfterShown(8),
                        [&] {
                          checks_after_first = platform::HeadlessPasswordChecks();
                          Post(MessageKind::kKeyDown, 'A');
                        }},
                       {AfterShown(30), [] { Close(); }}})),
            kExitSuccess);
  // The first key was refused: the movie went on (not paused) to frame 8;
  // the second key asked again and ended it.
  EXPECT_EQ(checks_after_first, 1);
  EXPECT_EQ(platform::HeadlessPasswordChecks(), 2);
  EXPECT_EQ(Frames().size(), 8u);
  EXPECT_NE(FirstClosing(), nullptr);
  // The system heard that a saver runs, and that it stopped.
  EXPECT_EQ(platform::HeadlessScreenSaverNotices(), (std::vector<bool>{true, false}));
}

TEST_F(Saver, APassedCheckIsNotAskedAgainAndDeactivationEnds) {
  SaverMovie(Movie(64, 48, 5, 10));
  // Deactivation with a refused password does nothing; the next one asks
  // again and ends the saver.
  platform::SetHeadlessPasswordAnswers({false});
  EXPECT_EQ(Play("/S", {},
                 Once({{AfterShown(2), [] { Post(MessageKind::kActivateApp, 0); }},
                       {AfterShown(3), [] { Post(MessageKind::kActivateApp, 1); }},
                       {AfterShown(6), [] { Post(MessageKind::kActivateApp, 0); }},
                       {AfterShown(30), [] { Close(); }}})),
            kExitSuccess);
  EXPECT_EQ(platform::HeadlessPasswordChecks(), 2);
  EXPECT_EQ(Frames().size(), 6u);
  EXPECT_NE(FirstClosing(), nullptr);

  // Mode 1 ends on deactivation without a check.
  platform::ResetHeadlessScreenSaver();
  EXPECT_EQ(Play("", {},
                 Once({{AfterShown(2), [] { Post(MessageKind::kActivateApp, 0); }},
                       {AfterShown(30), [] { Close(); }}})),
            kExitSuccess);
  EXPECT_EQ(platform::HeadlessPasswordChecks(), 0);
  EXPECT_EQ(Frames().size(), 2u);
}

TEST_F(Saver, SwallowsSystemCommandsAndEndsOnSuspend) {
  SaverMovie(Movie(64, 48, 5, 10));
  EXPECT_EQ(Play("", {},
                 Once({{AfterShown(2),
                        [] {
                          for (uint32_t command :
                               {platform::SYSTEM_COMMAND_CLOSE, platform::SYSTEM_COMMAND_CLOSE | 2,
                                platform::SYSTEM_COMMAND_NEXT_WINDOW,
                                platform::SYSTEM_COMMAND_PREVIOUS_WINDOW,
                                platform::SYSTEM_COMMAND_SCREEN_SAVE})
                            Post(MessageKind::kSystemCommand, command);
                          Post(MessageKind::kPowerBroadcast, platform::POWER_QUERY_SUSPEND);
                        }},
                       {AfterShown(6),
                        [] { Post(MessageKind::kPowerBroadcast, platform::POWER_SUSPEND); }},
                       {AfterShown(30), [] { Close(); }}})),
            kExitSuccess);
  EXPECT_EQ(Frames().size(), 6u);
  EXPECT_NE(FirstClosing(), nullptr);

  // Outside a saver the close command closes the window (no closing picture).
  program_path_ = "/opt/vexilplay";
  default_command_ = "";
  TempFile movie(Movie(64, 48, 5, 10), "a.vxl");
  EXPECT_EQ(
      Play("/L", {movie.path()},
           Once({{AfterShown(2),
                  [] { Post(MessageKind::kSystemCommand, platform::SYSTEM_COMMAND_CLOSE); }}})),
      kExitSuccess);
  EXPECT_EQ(Frames().size(), 2u);
  EXPECT_EQ(FirstClosing(), nullptr);
}

}  // namespace
}  // namespace vexil
