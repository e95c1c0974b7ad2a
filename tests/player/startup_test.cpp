// The player's start-up as a whole: in process with captured message boxes,
// and the vexilplay program itself (help text, exit codes, the default
// command block patched in a copy of the program).
#include "player/startup.h"

#include <vexil/version.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driven_clock.h"
#include "encoder/movie_writer.h"
#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/headless/window_headless.h"
#include "platform/store.h"
#include "player/default_command.h"
#include "player/help_text.h"
#include "player/screensaver_mode.h"
#include "test_util.h"

namespace vexil::platform {
void PrintTo(const ShownMessage& m, std::ostream* out) {
  *out << "{[" << m.caption << "] [" << m.text << "] icon " << static_cast<int>(m.icon) << "}";
}
}  // namespace vexil::platform

namespace vexil {
namespace {

using platform::MessageIcon;
using platform::ShownMessage;
using test::TempFile;

std::vector<uint8_t> SmallMovie() {
  MovieWriter writer('i', 16, 16, 10, 1);
  for (int i = 0; i < 2; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(16, 3));
  return writer.Finish();
}

const ShownMessage kHelpBox = {"Vexil Video Player Help", HelpText(), MessageIcon::kInformation};

ShownMessage ErrorBox(const char* text) { return {"Vexil Error", text, MessageIcon::kError}; }

const ShownMessage* SummaryBox(const std::vector<ShownMessage>& boxes) {
  for (const ShownMessage& m : boxes)
    if (m.caption == "Vexil Playback Summary") return &m;
  return nullptr;
}

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetBackendForTest(platform::Backend::kHeadless);
    platform::CaptureMessageBoxes(&boxes_);
    platform::SetStores(&user_, &machine_);
  }
  void TearDown() override {
    platform::SetHeadlessMessageHook(nullptr);
    platform::CaptureMessageBoxes(nullptr);
    platform::SetStores(nullptr, nullptr);
  }
  int Run(const std::string& line, const std::string& default_command = "",
          std::vector<std::string> names = {}, const std::string& program = "/opt/vexilplay") {
    PlayerStart start;
    start.command_line = line;
    start.movie_names = std::move(names);
    start.default_command = default_command;
    start.program_path = program;
    start.closing_picture = std::span<const uint8_t>();
    return RunPlayer(start);
  }

  test::DrivenClock clock_;
  std::vector<ShownMessage> boxes_;
  platform::MemoryStore user_;
  platform::MemoryStore machine_;
};

TEST_F(Startup, HelpBox) {
  for (const char* line : {"", "  ", "/P /P movie", "/Pa movie", "c:/clips/intro", "/D14 m"}) {
    boxes_.clear();
    EXPECT_EQ(Run(line), kExitFailure) << line;
    EXPECT_EQ(boxes_, std::vector<ShownMessage>{kHelpBox}) << line;
  }
}

TEST_F(Startup, FailedOpenShowsTheErrorAndStops) {
  TempFile movie(SmallMovie());
  EXPECT_EQ(Run("", "", {movie.Sibling("missing")}), kExitFailure);
  EXPECT_EQ(boxes_, std::vector<ShownMessage>{ErrorBox("Error opening file.")});
  // The first failure ends it; names after it are not tried.
  boxes_.clear();
  EXPECT_EQ(Run(":5", "", {movie.path()}), kExitFailure);
  EXPECT_EQ(boxes_, std::vector<ShownMessage>{ErrorBox("Error opening EXE file.")});
}

TEST_F(Startup, PlaysEveryMovieOfTheList) {
  TempFile movie(SmallMovie(), "intro.vxl");
  EXPECT_EQ(Run("/L2 /S", "", {movie.path(), movie.Sibling("intro")}), kExitSuccess);
  ASSERT_EQ(boxes_.size(), 1u);
  ASSERT_NE(SummaryBox(boxes_), nullptr);
  // The summary describes the last movie of the list.
  EXPECT_NE(boxes_[0].text.find("Total frames played: 2\n"), std::string::npos) << boxes_[0].text;
}

TEST_F(Startup, DefaultCommandCarriesTheMovie) {
  std::vector<uint8_t> program(5000, 0x90);
  std::vector<uint8_t> movie = SmallMovie();
  program.insert(program.end(), movie.begin(), movie.end());
  TempFile exe(program, "player");
  EXPECT_EQ(Run("/-L /S", ":5000 /l /j", {}, exe.path()), kExitSuccess);
  ASSERT_NE(SummaryBox(boxes_), nullptr);
  EXPECT_NE(boxes_[0].text.find("Total frames played: 2\n"), std::string::npos);
}

TEST_F(Startup, ScreensaverIgnoresTheCommandLine) {
  std::vector<uint8_t> program(5000, 0x90);
  std::vector<uint8_t> movie = SmallMovie();
  program.insert(program.end(), movie.begin(), movie.end());
  TempFile saver(program, "Movie.SCR");
  // No default command: nothing to play, whatever the command line says.
  EXPECT_EQ(Run("movie", "", {saver.path()}, saver.path()), kExitFailure);
  EXPECT_EQ(boxes_, std::vector<ShownMessage>{kHelpBox});
  boxes_.clear();
  // The carried movie plays forever; closing the window ends it.
  platform::SetHeadlessMessageHook([] {
    if (platform::HeadlessLastWindow() && platform::HeadlessLastWindow()->IsVisible()) {
      platform::Message close;
      close.window = platform::HeadlessLastWindow();
      close.kind = platform::MessageKind::kClose;
      platform::PostWindowMessage(close);
    }
  });
  // Switches on the command line are not the player's ("/P /P" would bring
  // the help box): only the saver's own argument is read.
  EXPECT_EQ(Run("/s /P /P", ":5000", {}, saver.path()), kExitSuccess);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(Startup, QuickPlayComesFromTheStore) {
  TempFile movie(SmallMovie());
  user_.Set("VexilQuickPlay", "/P /P");
  EXPECT_EQ(Run("/!", "", {movie.path()}), kExitFailure);
  EXPECT_EQ(boxes_, std::vector<ShownMessage>{kHelpBox});
  boxes_.clear();
  // The machine's value replaces the user's when it fits.
  machine_.Set("VexilQuickPlay", "/L2 /S");
  EXPECT_EQ(Run("/!", "", {movie.path()}), kExitSuccess);
  ASSERT_NE(SummaryBox(boxes_), nullptr);
  EXPECT_NE(boxes_[0].text.find("Total frames played: 4\n"), std::string::npos);
}

TEST(Store, UserValueThenMachineValueWhenItFits) {
  platform::MemoryStore user, machine;
  platform::SetStores(&user, &machine);
  EXPECT_EQ(platform::StoreRead("Date", "2008-05-30", 255), "2008-05-30");
  user.Set("Date", "2009-01-02");
  EXPECT_EQ(platform::StoreRead("Date", "2008-05-30", 255), "2009-01-02");
  machine.Set("Date", "2010-03-04");
  EXPECT_EQ(platform::StoreRead("Date", "2008-05-30", 255), "2010-03-04");
  machine.Set("Date", std::string(256, 'm'));  // too long: the user's value stays
  EXPECT_EQ(platform::StoreRead("Date", "2008-05-30", 255), "2009-01-02");
  user.Set("Date", std::string(300, 'u'));  // the user's is cut to the room
  EXPECT_EQ(platform::StoreRead("Date", "", 255), std::string(255, 'u'));
  EXPECT_TRUE(platform::StoreWrite("Date", "2011-05-06"));
  EXPECT_EQ(user.Get("Date"), "2011-05-06");
  EXPECT_EQ(machine.Get("Date"), "2011-05-06");
  platform::SetStores(nullptr, nullptr);
}

TEST(DefaultCommand, LoadedUpToTheFirstTildeAnd511Characters) {
  EXPECT_EQ(LoadDefaultCommand(), "");  // the unpatched block is all fill
  struct {
    std::string block;
    std::string command;
  } cases[] = {
      {std::string(512, '~'), ""},
      {":97280 /l /j" + std::string(500, '~'), ":97280 /l /j"},
      {std::string(512, 'a'), std::string(511, 'a')},
      {std::string(511, 'a') + "~", std::string(511, 'a')},
      {std::string("ab\0cd~", 6), "ab"},
      {"a~b~", "a"},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultCommandFromBlock(c.block), c.command);
}

// --- the program itself ---

#ifdef _WIN32
const std::string kProgramSuffix = ".exe";
std::string PlayerProgram() { return test::BuiltProgram("player/VexilPlay"); }
#else
const std::string kProgramSuffix = "";
std::string PlayerProgram() { return test::BuiltProgram("player/vexilplay"); }
#endif

using test::RunProgram;

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(PlayerProgram())) << PlayerProgram() << " is not built";
  }
  // Message boxes as text on standard error, whatever the desktop.
  test::ScopedEnvironment headless_{"VEXIL_PLATFORM", "headless"};
};

TEST_F(Program, HelpTextOnStandardErrorAndExitCode1) {
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{}, {"/P", "/P", "movie"}, {"/X"}, {"/I3", "movie"}}) {
    test::ProgramOutcome o = RunProgram(PlayerProgram(), arguments);
    EXPECT_EQ(o.exit_code, 1);
    EXPECT_EQ(o.error_output, HelpText());
  }
}

#ifndef _WIN32
// Standard output of the program with these arguments, and its exit code.
std::string StandardOutput(const std::vector<std::string>& arguments, int* exit_code,
                           const std::string& program = PlayerProgram()) {
  TempFile out("stdout.txt");
  std::string command = "exec \"$0\" \"$@\" >'" + out.path() + "'";
  std::vector<std::string> words{"-c", command, program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  *exit_code = RunProgram("/bin/sh", words).exit_code;
  const std::vector<uint8_t> bytes = test::ReadFileBytes(out.path());
  return std::string(bytes.begin(), bytes.end());
}

// As every command-line program: -h/--help and -V/--version on standard
// output with exit code 0, wherever they stand before "--", even when a file
// of that name exists; blank arguments count as none.
TEST_F(Program, HelpAndVersionOptions) {
  // "-h" names the movie -h.vxl, as any name without an extension would.
  TempFile dash_h(SmallMovie(), "-h.vxl");
  const std::string folder = std::filesystem::path(dash_h.path()).parent_path().string();
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(folder);
  struct Case {
    std::vector<std::string> arguments;
    std::string output;
  } cases[] = {
      {{"-h"}, HelpText()},
      {{"--help"}, HelpText()},
      {{"movie", "/L", "--help"}, HelpText()},
      {{"-V"}, "vexilplay " VEXIL_VERSION_STRING "\n"},
      {{"--version", "-h"}, "vexilplay " VEXIL_VERSION_STRING "\n"},
  };
  for (const Case& c : cases) {
    int code = -1;
    EXPECT_EQ(StandardOutput(c.arguments, &code), c.output) << c.arguments[0];
    EXPECT_EQ(code, 0) << c.arguments[0];
  }
  // The movie plays when it is named as a file.
  EXPECT_EQ(RunProgram(PlayerProgram(), {"--", "-h"}).exit_code, 0);
  EXPECT_EQ(RunProgram(PlayerProgram(), {"./-h"}).exit_code, 0);
  std::filesystem::current_path(cwd);

  // A screen saver takes its host's arguments only: "-c" asks for its
  // settings, and "--help" is not looked at.
  TempFile saver(test::ReadFileBytes(PlayerProgram()), "saver.scr");
  std::filesystem::permissions(saver.path(), std::filesystem::perms::owner_all);
  int code = -1;
  EXPECT_EQ(StandardOutput({"-c", "--help"}, &code, saver.path()), "");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(RunProgram(saver.path(), {"-c", "--help"}).error_output,
            std::string(kSaverSettingsText) + "\n");

  // Blank arguments are no movie: the help box (here on standard error).
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{""}, {"   "}, {" ", "\t"}, {"--", "  "}}) {
    test::ProgramOutcome o = RunProgram(PlayerProgram(), arguments);
    EXPECT_EQ(o.exit_code, 1);
    EXPECT_EQ(o.error_output, HelpText());
  }
}

// A file cut short plays up to the cut, then one line says so; the exit code
// stays 0, as after any playing.
TEST_F(Program, SaysWhenTheMovieEndsEarly) {
  MovieWriter writer('i', 16, 16, 20, 1);
  for (int i = 0; i < 10; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(64, uint8_t(i)));
  std::vector<uint8_t> bytes = writer.Finish();
  bytes.resize(bytes.size() - 5 * 64);  // frames 6 to 10 gone
  TempFile cut(bytes, "cut.vxl");
  const std::string line = "vexilplay: " + cut.path() +
                           ": the movie ended early at frame 5 of 10: the file is damaged or cut "
                           "short\n";
  // Read ahead on the read thread, and preloaded.
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{cut.path()}, {"/P", cut.path()}}) {
    test::ProgramOutcome o = RunProgram(PlayerProgram(), arguments);
    EXPECT_EQ(o.exit_code, 0) << arguments[0];
    EXPECT_EQ(o.error_output, line) << arguments[0];
  }
  // The whole file: no such line.
  TempFile whole(writer.Finish(), "whole.vxl");
  EXPECT_EQ(RunProgram(PlayerProgram(), {whole.path()}).error_output, "");
}
#endif

TEST_F(Program, MoviesByPathAndTheirErrors) {
  TempFile movie(SmallMovie(), "intro.vxl");
  test::ProgramOutcome o = RunProgram(PlayerProgram(), {movie.path(), "/S"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.error_output.rfind("Video: 16 x 16 at 10.0 frames/sec\nTotal frames: 2\n\n", 0), 0u)
      << o.error_output;
  o = RunProgram(PlayerProgram(), {movie.Sibling("intro")});  // ".vxl" added
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.error_output, "");
#ifdef _WIN32
  o = RunProgram(PlayerProgram(), {movie.Sibling("missing")});
#else
  o = RunProgram(PlayerProgram(), {"--", movie.Sibling("missing")});
#endif
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.error_output, "Error opening file.\n");
#ifndef _WIN32
  // A file's name is taken whole, quotes and commas included.
  TempFile quoted(SmallMovie(), "say \"hi\", twice.vxl");
  o = RunProgram(PlayerProgram(), {quoted.path(), "/S"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.error_output.rfind("Video: 16 x 16", 0), 0u) << o.error_output;
#endif
}

// A copy of the program with a movie appended and the default command
// patched to play it, as a tool that embeds movies does.
TEST_F(Program, PatchedDefaultCommandPlaysTheCarriedMovie) {
  std::vector<uint8_t> program = test::ReadFileBytes(PlayerProgram());
  EXPECT_EQ(platform::ReadDefaultCommandBlock(program.data(), program.size()),
            std::string(platform::kDefaultCommandBlockSize, platform::kDefaultCommandFill));
  // Damaged program files are refused, not read out of bounds.
  EXPECT_EQ(platform::FindDefaultCommandBlock(program.data(), 0x40).offset, -1);
  std::vector<uint8_t> damaged = program;
  damaged[0x3C] = 0xFF;  // ELF: the section count; PE: where its header lies
  damaged[0x3D] = 0xFF;
  EXPECT_EQ(platform::FindDefaultCommandBlock(damaged.data(), damaged.size()).offset, -1);
  const uint8_t neither[64] = {'Z', 'M'};
  EXPECT_EQ(platform::FindDefaultCommandBlock(neither, sizeof neither).offset, -1);

  const size_t offset = program.size();
  std::string command = ":";
  command += std::to_string(offset);
  command += " /l /j";
  ASSERT_TRUE(platform::WriteDefaultCommandBlock(program.data(), program.size(), command));
  std::vector<uint8_t> movie = SmallMovie();
  program.insert(program.end(), movie.begin(), movie.end());
  TempFile copy(program, "carrier" + kProgramSuffix);
  std::filesystem::permissions(copy.path(), std::filesystem::perms::owner_all);

#ifndef _WIN32
  // "/l" plays forever: an interrupt ends it in order, with exit code 0.
  EXPECT_EQ(RunProgram("timeout", {"--preserve-status", "-s", "TERM", "1", copy.path()}).exit_code,
            0);
#endif
  EXPECT_EQ(RunProgram(copy.path(), {"/-L"}).exit_code, 0);
  test::ProgramOutcome o = RunProgram(copy.path(), {"/Pa"});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.error_output, HelpText());
}

}  // namespace
}  // namespace vexil
