// The player as a whole on the headless back end and a driven clock: keys,
// focus and moves arrive as a user would make them, at a time or after some
// frames, and every frame shown is recorded with the time, the movie and
// the window.
#include <cstdio>

#include "platform/threads.h"
#include "playback_harness.h"
#include "test_util.h"

namespace vexil {
namespace {

using namespace playback;

class Playback : public PlaybackHarness {};

TEST_F(Playback, EveryFrameOnTimeThenTheClosingPictureThenTheEnd) {
  TempFile movie(Movie(64, 48, 5, 10), "a.vxl");
  EXPECT_EQ(Play("", {movie.path()}), kExitSuccess);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(Frames(), Range(1, 5));
  for (size_t i = 1; i < 5; ++i) EXPECT_NEAR(shows_[i].time - shows_[i - 1].time, 100.0, 2.0) << i;
  EXPECT_EQ(Titles(), std::vector<std::string>{"a.vxl - Vexil Video Player"});
  // Centred: a 64 x 48 picture in a captioned frame (70 x 73) on 1920 x 1080
  // at x = 924, moved on to 925 so that the client area starts on an even
  // pixel of the 4-byte screen.
  EXPECT_EQ(shows_[0].window, (platform::Rect{925, 503, 925 + 70, 503 + 73}));
  EXPECT_EQ(shows_[0].client, (platform::Rect{0, 0, 64, 48}));
  // The closing picture follows the last frame and shows for 2250 ms; its
  // 224 x 252 window is centred too.
  const Shown* closing = FirstClosing();
  ASSERT_NE(closing, nullptr);
  EXPECT_EQ(closing->client, (platform::Rect{0, 0, 224, 252}));
  EXPECT_EQ(closing->window.left, 845);  // 844, client on an even pixel
  EXPECT_NEAR(double(end_ - closing->time), 2250.0, 30.0);
  EXPECT_EQ(platform::ThreadsAlive(), 0);  // every thread stopped and joined
}

TEST_F(Playback, SpacePausesAndResumesEnterResumesToo) {
  TempFile movie(Movie(64, 48, 10, 10), "a.vxl");
  struct Case {
    const char* line;
    uint32_t second_key;
    bool pauses;
  } cases[] = {
      {"", platform::CHAR_SPACE, true},
      {"", platform::CHAR_ENTER, true},
      {"/U1", platform::CHAR_SPACE, false},  // pause disabled: neither key acts
      {"/U6", platform::CHAR_ENTER, true},   // skip and quit disabled only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const uint32_t second = c.second_key;
    EXPECT_EQ(Play(c.line, {movie.path()},
                   Once({{AfterShown(3), [] { Key(platform::CHAR_SPACE); }},
                         {At(1500), [second] { Key(second); }}})),
              kExitSuccess);
    EXPECT_EQ(Frames(), Range(1, 10));
    if (c.pauses) {
      // Nothing moves from the third frame until the second key at 1.5 s.
      EXPECT_GE(LongestGap(), 1200u);
      EXPECT_NEAR(double(shows_[3].time), 1500.0 + 100.0, 10.0);
    } else {
      EXPECT_LE(LongestGap(), 102u);
    }
  }
}

TEST_F(Playback, EscapeShowsTheClosingPictureEscapeAgainEndsAtOnce) {
  TempFile movie(Movie(64, 48, 50, 10), "a.vxl");
  EXPECT_EQ(Play("/S", {movie.path()}, Once({{AfterShown(4), [] { Key(platform::CHAR_ESCAPE); }}})),
            kExitSuccess);
  EXPECT_EQ(Frames(), Range(1, 4));
  const Shown* closing = FirstClosing();
  ASSERT_NE(closing, nullptr);
  EXPECT_NEAR(double(end_ - closing->time), 2250.0, 30.0);
  // The summary describes the movie as it was at the key.
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, "Vexil Playback Summary");
  EXPECT_EQ(boxes_[0].icon, platform::MessageIcon::kInformation);
  EXPECT_NE(boxes_[0].text.find("Video: 64 x 48 at 10.0 frames/sec\nTotal frames: 50\n\n"
                                "Total frames played: 4\n"),
            std::string::npos)
      << boxes_[0].text;
  EXPECT_NE(
      boxes_[0].text.find("Blitting style: DIB Section\nVideo mode: 1920 x 1080 at 32 bits\n"),
      std::string::npos);

  // Escape during the closing picture ends it at once; /U4 disables both.
  boxes_.clear();
  EXPECT_EQ(Play("", {movie.path()},
                 Once({{AfterShown(2), [] { Key(platform::CHAR_ESCAPE); }},
                       {[](uint32_t, size_t) { return CurrentPlayer()->closing_picture != 0; },
                        [] { Key(platform::CHAR_ESCAPE); }}})),
            kExitSuccess);
  ASSERT_NE(FirstClosing(), nullptr);
  EXPECT_LT(end_ - FirstClosing()->time, 30u);
  EXPECT_TRUE(boxes_.empty());  // no /S

  EXPECT_EQ(
      Play("/U4", {movie.path()}, Once({{AfterShown(2), [] { Key(platform::CHAR_ESCAPE); }}})),
      kExitSuccess);
  EXPECT_EQ(Frames(), Range(1, 50));
}

TEST_F(Playback, NoSummaryWithoutAFrameShown) {
  TempFile movie(Movie(64, 48, 50, 10), "a.vxl");
  EXPECT_EQ(Play("/S", {movie.path()}, Once({{At(0), [] { Key(platform::CHAR_ESCAPE); }}})),
            kExitSuccess);
  EXPECT_TRUE(Frames().empty());
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(Playback, PeriodEndsTheMovieUnlessSkipIsDisabled) {
  TempFile a(Movie(64, 48, 20, 10), "a.vxl");
  TempFile b(Movie(32, 24, 3, 10), "b.vxl");
  EXPECT_EQ(
      Play("", {a.path(), b.path()}, Once({{AfterShown(3), [] { Key(platform::CHAR_PERIOD); }}})),
      kExitSuccess);
  EXPECT_EQ(Titles(),
            (std::vector<std::string>{"a.vxl - Vexil Video Player", "b.vxl - Vexil Video Player"}));
  // The key ends the movie at the next frame due.
  EXPECT_EQ(Frames(), Concat({Range(1, 3), Range(1, 3)}));
  // During the closing picture the key does nothing.
  EXPECT_EQ(Play("/U2", {a.path(), b.path()},
                 Once({{AfterShown(3), [] { Key(platform::CHAR_PERIOD); }},
                       {[](uint32_t, size_t) { return CurrentPlayer()->closing_picture != 0; },
                        [] { Key(platform::CHAR_PERIOD); }}})),
            kExitSuccess);
  EXPECT_EQ(Frames(), Concat({Range(1, 20), Range(1, 3)}));
  ASSERT_NE(FirstClosing(), nullptr);
  EXPECT_NEAR(double(end_ - FirstClosing()->time), 2250.0, 30.0);
}

TEST_F(Playback, PlayCountsAndLists) {
  TempFile a(Movie(64, 48, 3, 10), "a.vxl");
  TempFile b(Movie(32, 24, 2, 10), "b.vxl");
  const std::string ta = "a.vxl - Vexil Video Player", tb = "b.vxl - Vexil Video Player";
  struct Case {
    std::string line;
    std::vector<std::string> names;
    std::vector<uint32_t> frames;
    std::vector<std::string> titles;
  } cases[] = {
      {"", {a.path()}, Range(1, 3), {ta}},
      {"/L2", {a.path()}, Concat({Range(1, 3), Range(1, 3)}), {ta}},
      {"/L3", {a.path()}, Concat({Range(1, 3), Range(1, 3), Range(1, 3)}), {ta}},
      {"", {a.path(), b.path()}, Concat({Range(1, 3), Range(1, 2)}), {ta, tb}},
      {"/L2",
       {a.path(), b.path()},
       Concat({Range(1, 3), Range(1, 2), Range(1, 3), Range(1, 2)}),
       {ta, tb, ta, tb}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + " with " + std::to_string(c.names.size()) + " names");
    EXPECT_EQ(Play(c.line, c.names), kExitSuccess);
    EXPECT_EQ(Frames(), c.frames);
    EXPECT_EQ(Titles(), c.titles);
    ASSERT_NE(FirstClosing(), nullptr);
    EXPECT_EQ(shows_.back().closing, true);
  }
}

TEST_F(Playback, ForeverUntilEscape) {
  TempFile a(Movie(64, 48, 3, 10), "a.vxl");
  TempFile b(Movie(32, 24, 2, 10), "b.vxl");
  // /L alone plays forever: the movie, and a list.
  EXPECT_EQ(Play("/L", {a.path()}, Once({{AfterShown(10), [] { Key(platform::CHAR_ESCAPE); }}})),
            kExitSuccess);
  EXPECT_EQ(Frames(), Concat({Range(1, 3), Range(1, 3), Range(1, 3), Range(1, 1)}));
  EXPECT_EQ(Play("/L", {a.path(), b.path()},
                 Once({{AfterShown(11), [] { Key(platform::CHAR_ESCAPE); }}})),
            kExitSuccess);
  EXPECT_EQ(Frames(), Concat({Range(1, 3), Range(1, 2), Range(1, 3), Range(1, 2), Range(1, 1)}));
}

TEST_F(Playback, TheNextMovieKeepsTheWindowWhereTheUserPutIt) {
  TempFile a(Movie(64, 48, 3, 10), "a.vxl");
  TempFile b(Movie(32, 24, 2, 10), "b.vxl");
  EXPECT_EQ(
      Play("/L2", {a.path(), b.path()},
           Once({{AfterShown(1), [] { platform::HeadlessLastWindow()->UserMove(197, 161); }}})),
      kExitSuccess);
  ASSERT_EQ(Titles().size(), 4u);
  // The client area lands on an even x (200) as the buffer asks; every movie
  // after the move keeps that place.
  for (size_t i = 1; i < shows_.size(); ++i) {
    if (shows_[i].closing) break;
    EXPECT_EQ(shows_[i].window.left, 197) << i;
    EXPECT_EQ(shows_[i].window.top, 161) << i;
  }
  EXPECT_EQ(shows_.back().client.Width(), 224);
}

TEST_F(Playback, FocusLossPausesUnlessJ) {
  TempFile movie(Movie(64, 48, 10, 10), "a.vxl");
  for (const char* line : {"", "/J"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Play(line, {movie.path()},
                   Once({{AfterShown(3), [] { Post(MessageKind::kFocusLost); }},
                         {At(1500), [] { Post(MessageKind::kFocusGained); }}})),
              kExitSuccess);
    EXPECT_EQ(Frames(), Range(1, 10));
    if (*line)
      EXPECT_LE(LongestGap(), 102u);
    else
      EXPECT_GE(LongestGap(), 1200u);
  }
  // The user's pause outlasts the focus: regaining it does not resume.
  EXPECT_EQ(Play("", {movie.path()},
                 Once({{AfterShown(3), [] { Key(platform::CHAR_SPACE); }},
                       {At(800), [] { Post(MessageKind::kFocusLost); }},
                       {At(1200), [] { Post(MessageKind::kFocusGained); }},
                       {At(2500), [] { Key(platform::CHAR_SPACE); }}})),
            kExitSuccess);
  EXPECT_NEAR(double(shows_[3].time), 2600.0, 10.0);
}

TEST_F(Playback, ClickOnTheClosingPictureOpensThePage) {
  TempFile movie(Movie(64, 48, 3, 10), "a.vxl");
  EXPECT_EQ(Play("", {movie.path()},
                 Once({{AfterShown(1), [] { Post(MessageKind::kLeftButtonUp); }},
                       {[](uint32_t, size_t) { return CurrentPlayer()->closing_picture != 0; },
                        [] { Post(MessageKind::kLeftButtonUp); }}})),
            kExitSuccess);
  ASSERT_EQ(platform::HeadlessOpenedAddresses().size(), 1u);
  const std::string& page = platform::HeadlessOpenedAddresses()[0];
  EXPECT_TRUE(page.ends_with("?from=vexilplay&ver=1.9h")) << page;
  EXPECT_NE(page.find("example.org"), std::string::npos);
}

TEST_F(Playback, StatisticsLineAboveThePicture) {
  TempFile movie(Movie(64, 48, 4, 10), "a.vxl");
  std::vector<std::string> lines;
  EXPECT_EQ(Play("/Q", {movie.path()},
                 [&](uint32_t, size_t) {
                   HeadlessWindow* w = platform::HeadlessLastWindow();
                   if (!w) return;
                   for (const std::string& l : w->paint_log())
                     if (l.rfind("Text ", 0) == 0) lines.push_back(l);
                   w->ClearPaintLog();
                 }),
            kExitSuccess);
  // The sample line (100 characters of 7 pixels) plus 8 is wider than the
  // picture: the window widens and the picture moves right and down.
  const int32_t width = 100 * HeadlessWindow::kCharWidth + 8;
  EXPECT_EQ(shows_[0].client, (platform::Rect{0, 0, width, 48 + HeadlessWindow::kLineHeight}));
  ASSERT_EQ(lines.size(), 4u);  // one per frame; none during the closing picture
  char prefix_text[64];
  std::snprintf(prefix_text, sizeof prefix_text, "Text 0,0,%d,16 #FFFF00 on #000000: Fr: ", width);
  const std::string prefix = prefix_text;
  for (const std::string& l : lines) EXPECT_EQ(l.substr(0, prefix.size()), prefix) << l;
  EXPECT_NE(lines[1].find("Fr: 2, FPS: 10.0, "), std::string::npos) << lines[1];
  // The picture itself sits below the line, centred over the wider window.
  const int32_t offset = ((width - 64) / 2) & ~3;
  char below[48];
  std::snprintf(below, sizeof below, "StretchBlt %d,16,", offset);
  bool blitted_below = false;
  for (const std::string& l : platform::HeadlessDisplayLog())
    if (l.rfind(below, 0) == 0) blitted_below = true;
  EXPECT_TRUE(blitted_below);
}

TEST_F(Playback, PaintingBlackensAroundThePicture) {
  TempFile movie(Movie(64, 48, 6, 10), "a.vxl");
  struct Case {
    const char* line;
    platform::Rect client;
    std::vector<std::string> fills;  // after a frame was shown
  } cases[] = {
      // The statistics line widens the window: black left, right and above.
      {"/Q",
       {0, 0, 708, 64},
       {"FillBlack 0,0,708,16", "FillBlack 0,16,320,64", "FillBlack 384,16,708,64"}},
      // Height interlaced: the picture's rows are blackened too.
      {"/A2", {0, 0, 64, 96}, {"FillBlack 0,0,64,96"}},
      // Nothing around a plain picture, and nothing over it.
      {"", {0, 0, 64, 48}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> fills;
    EXPECT_EQ(Play(c.line, {movie.path()},
                   Once({{AfterShown(2), [] {
                            platform::HeadlessLastWindow()->ClearPaintLog();
                            platform::HeadlessLastWindow()->Invalidate(nullptr);
                          }},
                         {AfterShown(3),
                          [&fills] {
                            for (const std::string& l : platform::HeadlessLastWindow()->paint_log())
                              if (l.rfind("FillBlack", 0) == 0) fills.push_back(l);
                          }}})),
              kExitSuccess);
    EXPECT_EQ(shows_[0].client, c.client);
    EXPECT_EQ(fills, c.fills);
  }
}

TEST_F(Playback, ClosingPictureLeavesAScreenModeItDoesNotFit) {
  TempFile movie(Movie(64, 48, 3, 10), "a.vxl");
  platform::DesktopMode during{};
  // /D1: 320 x 200, in which the 224 x 252 closing picture does not fit.
  EXPECT_EQ(Play("/D1", {movie.path()},
                 Once({{AfterShown(1), [&during] { during = platform::HeadlessDesktop(); }}})),
            kExitSuccess);
  EXPECT_EQ(during.width, 320);
  EXPECT_EQ(during.height, 200);
  const Shown* closing = FirstClosing();
  ASSERT_NE(closing, nullptr);
  EXPECT_EQ(closing->window.left, 845);  // centred on the desktop again
  EXPECT_EQ(platform::HeadlessDesktop().width, 1920);
  // /D8: 640 x 480, where it fits, but is larger than the movie's buffer.
  // The mode request was consumed by the movie's buffer, so the picture's own
  // buffer takes no reference on it, and closing the movie's buffer gives the
  // desktop back while the picture shows.
  during = {};
  EXPECT_EQ(Play("/D8", {movie.path()},
                 Once({{AfterShown(1), [&during] { during = platform::HeadlessDesktop(); }}})),
            kExitSuccess);
  EXPECT_EQ(during.width, 640);
  ASSERT_NE(FirstClosing(), nullptr);
  EXPECT_EQ(platform::HeadlessDesktop().width, 1920);
}

TEST_F(Playback, FailuresEndWithCode1AndTheirBox) {
  TempFile movie(Movie(64, 48, 3, 10), "a.vxl");
  EXPECT_EQ(Play("", {movie.Sibling("missing.vxl"), movie.path()}), kExitFailure);
  EXPECT_EQ(boxes_, (std::vector<platform::ShownMessage>{
                        {"Vexil Error", "Error opening file.", platform::MessageIcon::kError}}));
  EXPECT_TRUE(shows_.empty());

  // The second movie fails after the first played: the same box and code.
  boxes_.clear();
  EXPECT_EQ(Play("", {movie.path(), movie.Sibling("missing.vxl")}), kExitFailure);
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(Frames(), Range(1, 3));

  boxes_.clear();
  platform::SetHeadlessWindowRefused(true);
  EXPECT_EQ(Play("", {movie.path()}), kExitFailure);
  platform::SetHeadlessWindowRefused(false);
  EXPECT_EQ(boxes_, (std::vector<platform::ShownMessage>{
                        {"Windows", "Error creating window.", platform::MessageIcon::kError}}));

  boxes_.clear();
  platform::HeadlessDisplayConfig no_dib;
  no_dib.dib_section = false;
  platform::ConfigureHeadlessDisplay(no_dib);
  EXPECT_EQ(Play("", {movie.path()}), kExitFailure);
  EXPECT_EQ(boxes_,
            (std::vector<platform::ShownMessage>{
                {"Vexil Error", "Unable to create DIBSection.", platform::MessageIcon::kError}}));
  platform::ConfigureHeadlessDisplay({});
  EXPECT_EQ(platform::ThreadsAlive(), 0);
}

TEST_F(Playback, AStoppedMovieMovesOn) {
  // A movie cut short: its index promises frames the file does not hold. It
  // opens (the read buffer is not filled), plays until its reading fails,
  // and then ends as at its last frame: the next movie plays.
  MovieWriter writer('i', 64, 48, 50, 1);
  for (int i = 0; i < 300; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(4000, 0));
  std::vector<uint8_t> bytes = writer.Finish();
  bytes.resize(bytes.size() / 2);
  TempFile cut(bytes, "cut.vxl");
  TempFile b(Movie(32, 24, 2, 10), "b.vxl");
  EXPECT_EQ(Play("/K /G /E262144", {cut.path(), b.path()}), kExitSuccess);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(Titles(), (std::vector<std::string>{"cut.vxl - Vexil Video Player",
                                                "b.vxl - Vexil Video Player"}));
  const std::vector<uint32_t> frames = Frames();
  ASSERT_GT(frames.size(), 10u);
  EXPECT_LT(frames.size(), 150u + 2);
  EXPECT_EQ(std::vector<uint32_t>(frames.end() - 2, frames.end()), Range(1, 2));
  ASSERT_NE(FirstClosing(), nullptr);
}

TEST_F(Playback, BlackBackgroundCoversTheScreen) {
  TempFile movie(Movie(64, 48, 2, 10), "a.vxl");
  EXPECT_EQ(Play("/R", {movie.path()}), kExitSuccess);
  // No frame: the client area is the whole screen; the picture is centred
  // on it (x on a multiple of 4).
  EXPECT_EQ(shows_[0].window, (platform::Rect{0, 0, 1920, 1080}));
  char at[48];
  std::snprintf(at, sizeof at, "StretchBlt %d,%d,", (1920 - 64) / 2 & ~3, (1080 - 48) / 2);
  bool centred = false;
  for (const std::string& l : platform::HeadlessDisplayLog())
    if (l.rfind(at, 0) == 0) centred = true;
  EXPECT_TRUE(centred);
}

}  // namespace
}  // namespace vexil
