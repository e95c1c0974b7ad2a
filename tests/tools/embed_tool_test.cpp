// vexil embed: a copy of the player that carries a movie and plays it, with
// default switches the command line can cancel; and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/movie_writer.h"
#include "test_util.h"

namespace vexil {
namespace {

#ifdef _WIN32
const std::string kSuffix = ".exe";
#else
const std::string kSuffix = "";
#endif

const std::string kTool = test::BuiltProgram("tools/vexil");
const std::string kPlayer = test::BuiltProgram("player/vexilplay");

std::vector<uint8_t> Movie(uint32_t width, uint32_t height, uint32_t frames) {
  MovieWriter writer('i', width, height, 10, 1);
  for (uint32_t i = 0; i < frames; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(16, 0));
  return writer.Finish();
}

test::ProgramOutcome Embed(const std::vector<std::string>& arguments) {
  std::vector<std::string> all{"embed"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return test::RunProgram(kTool, all);
}

class EmbedTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(test::ReadFileBytes(kPlayer).empty()) << kPlayer << " is not built";
  }
  // Summaries and errors as text on standard error.
  test::ScopedEnvironment headless_{"VEXIL_PLATFORM", "headless"};
};

TEST_F(EmbedTool, TheCopyPlaysItsOwnMovie) {
  test::TempFile movie(Movie(16, 16, 2), "small.vxl");
  test::TempFile out("carrier" + kSuffix);
  ASSERT_EQ(Embed({kPlayer, movie.path(), "-o", out.path(), "--switches", "/S /L /J"}).exit_code,
            0);
  // The movie follows the player's own bytes.
  const std::vector<uint8_t> player = test::ReadFileBytes(kPlayer);
  const std::vector<uint8_t> carrier = test::ReadFileBytes(out.path());
  const std::vector<uint8_t> bytes = test::ReadFileBytes(movie.path());
  ASSERT_EQ(carrier.size(), player.size() + bytes.size());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), carrier.begin() + player.size()));

  // Its default /L plays forever; the command line cancels it.
  test::ProgramOutcome o = test::RunProgram(out.path(), {"/-L"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.error_output.rfind("Video: 16 x 16 at 10.0 frames/sec\nTotal frames: 2\n\n"
                                 "Total frames played: 2\n",
                                 0),
            0u)
      << o.error_output;

  // A carrier made into a carrier of another movie plays the new one.
  test::TempFile other(Movie(32, 24, 3), "other.vxl");
  test::TempFile again("again" + kSuffix);
  ASSERT_EQ(Embed({out.path(), other.path(), "-o", again.path(), "--switches", "/S"}).exit_code, 0);
  o = test::RunProgram(again.path(), {});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.error_output.rfind("Video: 32 x 24 at 10.0 frames/sec\nTotal frames: 3\n\n", 0), 0u)
      << o.error_output;
}

TEST_F(EmbedTool, Refusals) {
  test::TempFile movie(Movie(16, 16, 2), "small.vxl");
  test::TempFile not_movie(std::vector<uint8_t>(100, 'x'), "text.vxl");
  test::TempFile not_player(Movie(16, 16, 2), "not_a_player");
  test::TempFile out("out" + kSuffix);
  const struct {
    std::vector<std::string> arguments;
    int exit_code;
    std::string message;
  } cases[] = {
      {{kPlayer, not_movie.path(), "-o", out.path()}, 1, "Not a Vexil file."},
      {{kPlayer, movie.Sibling("missing.vxl"), "-o", out.path()}, 1, "Error opening file."},
      {{not_player.path(), movie.path(), "-o", out.path()}, 1, "not a player"},
      {{kPlayer, movie.path(), "-o", out.path(), "--switches", "/S ~"}, 1, "do not fit"},
      {{kPlayer, movie.path(), "-o", out.path(), "--switches", std::string(510, 'x')},
       1,
       "do not fit"},
      {{kPlayer, movie.path()}, 2, "usage: vexil embed"},
      {{kPlayer, movie.path(), "-o", out.path(), "extra"}, 2, "usage: vexil embed"},
  };
  for (const auto& c : cases) {
    const test::ProgramOutcome o = Embed(c.arguments);
    EXPECT_EQ(o.exit_code, c.exit_code) << o.error_output;
    EXPECT_NE(o.error_output.find(c.message), std::string::npos) << o.error_output;
  }
  EXPECT_TRUE(test::ReadFileBytes(out.path()).empty());  // nothing written
}

}  // namespace
}  // namespace vexil
