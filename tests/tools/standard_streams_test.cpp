// "-" is standard input or output wherever a command reads or writes a file:
// the bytes through the standard streams are the bytes through files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_runner.h"

namespace vexil {
namespace {

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(ToolStandardStreams, SameBytesAsThroughFiles) {
  const std::string movie = test::VectorsDir() + "/video/movie_003.vxl";
  const std::string pictures = test::VectorsDir() + "/video/movie_000.y4m";
  test::TempFile file("out.png");
  struct Case {
    std::vector<std::string> through_stdout;  // "-" in place of the file
    std::vector<std::string> through_file;    // the same with the file (empty: `expected` instead)
    std::string input;                        // on standard input ("" for none)
    std::string expected;                     // the file to compare with
  };
  const Case cases[] = {
      {{"info", "-"}, {"info", movie}, movie, ""},
      {{"decode", "-", "--y4m", "-"}, {}, movie, test::VectorsDir() + "/video/movie_003.y4m"},
      {{"decode", movie, "--wav", "-", "--track", "3"},
       {"decode", movie, "--wav", file.path(), "--track", "3"},
       "",
       ""},
      {{"frame", movie, "5", "-o", "-"}, {"frame", movie, "5", "-o", file.path()}, "", ""},
      {{"frame", "-", "5", "-o", "-", "--format", "13"},
       {"frame", movie, "5", "-o", file.path(), "--format", "13"},
       movie,
       ""},
      {{"encode", "-", "-o", "-"}, {"encode", pictures, "-o", file.path()}, pictures, ""},
      {{"synth", "closing", "--y4m", "-"}, {"synth", "closing", "--y4m", file.path()}, "", ""},
      {{"synth", "demo", "--seconds", "1", "--size", "32x16", "--wav", "-", "--y4m",
        file.path() + ".y4m"},
       {"synth", "demo", "--seconds", "1", "--size", "32x16", "--wav", file.path(), "--y4m",
        file.path() + ".y4m"},
       "",
       ""},
      {{"sample", "-"}, {"sample", file.path()}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.through_stdout[0] + " " + c.through_stdout[1]);
    const test::ToolRun piped = test::RunVexil(c.through_stdout, c.input);
    EXPECT_EQ(piped.exit_code, 0) << piped.err;
    std::string expected;
    if (c.through_file.empty()) {
      expected = Text(test::ReadFileBytes(c.expected));
    } else {
      const test::ToolRun filed = test::RunVexil(c.through_file);
      ASSERT_EQ(filed.exit_code, 0) << filed.err;
      // info writes its report to standard output either way.
      expected = c.through_stdout[0] == "info" ? filed.out : Text(test::ReadFileBytes(file.path()));
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(piped.out == expected)
        << piped.out.size() << " bytes, expected " << expected.size();
  }
}

TEST(ToolStandardStreams, APngOnStandardOutput) {
  const test::ToolRun run =
      test::RunVexil({"frame", test::VectorsDir() + "/video/movie_003.vxl", "1", "-o", "-"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

TEST(ToolStandardStreams, EncodeSummaryLeavesTheMovieAlone) {
  const std::string pictures = test::VectorsDir() + "/video/movie_000.y4m";
  const test::ToolRun run = test::RunVexil({"encode", "-", "-o", "-"}, pictures);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 3), "VXL");
  EXPECT_EQ(run.err.rfind("standard output: 2 frames", 0), 0u) << run.err;
}

}  // namespace
}  // namespace vexil
