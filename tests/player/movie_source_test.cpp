// Opening movies from the three kinds of source, with real movie files.
#include "player/movie_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audio/sound_track.h"
#include "encoder/movie_writer.h"
#include "engine/movie.h"
#include "player/settings.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

using test::TempFile;

std::vector<uint8_t> SmallMovie(uint32_t frames = 3) {
  MovieWriter writer('i', 32, 16, 25, 1);
  for (uint32_t i = 0; i < frames; ++i)
    writer.AddFrame(i == 0, std::vector<uint8_t>(24, static_cast<uint8_t>(i + 1)));
  return writer.Finish();
}

// `before` junk bytes, the movie, then more junk: a movie carried inside another file.
std::vector<uint8_t> Carrier(size_t before) {
  std::vector<uint8_t> movie = SmallMovie();
  std::vector<uint8_t> bytes(before, 0xEE);
  bytes.insert(bytes.end(), movie.begin(), movie.end());
  bytes.insert(bytes.end(), 100, 0x55);
  return bytes;
}

PlayerSettings NoSwitches() { return PlayerSettings{}; }

TEST(MovieFileName, AddsTheExtensionWhenThereIsNone) {
  struct {
    const char* name;
    const char* file;
  } cases[] = {
      {"intro", "intro.vxl"},
      {"intro.vxl", "intro.vxl"},
      {"intro.mov", "intro.mov"},
      {"c:\\clips.new\\intro", "c:\\clips.new\\intro.vxl"},
      {"c:intro", "c:intro.vxl"},
      {"c:\\clips\\intro.", "c:\\clips\\intro."},
      {"/home/u/clips.new/intro", "/home/u/clips.new/intro.vxl"},
      {"", ".vxl"},
  };
  for (auto c : cases) EXPECT_EQ(MovieFileName(c.name), c.file) << c.name;
}

TEST(MovieSource, PlainNames) {
  ErrorText error;
  TempFile file(SmallMovie(), "intro.vxl");
  SourceContext context;
  const std::string without_extension = file.Sibling("intro");
  for (const std::string& name : {without_extension, file.path()}) {
    OpenedSource opened = OpenMovieSource(test::TestEngine(), name, NoSwitches(), context, &error);
    ASSERT_NE(opened.movie, nullptr) << name << ": " << error.c_str();
    EXPECT_EQ(opened.title, "intro.vxl - Vexil Video Player");
    EXPECT_EQ(opened.file, platform::kNoFile);
    EXPECT_EQ(opened.movie->container.frame_count, 3u);
    CloseMovieSource(opened);
    EXPECT_EQ(opened.movie, nullptr);
  }
#ifndef _WIN32
  // The title is the last component after '\', ':' or '/'. (On Windows those
  // are the separators of every path above; a file name cannot hold them.)
  TempFile odd(SmallMovie(), "c:clips\\intro.vxl");
  OpenedSource opened = OpenMovieSource(test::TestEngine(), odd.Sibling("c:clips\\intro"),
                                        NoSwitches(), context, &error);
  ASSERT_NE(opened.movie, nullptr) << error.c_str();
  EXPECT_EQ(opened.title, "intro.vxl - Vexil Video Player");
  CloseMovieSource(opened);
#endif

  OpenedSource missing =
      OpenMovieSource(test::TestEngine(), file.Sibling("missing"), NoSwitches(), context, &error);
  EXPECT_EQ(missing.movie, nullptr);
  EXPECT_STREQ(error.c_str(), "Error opening file.");
  EXPECT_EQ(missing.title, "Vexil Video Player");
}

TEST(MovieSource, ColonSourcesReadTheProgramFile) {
  ErrorText error;
  TempFile program(Carrier(9731), "player.bin");
  SourceContext context;
  context.program_path = program.path();
  OpenedSource opened = OpenMovieSource(test::TestEngine(), ":9731", NoSwitches(), context, &error);
  ASSERT_NE(opened.movie, nullptr) << error.c_str();
  EXPECT_EQ(opened.title, "Vexil Video Player");
  EXPECT_NE(opened.file, platform::kNoFile);
  EXPECT_EQ(opened.movie->reader.input->base_offset, 9731);
  EXPECT_TRUE(opened.movie->open_flags & OPEN_FILE_HANDLE);
  EXPECT_EQ(opened.movie->reader.frame_data[0], 1);
  CloseMovieSource(opened);
  EXPECT_EQ(opened.file, platform::kNoFile);

  struct {
    std::string path;
    const char* name;
    const char* message;
  } failures[] = {
      {program.Sibling("missing.bin"), ":9731", "Error opening EXE file."},
      {"", ":9731", "Error opening EXE file."},
      {program.path(), ":", "Error opening EXE file."},
      {program.path(), ":abc", "Error opening EXE file."},
      {program.path(), ":-5", "Error opening EXE file."},
      {program.path(), ":99999999999999999999999", "Error opening EXE file."},
      {program.path(), ":9730", "Not a Vexil file."},
      {program.path(), ":0", "Not a Vexil file."},
  };
  for (const auto& f : failures) {
    context.program_path = f.path;
    opened = OpenMovieSource(test::TestEngine(), f.name, NoSwitches(), context, &error);
    EXPECT_EQ(opened.movie, nullptr) << f.name;
    EXPECT_EQ(opened.file, platform::kNoFile) << f.name;
    EXPECT_STREQ(error.c_str(), f.message) << f.name;
  }
}

TEST(MovieSource, BarSourcesReadAnotherFile) {
  ErrorText error;
  TempFile carrier(Carrier(4096), "clips.bin");
  SourceContext context;
  OpenedSource opened =
      OpenMovieSource(test::TestEngine(), carrier.path() + "|4096", NoSwitches(), context, &error);
  ASSERT_NE(opened.movie, nullptr) << error.c_str();
  EXPECT_EQ(opened.title, "Vexil Video Player");
  EXPECT_EQ(opened.movie->reader.input->base_offset, 4096);
  CloseMovieSource(opened);

  opened = OpenMovieSource(test::TestEngine(), carrier.Sibling("missing.bin") + "|4096",
                           NoSwitches(), context, &error);
  EXPECT_EQ(opened.movie, nullptr);
  EXPECT_STREQ(error.c_str(), "Error opening file.");
  opened =
      OpenMovieSource(test::TestEngine(), carrier.path() + "|x", NoSwitches(), context, &error);
  EXPECT_EQ(opened.movie, nullptr);
  EXPECT_STREQ(error.c_str(), "Error opening file.");
}

TEST(MovieSource, VersionReminderRunsBeforeNamedSourcesOnly) {
  ErrorText error;
  TempFile program(Carrier(100), "player.bin");
  int runs = 0;
  bool accept = false;
  SourceContext context;
  context.program_path = program.path();
  context.version_reminder = [&] {
    ++runs;
    return accept;
  };
  OpenedSource opened = OpenMovieSource(test::TestEngine(), ":100", NoSwitches(), context, &error);
  EXPECT_NE(opened.movie, nullptr);
  CloseMovieSource(opened);
  EXPECT_EQ(runs, 0);
  opened =
      OpenMovieSource(test::TestEngine(), program.path() + "|100", NoSwitches(), context, &error);
  EXPECT_NE(opened.movie, nullptr);
  CloseMovieSource(opened);
  EXPECT_EQ(runs, 1);
  accept = true;  // the user went to look for a new version: nothing is opened
  opened =
      OpenMovieSource(test::TestEngine(), program.path() + "|100", NoSwitches(), context, &error);
  EXPECT_TRUE(opened.quit);
  EXPECT_EQ(opened.movie, nullptr);
  EXPECT_EQ(opened.file, platform::kNoFile);
  EXPECT_EQ(runs, 2);
}

TEST(MovieSource, PerOpenSettingsReachTheEngine) {
  ErrorText error;
  TempFile file(SmallMovie());
  CommandInput input;
  input.command_line = "/F50 /M10000000 /E300000 m";
  PlayerSettings settings = ParseCommandText(input);
  ASSERT_FALSE(settings.show_help);
  OpenedSource opened =
      OpenMovieSource(test::TestEngine(), file.path(), settings, SourceContext{}, &error);
  ASSERT_NE(opened.movie, nullptr) << error.c_str();
  EXPECT_EQ(opened.movie->clock.rate_num, 50u);
  EXPECT_EQ(opened.movie->clock.rate_den, 1u);
  EXPECT_EQ(opened.movie->reader.input->simulated_speed, 10000000u);
  CloseMovieSource(opened);
  // Only that open was given them: the next one has the movie's own rate.
  MovieHandle* m = Open(test::TestEngine(), MovieSource::Name(file.c_str()), settings.open_flags);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->clock.rate_num, 25u);
  Close(m);

  // The sound track goes to the track list.
  settings = PlayerSettings{};
  settings.sound_track = 7;
  OpenOptions options = PlayerOpenOptions(settings);
  EXPECT_EQ(options.track_count, 1);
  EXPECT_EQ(options.track_ids[0], 7u);
  // The "none" values ask for nothing.
  settings = PlayerSettings{};
  options = PlayerOpenOptions(settings);
  EXPECT_EQ(options.track_ids[0], 0u);
  m = Open(test::TestEngine(), MovieSource::Name(file.c_str()),
           OPEN_RATE_OVERRIDE | OPEN_READ_BUFFER, options);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->clock.rate_num, 25u);
  Close(m);
}

}  // namespace
}  // namespace vexil
