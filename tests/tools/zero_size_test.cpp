// Movies of zero width or height are valid (the container takes them, sound
// movies have them): every command handles the empty picture without passing
// an empty buffer's null pointer to a library call (the sanitizer build
// stops on that), and says so where the output cannot hold it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/movie_writer.h"
#include "engine/container.h"
#include "tool_runner.h"

namespace vexil {
namespace {

std::vector<uint8_t> EmptyPictureMovie(uint32_t width, uint32_t height, uint32_t flags) {
  MovieWriter writer('i', width, height, 10, 1, flags);
  for (int i = 0; i < 3; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(16, 0));
  return writer.Finish();
}

TEST(ToolZeroSize, EveryCommandTakesAnEmptyPicture) {
  const struct {
    uint32_t width, height, flags;
    const char* y4m_header;
  } movies[] = {
      {0, 16, 0, "YUV4MPEG2 W0 H16 F10:1 Ip A1:1 C420jpeg\n"},
      {16, 0, 0, "YUV4MPEG2 W16 H0 F10:1 Ip A1:1 C420jpeg\n"},
      {0, 16, HEADER_GRAYSCALE, "YUV4MPEG2 W0 H16 F10:1 Ip A1:1 C420jpeg\n"},
      {16, 0, HEADER_GRAYSCALE | HEADER_ALPHA, "YUV4MPEG2 W16 H0 F10:1 Ip A1:1 C420jpeg\n"},
      {0, 0, HEADER_ALPHA, "YUV4MPEG2 W0 H0 F10:1 Ip A1:1 C420jpeg\n"},
  };
  for (const auto& m : movies) {
    SCOPED_TRACE(std::to_string(m.width) + " x " + std::to_string(m.height) + " flags " +
                 std::to_string(m.flags));
    const test::TempFile movie(EmptyPictureMovie(m.width, m.height, m.flags), "empty.vxl");
    const test::TempFile raw("x.raw"), png("x.png"), y4m("x.y4m"), alpha("a.y4m");
    EXPECT_EQ(test::RunVexil({"info", movie.path()}).exit_code, 0);

    std::vector<std::string> decode{"decode", movie.path(), "--y4m", y4m.path()};
    if (m.flags & HEADER_ALPHA) decode.insert(decode.end(), {"--alpha", alpha.path()});
    const test::ToolRun decoded = test::RunVexil(decode);
    EXPECT_EQ(decoded.exit_code, 0) << decoded.err;
    const std::string frames = std::string(m.y4m_header) + "FRAME\nFRAME\nFRAME\n";
    EXPECT_TRUE(test::ReadFileBytes(y4m.path()) == test::Bytes(frames));
    if (m.flags & HEADER_ALPHA) {
      std::string mono = frames;
      mono.replace(mono.find("C420jpeg"), 8, "Cmono");
      EXPECT_TRUE(test::ReadFileBytes(alpha.path()) == test::Bytes(mono));
    }

    for (const char* format : {"3", "15", "13", "0"}) {
      const test::ToolRun run =
          test::RunVexil({"frame", movie.path(), "2", "-o", raw.path(), "--format", format});
      EXPECT_EQ(run.exit_code, 0) << format << ": " << run.err;
    }
    // No rows, or rows of no bytes: nothing to write but the empty file.
    EXPECT_TRUE(test::ReadFileBytes(raw.path()).empty());

    for (const std::string& out : {png.path(), std::string("-")}) {
      const test::ToolRun run = test::RunVexil({"frame", movie.path(), "2", "-o", out});
      EXPECT_EQ(run.exit_code, 1);
      EXPECT_NE(run.err.find("no PNG to write"), std::string::npos) << run.err;
      EXPECT_TRUE(run.out.empty());
    }
    EXPECT_TRUE(test::ReadFileBytes(png.path()).empty());
  }
}

}  // namespace
}  // namespace vexil
