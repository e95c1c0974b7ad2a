// The parsed settings, compared as whole records: every switch, the parse
// order, cancellation, quick play, screensaver mode and the refusals.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "engine/movie.h"
#include "player/command_text.h"
#include "player/name_list.h"
#include "player/settings.h"

namespace vexil {

void PrintTo(const PlayerSettings& s, std::ostream* out) {
  *out << "{play " << s.play_count << " parent " << s.parent_window << " rate "
       << s.rate_override.num << "/" << s.rate_override.den << " track " << s.sound_track
       << " speed " << s.read_speed << " buffer " << s.read_buffer_size << " disabled "
       << s.disabled_controls << " style " << s.window_style << " top " << s.always_on_top
       << " waveout " << s.use_wave_out << " summary " << s.show_summary << " stats "
       << s.show_statistics << " keep " << s.keep_playing << " black " << s.black_background
       << " cursor " << s.hide_cursor << " x " << s.window_x << " y " << s.window_y << " w "
       << s.width_request.num << "/" << s.width_request.den << " h " << s.height_request.num << "/"
       << s.height_request.den << " screen " << s.screen_width << "x" << s.screen_height << std::hex
       << " open 0x" << s.open_flags << " buffer 0x" << s.buffer_flags << " copy 0x" << s.copy_flags
       << std::dec << " mode " << s.display_mode.width << "x" << s.display_mode.height << "@"
       << s.display_mode.depth << " names [" << s.name_list << "] files " << s.file_names.size()
       << " help " << s.show_help << "}";
}

namespace {

PlayerSettings Parse(const std::string& default_command, const std::string& command_line,
                     const std::string& quick_play = "", bool screensaver = false) {
  CommandInput input;
  input.default_command = default_command;
  input.command_line = command_line;
  input.quick_play = quick_play;
  input.screensaver = screensaver;
  input.screen_width = 1920;
  input.screen_height = 1080;
  return ParseCommandText(input);
}

// The record with no switch given and `names` left over.
PlayerSettings Defaults(const std::string& names) {
  PlayerSettings s;
  s.screen_width = 1920;
  s.screen_height = 1080;
  s.name_list = names;
  return s;
}

struct SettingsCase {
  const char* default_command;
  const char* command_line;
  const char* names;  // the expected name list
  std::function<void(PlayerSettings&)> change;
};

void ExpectCases(const std::vector<SettingsCase>& cases) {
  for (const SettingsCase& c : cases) {
    PlayerSettings expected = Defaults(c.names);
    if (c.change) c.change(expected);
    EXPECT_EQ(Parse(c.default_command, c.command_line), expected)
        << "default [" << c.default_command << "] line [" << c.command_line << "]";
  }
}

TEST(Settings, NoSwitches) {
  ExpectCases({
      {"", "movie", "movie", nullptr},
      {"", "a b", "a b", nullptr},
      {"", "\"my movie\"", "\"my movie\"", nullptr},
  });
}

TEST(Settings, PlayCountAndRate) {
  ExpectCases({
      {"", "movie /L", "movie ", [](PlayerSettings& s) { s.play_count = 0; }},
      {"", "movie /L3", "movie ", [](PlayerSettings& s) { s.play_count = 3; }},
      {"", "/l5 /L movie", "  movie", [](PlayerSettings& s) { s.play_count = 5; }},
      {"", "/L /L5 movie", "  movie", [](PlayerSettings& s) { s.play_count = 5; }},
      {"", "/L-1 movie", " movie", nullptr},  // -1 is the "absent" value
      {"", "movie /F",
       "movie ",
       [](PlayerSettings& s) {
         s.rate_override = {0, 0};
         s.open_flags = OPEN_RATE_OVERRIDE;
       }},
      {"", "movie /F0", "movie ",
       [](PlayerSettings& s) {
         s.rate_override = {0, 1};
         s.open_flags = OPEN_RATE_OVERRIDE;
       }},
      {"", "/F29.97 movie", " movie",
       [](PlayerSettings& s) {
         s.rate_override = {2997, 100};
         s.open_flags = OPEN_RATE_OVERRIDE;
       }},
      {"", "/F30000;1001 movie", " movie",
       [](PlayerSettings& s) {
         s.rate_override = {30000, 1001};
         s.open_flags = OPEN_RATE_OVERRIDE;
       }},
      {"", "/f50.0 movie", " movie",
       [](PlayerSettings& s) {
         s.rate_override = {50, 1};
         s.open_flags = OPEN_RATE_OVERRIDE;
       }},
      {"", "/F /F25 movie", "  movie",
       [](PlayerSettings& s) {
         s.rate_override = {25, 1};
         s.open_flags = OPEN_RATE_OVERRIDE;
       }},
  });
}

TEST(Settings, ValuesAndFlags) {
  ExpectCases({
      {"", "/#1234 /T3 m", "  m",
       [](PlayerSettings& s) {
         s.parent_window = 1234;
         s.sound_track = 3;
         s.open_flags = OPEN_TRACK_LIST;
       }},
      {"", "/M100000 /E65536 /U7 m", "   m",
       [](PlayerSettings& s) {
         s.read_speed = 100000;
         s.read_buffer_size = 65536;
         s.disabled_controls = CONTROL_PAUSE | CONTROL_SKIP | CONTROL_QUIT;
         s.open_flags = OPEN_SIMULATE_SPEED | OPEN_READ_BUFFER;
       }},
      {"", "/E0 m", " m",
       [](PlayerSettings& s) {
         s.read_buffer_size = 0;
         s.open_flags = OPEN_READ_BUFFER;
       }},
      {"", "/I101 m", " m",
       [](PlayerSettings& s) {
         s.window_style = kWindowNoCaption;
         s.always_on_top = 1;
       }},
      {"", "/I1 /R m", "  m",
       [](PlayerSettings& s) {
         s.window_style = kWindowBare;
         s.black_background = true;
       }},
      {"", "/z/s/q/j/c m", " m",
       [](PlayerSettings& s) {
         s.use_wave_out = s.show_summary = s.show_statistics = s.keep_playing = true;
         s.hide_cursor = true;
       }},
      {"", "/N /G /P /K m", "    m",
       [](PlayerSettings& s) {
         s.open_flags = OPEN_NEVER_SKIP | OPEN_NO_FILL | OPEN_PRELOAD | OPEN_NO_THREAD_READ;
       }},
      {"", "/X10 /Y-20 /W-2 /H480 m", "    m",
       [](PlayerSettings& s) {
         s.window_x = 10;
         s.window_y = -20;
         s.width_request = {-2, 1};
         s.height_request = {480, 1};
       }},
      {"", "/W-1 /H-1 m", "  m",
       [](PlayerSettings& s) {
         s.width_request = {-1, 1};
         s.height_request = {-1, 1};
       }},
      {"", "/B3 m", " m", [](PlayerSettings& s) { s.buffer_flags = 3; }},
      {"", "/B10 m", " m", [](PlayerSettings& s) { s.buffer_flags = 10; }},
  });
}

TEST(Settings, DisplayOptions) {
  ExpectCases({
      {"", "/A1105 m", " m",
       [](PlayerSettings& s) {
         s.open_flags = OPEN_ALPHA | OPEN_GRAYSCALE | (5u << 28);
         s.copy_flags = PLAYER_COPY_ALPHA;
       }},
      {"", "/A250 m", " m", [](PlayerSettings& s) { s.open_flags = 7u << 28; }},
      {"", "/A2000 m", " m", [](PlayerSettings& s) { s.open_flags = 7u << 28; }},
      {"", "/A103 m", " m", [](PlayerSettings& s) { s.open_flags = OPEN_GRAYSCALE | (3u << 28); }},
      {"", "/A1000 m", " m",
       [](PlayerSettings& s) {
         s.open_flags = OPEN_ALPHA;
         s.copy_flags = PLAYER_COPY_ALPHA;
       }},
      {"", "/A0 m", " m", nullptr},
  });
}

TEST(Settings, DisplayModes) {
  auto mode = [](int32_t w, int32_t h, int32_t depth) {
    return [=](PlayerSettings& s) {
      s.buffer_flags = PLAYER_BUFFER_FULL_SCREEN;
      s.display_mode = {w, h, depth};
      s.screen_width = w;
      s.screen_height = h;
    };
  };
  ExpectCases({
      {"", "/D308 m", " m", mode(640, 480, 8)},
      {"", "/D1 m", " m", mode(320, 200, 16)},
      {"", "/D113 m", " m", mode(1280, 1024, 24)},
      {"", "/D209 m", " m", mode(800, 600, 32)},
      {"", "/D405 m", " m", mode(480, 360, 1)},
      {"", "/D510 m", " m", mode(960, 720, 2)},
      {"", "/D611 /B1 m", "  m",
       [&](PlayerSettings& s) {
         mode(1024, 768, 3)(s);
         s.buffer_flags |= 1;
       }},
      {"", "/D0 m", " m", nullptr},
  });
}

TEST(Settings, CancellationAndDefaultCommand) {
  ExpectCases({
      // A carried movie played forever by default, once when the user asks.
      {":97280 /l /j", "/-L", ":97280   ", [](PlayerSettings& s) { s.keep_playing = true; }},
      {":97280 /l /j", "", ":97280  ",
       [](PlayerSettings& s) {
         s.play_count = 0;
         s.keep_playing = true;
       }},
      // One blank between the default command and the command line.
      {"/j", "movie", " movie", [](PlayerSettings& s) { s.keep_playing = true; }},
      {"/W-2 /P", "/-w /-p m", "    m", nullptr},
      {"", "m /P /-", "m  ", [](PlayerSettings& s) { s.open_flags = OPEN_PRELOAD; }},
  });
}

TEST(Settings, HelpBoxCases) {
  struct {
    const char* line;
    bool help;
  } cases[] = {
      {"/P /P movie", true},   {"/Pa movie", true},      {"c:/clips/intro", true},
      {"", true},              {"   ", true},            {"/P", true},
      {"/L /L movie", true},   {"/L3 /L4 movie", true},  {"/V movie", true},
      {"movie /", true},       {"c:\\clips\\intro", false}, {"/P movie", false},
      {"/L /L3 movie", false},
  };
  for (auto c : cases) EXPECT_EQ(Parse("", c.line).show_help, c.help) << c.line;
}

TEST(Settings, OutOfRangeValuesAreRefused) {
  const char* refused[] = {
      "/A-1 m",  "/I3 m",    "/I103 m",   "/I-1 m",    "/D14 m",  "/D100 m",
      "/D700 m", "/D1301 m", "/D-308 m",  "/E-1 m",    "/E-5 m",  "/M-5 m",
      "/F-25 m", "/B11 m",   "/B-1 m",    "/L2147483648 m",       "/F4294967296 m",
      "/W2147483648 m",      "/H1;0.0000000001 m",    "/X99999999999 m",
  };
  for (const char* line : refused) EXPECT_TRUE(Parse("", line).show_help) << line;
  const char* accepted[] = {"/D613 m", "/F-0 m", "/I202 m",   "/A0 m",  "/E0 m",
                            "/M0 m",   "/B0 m",  "/W-3;2 m",  "/X-5 m", "/L-2147483648 m"};
  for (const char* line : accepted) EXPECT_FALSE(Parse("", line).show_help) << line;
  // A refused /D sets no flag.
  PlayerSettings s = Parse("", "/D1400 m");
  EXPECT_EQ(s.buffer_flags, 0u);
  EXPECT_EQ(s.display_mode, (DisplayModeRequest{0, 0, 0}));
  EXPECT_EQ(s.screen_width, 1920);
}

TEST(Settings, QuickPlay) {
  PlayerSettings expected = Defaults(" m  ");
  expected.play_count = 3;
  expected.keep_playing = true;
  EXPECT_EQ(Parse("", "/! m", "/L3 /J"), expected);
  // Without /! the stored switches are not read.
  EXPECT_EQ(Parse("", "m", "/L3 /J"), Defaults("m"));
  // Cancellation has run before the quick-play text arrives.
  EXPECT_TRUE(Parse("", "/! m", "/-J").show_help);
  PlayerSettings s = Parse("", "/-L /! m", "/L2");
  EXPECT_EQ(s.play_count, 2);
  EXPECT_FALSE(s.show_help);
  // At most 255 characters of it.
  s = Parse("", "/! m", std::string(255, 'x') + " /P");
  EXPECT_EQ(s.open_flags, 0u);
  EXPECT_EQ(s.name_list, " m " + std::string(255, 'x'));
}

TEST(Settings, TextOverflowIsCutAt511) {
  // Default command, command line and quick-play text together above 511.
  PlayerSettings s = Parse(std::string(300, 'a'), std::string(300, 'b') + " /P");
  EXPECT_EQ(s.name_list.size(), kCommandTextLimit);
  EXPECT_EQ(s.open_flags, 0u);  // the /P was cut off
  s = Parse(std::string(600, 'a'), "/P");
  EXPECT_EQ(s.name_list, std::string(511, 'a'));
  s = Parse(std::string(505, 'a'), "/!", "/L3 /P");
  EXPECT_EQ(s.play_count, 3);
  EXPECT_EQ(s.open_flags, 0u);
  EXPECT_LE(s.name_list.size(), kCommandTextLimit);
  // A text full of switch starts and cancellations stays in bounds.
  std::string hostile;
  for (int i = 0; i < 200; ++i) hostile += "/-/";
  s = Parse(hostile, hostile, hostile);
  EXPECT_TRUE(s.show_help);
}

TEST(Settings, FileNameArgumentsFollowTheNameList) {
  CommandInput input;
  input.command_line = "/S /L2";
  input.movie_names = {"/home/u/s.vxl", "/tmp/my \"movie\", cut.vxl"};
  input.screen_width = 1920;
  input.screen_height = 1080;
  PlayerSettings expected = Defaults(" ");
  expected.file_names = input.movie_names;
  expected.show_summary = true;
  expected.play_count = 2;
  EXPECT_EQ(ParseCommandText(input), expected);
  input.command_line = "";
  input.movie_names = {"/x/y.vxl"};
  expected = Defaults("");
  expected.file_names = input.movie_names;
  EXPECT_EQ(ParseCommandText(input), expected);
}

TEST(Settings, ScreensaverMode) {
  PlayerSettings expected = Defaults("m   ");
  expected.play_count = 0;
  expected.black_background = true;
  expected.window_style = kWindowBare;
  expected.hide_cursor = true;
  expected.buffer_flags = kBlitStyleDibSection;
  expected.window_x = 5;
  // The real command line is not used; /B is read and dropped (even out of range).
  EXPECT_EQ(Parse("m /L3 /B3 /X5", "/P other", "", true), expected);
  EXPECT_EQ(Parse("m /L3 /B99 /X5", "/P other", "", true), expected);
  EXPECT_TRUE(Parse("", "movie", "", true).show_help);
}

TEST(Settings, TwoNamesPlayAsAList) {
  PlayerSettings s = Parse("", "a b /L2");
  EXPECT_EQ(s.play_count, 2);
  NameList list(s.name_list);
  int32_t loops = 0;
  std::string name;
  ASSERT_TRUE(TakeFirstName(list, &s.play_count, &loops, &name));
  EXPECT_EQ(name, "a");
  EXPECT_EQ(loops, 2);
  EXPECT_EQ(s.play_count, 1);
  ASSERT_TRUE(list.TakeNext(&name));
  EXPECT_EQ(name, "b");
  EXPECT_FALSE(list.TakeNext(&name));
  list.Restore();
  ASSERT_TRUE(list.TakeNext(&name));
  EXPECT_EQ(name, "a");

  s = Parse("", "a /L2");
  NameList single(s.name_list);
  ASSERT_TRUE(TakeFirstName(single, &s.play_count, &loops, &name));
  EXPECT_EQ(loops, 1);
  EXPECT_EQ(s.play_count, 2);
}

}  // namespace
}  // namespace vexil

namespace vexil {
namespace {

// Random command texts made of the characters the parsers react to: no
// crash, no read or write out of bounds (run under the sanitizers), the text
// stays within its room, and every name comes out.
TEST(Settings, AnyTextIsSafe) {
  const std::string alphabet = "/-!#0123456789.;,\" \t~:|\\LlFfPpAaDdWwBbIiEeMmXx\xE9\x01";
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  auto random_text = [&](size_t max) {
    std::string text(next() % max, ' ');
    for (char& c : text) c = alphabet[next() % alphabet.size()];
    return text;
  };
  for (int i = 0; i < 3000; ++i) {
    std::string d = random_text(300), line = random_text(400), quick = random_text(300);
    PlayerSettings s = Parse(d, line, quick, i % 7 == 0);
    EXPECT_LE(s.name_list.size(), kCommandTextLimit);
    NameList list(s.name_list);
    std::string name;
    int guard = 0;
    while (list.TakeNext(&name)) ASSERT_LT(++guard, 600);
  }
}

}  // namespace
}  // namespace vexil
