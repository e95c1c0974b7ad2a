// A movie cut short is never reported as read to the end: info says how much
// is left, frame refuses a frame past the cut and writes nothing, decode keeps
// what decoded and says how much that was, with exit code 1. The same from
// standard input.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace vexil {
namespace {

// movie_003 (9 frames, 41066 bytes, sound track 3) cut after 20000 bytes:
// frames 1 to 3 end at 17930, frame 4 at 22322.
class TruncatedMovie : public ::testing::Test {
 protected:
  const std::string vectors_ = test::VectorsDir() + "/video/";
  const std::vector<uint8_t> whole_ = test::ReadFileBytes(vectors_ + "movie_003.vxl");
  test::TempFile cut_{std::vector<uint8_t>(whole_.begin(), whole_.begin() + 20000), "trunc.vxl"};
  const std::string report_ = "truncated: 20000 of 41066 bytes present, 3 of 9 frames complete\n";
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(TruncatedMovie, InfoSaysHowMuchIsLeft) {
  for (const std::string& input : {std::string(), cut_.path()}) {
    const test::ToolRun run = test::RunVexil({"info", input.empty() ? cut_.path() : "-"}, input);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(test::Unix(run.out).find("\nmovie size: 41066\n" + report_), std::string::npos)
        << run.out;
  }
  const test::ToolRun whole = test::RunVexil({"info", vectors_ + "movie_003.vxl"});
  EXPECT_EQ(whole.exit_code, 0);
  EXPECT_EQ(whole.out.find("truncated"), std::string::npos) << whole.out;
}

TEST_F(TruncatedMovie, FramePastTheCutFailsAndWritesNothing) {
  const test::TempFile out("t.png");
  const std::string why =
      "cannot read frame 9: the file is truncated after frame 3 (20000 of 41066 bytes)\n";
  for (const auto& [movie, input, shown] :
       {std::tuple{cut_.path(), std::string(), cut_.path()},
        std::tuple{std::string("-"), cut_.path(), std::string("standard input")}}) {
    for (const std::string& output : {out.path(), std::string("-")}) {
      const test::ToolRun run = test::RunVexil({"frame", movie, "9", "-o", output}, input);
      EXPECT_EQ(run.exit_code, 1);
      EXPECT_EQ(run.err, "vexil: " + shown + ": " + why);
      EXPECT_TRUE(test::ReadFileBytes(out.path()).empty());
      EXPECT_TRUE(run.out.empty());
    }
  }
  // Frames before the cut are there.
  EXPECT_EQ(test::RunVexil({"frame", cut_.path(), "3", "-o", out.path()}).exit_code, 0);
  EXPECT_FALSE(test::ReadFileBytes(out.path()).empty());
}

TEST_F(TruncatedMovie, DecodeKeepsTheFramesBeforeTheCut) {
  const std::vector<uint8_t> all = test::ReadFileBytes(vectors_ + "movie_003.y4m");
  const test::TempFile y4m("t.y4m"), wav("t.wav"), first3("first3.wav");
  ASSERT_EQ(test::RunVexil({"decode", vectors_ + "movie_003.vxl", "--wav", first3.path(), "--track",
                            "3", "--frames", "3"})
                .exit_code,
            0);
  const std::string told = "; wrote 3 of 9 frames\n";
  const char* modes[][2] = {
      {"--threads", "0"}, {"--threads", "2"}, {"--preload", nullptr}, {"--read-buffer", "4096"}};
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode[0]);
    std::vector<std::string> args{"decode",   cut_.path(), "--y4m", y4m.path(), "--wav",
                                  wav.path(), "--track",   "3",     mode[0]};
    if (mode[1]) args.push_back(mode[1]);
    const test::ToolRun run = test::RunVexil(args);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "vexil: " + cut_.path() +
                           ": cannot read frame 4: the file is truncated after frame 3 (20000 of "
                           "41066 bytes)" +
                           told);
    const std::vector<uint8_t> kept = test::ReadFileBytes(y4m.path());
    const std::string text(kept.begin(), kept.end());
    EXPECT_EQ(Count(text, "FRAME\n"), 3u);
    ASSERT_LT(kept.size(), all.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), all.begin()));
    EXPECT_TRUE(test::ReadFileBytes(wav.path()) == test::ReadFileBytes(first3.path()));
  }
  // From standard input to standard output.
  const test::ToolRun piped = test::RunVexil({"decode", "-", "--y4m", "-"}, cut_.path());
  EXPECT_EQ(piped.exit_code, 1);
  EXPECT_NE(piped.err.find("vexil: standard input: cannot read frame 4"), std::string::npos);
  EXPECT_TRUE(test::Bytes(piped.out) == test::ReadFileBytes(y4m.path()));
  // Asking only for what is there is a success.
  EXPECT_EQ(test::RunVexil({"decode", cut_.path(), "--y4m", y4m.path(), "--frames", "3"}).exit_code,
            0);
}

}  // namespace
}  // namespace vexil
