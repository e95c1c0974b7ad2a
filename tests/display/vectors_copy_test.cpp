// Copies of real decoded frames: every conformance movie is decoded through
// the engine and each frame copied. YV12 copies must hold exactly the
// expected planes; the SIMD kernels must agree with their reference on every
// format; copying only the changed blocks into the previous picture must give
// the whole new picture; and `vexil frame` must write the same YV12 planes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/background_decode.h"
#include "engine/frame_clock.h"
#include "test_engine.h"
#include "test_movie.h"
#include "test_util.h"

namespace vexil {
namespace {

std::vector<std::string> VectorMovies() {
  std::vector<std::string> movies;
  const std::string dir = test::VectorsDir() + "/video";
  for (int i = 0; i < 100; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/movie_%03d.vxl", i);
    if (std::filesystem::exists(dir + name)) movies.push_back(dir + name);
  }
  return movies;
}

// Frames of the movie's Y4M file: Y, Cb, Cr of the visible area.
std::vector<std::vector<uint8_t>> ExpectedFrames(const std::string& movie, size_t frame_bytes) {
  const std::vector<uint8_t> y4m = test::ReadFileBytes(movie.substr(0, movie.size() - 4) + ".y4m");
  std::vector<std::vector<uint8_t>> frames;
  size_t pos = 0;
  while (pos < y4m.size() && y4m[pos] != '\n') ++pos;  // the header line
  ++pos;
  while (pos < y4m.size()) {
    while (pos < y4m.size() && y4m[pos] != '\n') ++pos;  // a FRAME line
    ++pos;
    if (pos + frame_bytes > y4m.size()) break;
    frames.emplace_back(y4m.begin() + ptrdiff_t(pos), y4m.begin() + ptrdiff_t(pos + frame_bytes));
    pos += frame_bytes;
  }
  return frames;
}

// The YV12 layout of `vexil frame -o OUT.raw`: pitch rounded up to 4, an even
// number of luma rows, then V and U at half pitch.
bool Yv12Matches(const std::vector<uint8_t>& raw, const std::vector<uint8_t>& frame, uint32_t w,
                 uint32_t h) {
  const size_t pitch = (w + 3) & ~3u, rows = (h + 1) & ~1u, half = pitch / 2;
  const size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  if (raw.size() < pitch * rows + 2 * half * (rows / 2)) return false;
  const uint8_t* v = raw.data() + pitch * rows;
  const uint8_t* u = v + half * (rows / 2);
  for (size_t y = 0; y < h; ++y)
    if (std::memcmp(&raw[y * pitch], &frame[y * w], w)) return false;
  const uint8_t* cb = frame.data() + size_t{w} * h;
  const uint8_t* cr = cb + cw * ch;
  for (size_t y = 0; y < ch; ++y)
    if (std::memcmp(v + y * half, cr + y * cw, cw) || std::memcmp(u + y * half, cb + y * cw, cw))
      return false;
  return true;
}

std::vector<uint8_t> CopyFrame(ConversionContext& conversion, MovieHandle* movie, uint32_t format,
                               uint32_t flags = COPY_ALL) {
  const int32_t pitch = static_cast<int32_t>((movie->width * PixelFormatBytes(format) + 3) & ~3u);
  const uint32_t rows = format == PIXFMT_YV12 ? (movie->height + 1) & ~1u : movie->height;
  std::vector<uint8_t> out(size_t(pitch) * rows * 3 / 2 + 8, 0);
  CopyToBuffer(conversion, movie, out.data(), pitch, static_cast<int32_t>(rows), movie->width,
               movie->height, format | flags | COPY_NO_SKIP);
  return out;
}

TEST(VectorCopies, EveryFrameOfEveryMovie) {
  const std::vector<std::string> movies = VectorMovies();
  ASSERT_FALSE(movies.empty()) << "no conformance vectors in " << test::VectorsDir();
  const std::vector<uint32_t> simd = test::SimdPaths();
  for (const std::string& path : movies) {
    SCOPED_TRACE(path);
    MovieHandle* movie = Open(test::TestEngine(), MovieSource::Name(path.c_str()), OPEN_ALPHA);
    ASSERT_NE(movie, nullptr);
    const uint32_t w = movie->container.file_width, h = movie->container.file_height;
    const bool plain_size = movie->width == w && movie->height == h;
    const auto expected =
        ExpectedFrames(path, size_t{w} * h + 2 * size_t((w + 1) / 2) * ((h + 1) / 2));
    std::vector<uint8_t> shown;
    for (uint32_t f = 0; f < movie->container.frame_count; ++f) {
      SCOPED_TRACE(testing::Message() << "frame " << f + 1);
      if (f) Advance(movie);
      ASSERT_EQ(StartBackgroundDecode(movie), 1);
      while (!WaitForBackgroundDecode(movie)) {
      }
      if (plain_size && f < expected.size()) {
        ConversionContext conversion;
        EXPECT_TRUE(Yv12Matches(CopyFrame(conversion, movie, PIXFMT_YV12), expected[f], w, h));
      }
      for (uint32_t format = 0; format < PIXFMT_COUNT; ++format) {
        std::vector<uint8_t> want;
        for (uint32_t features : simd) {
          ConversionContext conversion(features);
          std::vector<uint8_t> got = CopyFrame(conversion, movie, format);
          if (want.empty()) {
            want = std::move(got);
          } else {
            ASSERT_EQ(got, want) << "format " << format << " path " << features;
          }
        }
      }
      // Only the changed blocks, into the previous frame's picture: marked
      // 16x16 areas get the new frame, the others keep what was shown (blocks
      // a frame passes over keep older content in the planes, unmarked).
      ConversionContext table(test::kTablePath);
      const uint32_t width = movie->width, height = movie->height;
      if (shown.empty()) shown.assign(size_t{width} * height * 4, 0);
      const std::vector<uint8_t> before = shown;
      const bool blocks_only = movie->video.changed_percent < 75 && movie->video.map_copy;
      CopyToBuffer(table, movie, shown.data(), static_cast<int32_t>(width * 4),
                   static_cast<int32_t>(height), width, height, PIXFMT_32 | COPY_NO_SKIP);
      const std::vector<uint8_t> whole = CopyFrame(table, movie, PIXFMT_32);
      for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
          const uint32_t sx = x * w / width, sy = y * h / height;  // decoded-frame position
          const bool marked =
              !blocks_only || movie->video.map_copy[(sy / 16) * movie->video.map_stride + sx / 16];
          const size_t at = (size_t{y} * width + x) * 4;
          ASSERT_EQ(0, std::memcmp(&shown[at], marked ? &whole[at] : &before[at], 4))
              << "at " << x << "," << y << (marked ? " (changed)" : " (unchanged)");
        }
    }
    Close(movie);
  }
}

TEST(VectorCopies, FrameToolWritesTheYv12Planes) {
  const std::string tool = test::BuiltProgram("tools/vexil");
  ASSERT_TRUE(std::filesystem::exists(tool)) << tool << " is not built";
  const std::vector<std::string> movies = VectorMovies();
  ASSERT_FALSE(movies.empty()) << "no conformance vectors in " << test::VectorsDir();
  test::TempFile raw("frame.raw");
  for (const std::string& path : movies) {
    MovieHandle* movie = Open(test::TestEngine(), MovieSource::Name(path.c_str()), 0);
    ASSERT_NE(movie, nullptr);
    const uint32_t w = movie->container.file_width, h = movie->container.file_height,
                   frames = movie->container.frame_count;
    const bool plain_size = movie->width == w && movie->height == h;
    Close(movie);
    if (!plain_size) continue;
    const auto expected =
        ExpectedFrames(path, size_t{w} * h + 2 * size_t((w + 1) / 2) * ((h + 1) / 2));
    for (uint32_t n : {1u, frames}) {
      // The processor's kernels, then the portable ones.
      for (const char* mask : {"ffffffff", "0"}) {
        test::ScopedEnvironment cpu("VEXIL_CPU_MASK", mask);
        const std::vector<std::string> arguments = {
            "frame", path, std::to_string(n), "-o", raw.path(), "--format", "15"};
        const test::ProgramOutcome o = test::RunProgram(tool, arguments);
        ASSERT_EQ(o.exit_code, 0) << path << " frame " << n << ": " << o.error_output;
        EXPECT_TRUE(Yv12Matches(test::ReadFileBytes(raw.path()), expected.at(n - 1), w, h))
            << path << " frame " << n << " with VEXIL_CPU_MASK=" << mask;
      }
    }
  }
  // A PNG for the default format.
  test::TempFile png("frame.png");
  ASSERT_EQ(test::RunProgram(tool, {"frame", movies[0], "1", "-o", png.path()}).exit_code, 0);
  const std::vector<uint8_t> bytes = test::ReadFileBytes(png.path());
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
            (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
  // Frame numbers outside the movie are refused.
  EXPECT_NE(test::RunProgram(tool, {"frame", movies[0], "0", "-o", png.path()}).exit_code, 0);
}

}  // namespace
}  // namespace vexil
