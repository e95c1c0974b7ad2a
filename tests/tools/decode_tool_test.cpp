// vexil decode --y4m / --alpha: the conformance movies' pictures, byte for
// byte, whichever way the movie is read and decoded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_util.h"

namespace vexil {
namespace {

const std::string kTool = test::BuiltProgram("tools/vexil");

int RunVexil(const std::string& arguments) {
  return test::RunProgram(kTool, test::SplitAtBlanks(arguments)).exit_code;
}

TEST(DecodeTool, Y4mAndAlphaMatchTheVectors) {
  const std::string dir = test::VectorsDir() + "/video/";
  test::TempFile out("out.y4m"), alpha("alpha.y4m");
  const char* modes[] = {"--threads 0", "--threads 1 --preload", "--threads 2 --read-buffer 4096"};
  int movies = 0;
  for (int n = 0;; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "movie_%03d", n);
    const std::string base = dir + name;
    if (test::ReadFileBytes(base + ".vxl").empty()) break;
    ++movies;
    const bool has_alpha = !test::ReadFileBytes(base + ".alpha.y4m").empty();
    const std::string mode = modes[n % 3];
    SCOPED_TRACE(std::string(name) + " " + mode);
    std::string args = "decode " + base + ".vxl --quiet --y4m " + out.path() + " " + mode;
    if (has_alpha) args += " --alpha " + alpha.path();
    ASSERT_EQ(RunVexil(args), 0);
    EXPECT_TRUE(test::ReadFileBytes(out.path()) == test::ReadFileBytes(base + ".y4m"));
    if (has_alpha) {
      EXPECT_TRUE(test::ReadFileBytes(alpha.path()) == test::ReadFileBytes(base + ".alpha.y4m"));
    }
  }
  EXPECT_GE(movies, 40);
}

TEST(DecodeTool, FramesLimitThePictures) {
  const std::string movie = test::VectorsDir() + "/video/movie_003.vxl";
  test::TempFile all("all.y4m"), two("two.y4m");
  ASSERT_EQ(RunVexil("decode " + movie + " --y4m " + all.path()), 0);
  ASSERT_EQ(RunVexil("decode " + movie + " --y4m " + two.path() + " --frames 2"), 0);
  const auto a = test::ReadFileBytes(all.path()), t = test::ReadFileBytes(two.path());
  ASSERT_GT(t.size(), 0u);
  ASSERT_LT(t.size(), a.size());
  EXPECT_TRUE(std::equal(t.begin(), t.end(), a.begin()));
}

TEST(DecodeTool, AlphaOfAMovieWithoutAlphaIsRefused) {
  test::TempFile out("out.y4m");
  EXPECT_EQ(RunVexil("decode " + test::VectorsDir() + "/video/movie_000.vxl --alpha " + out.path()), 1);
}

}  // namespace
}  // namespace vexil
