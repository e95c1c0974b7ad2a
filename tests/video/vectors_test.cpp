// Decodes every conformance movie through the engine (open, background
// decode on 0, 1 or 2 decode threads, advance) and compares every frame with
// the expected Y4M output, and each frame's changed percentage with the
// manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

struct DecodedMovie {
  std::vector<std::vector<uint8_t>> y4m_frames;    // Y, Cb, Cr of the visible area
  std::vector<std::vector<uint8_t>> alpha_frames;  // alpha of the visible area
  std::vector<uint32_t> changed_percent;
  std::string error;
};

void AppendRows(std::vector<uint8_t>& out, const PlaneEntry& plane, uint32_t width,
                uint32_t height) {
  for (uint32_t y = 0; y < height; ++y)
    out.insert(out.end(), plane.samples + size_t{y} * plane.pitch,
               plane.samples + size_t{y} * plane.pitch + width);
}

DecodedMovie DecodeMovie(const std::string& path) {
  DecodedMovie out;
  ErrorText error;
  MovieHandle* movie =
      Open(test::TestEngine(), MovieSource::Name(path.c_str()), OPEN_ALPHA, {}, &error);
  if (!movie) {
    out.error = error.c_str();
    return out;
  }
  const uint32_t w = movie->container.file_width, h = movie->container.file_height;
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  const bool swap = movie->open_flags & OPEN_SWAP_CHROMA;
  const bool gray = movie->open_flags & OPEN_GRAYSCALE;
  for (uint32_t f = 0; f < movie->container.frame_count; ++f) {
    if (f) Advance(movie);
    if (!StartBackgroundDecode(movie)) {
      out.error = "no decode started for frame " + std::to_string(f + 1);
      break;
    }
    while (!WaitForBackgroundDecode(movie)) {
    }
    const PlaneSet& set = movie->video.planes->sets[movie->video.planes->current_index.load()];
    std::vector<uint8_t> frame;
    AppendRows(frame, set.plane[PLANE_LUMA], w, h);
    for (int c : {swap ? PLANE_CHROMA_A : PLANE_CHROMA_B, swap ? PLANE_CHROMA_B : PLANE_CHROMA_A}) {
      if (gray)
        frame.insert(frame.end(), size_t{cw} * ch, 128);
      else
        AppendRows(frame, set.plane[c], cw, ch);
    }
    out.y4m_frames.push_back(std::move(frame));
    if (set.plane[PLANE_ALPHA].present) {
      std::vector<uint8_t> alpha;
      AppendRows(alpha, set.plane[PLANE_ALPHA], w, h);
      out.alpha_frames.push_back(std::move(alpha));
    }
    out.changed_percent.push_back(movie->video.changed_percent);
  }
  Close(movie);
  return out;
}

// The frames of a Y4M file (after each "FRAME" line).
std::vector<std::vector<uint8_t>> ReadY4mFrames(const std::vector<uint8_t>& y4m,
                                                size_t frame_bytes) {
  std::vector<std::vector<uint8_t>> frames;
  size_t pos = 0;
  while (pos < y4m.size() && y4m[pos] != '\n') ++pos;
  ++pos;
  while (pos + 6 <= y4m.size()) {
    while (pos < y4m.size() && y4m[pos] != '\n') ++pos;
    ++pos;
    if (pos + frame_bytes > y4m.size()) break;
    frames.emplace_back(y4m.begin() + static_cast<ptrdiff_t>(pos),
                        y4m.begin() + static_cast<ptrdiff_t>(pos + frame_bytes));
    pos += frame_bytes;
  }
  return frames;
}

// The manifest's per-frame changed percentages of one movie.
std::vector<uint32_t> ManifestPercentages(const std::string& manifest, const std::string& file) {
  std::vector<uint32_t> values;
  size_t at = manifest.find("\"" + file + "\"");
  if (at == std::string::npos) return values;
  at = manifest.find("\"changed_percent_with_alpha\"", at);
  if (at == std::string::npos) return values;
  at = manifest.find('[', at);
  const size_t end = manifest.find(']', at);
  for (size_t i = at + 1; i < end;) {
    while (i < end && !isdigit(static_cast<unsigned char>(manifest[i]))) ++i;
    if (i >= end) break;
    uint32_t v = 0;
    while (i < end && isdigit(static_cast<unsigned char>(manifest[i])))
      v = v * 10 + (manifest[i++] - '0');
    values.push_back(v);
  }
  return values;
}

// The parameter is the number of decode threads.
class VectorsTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::TestEngine().decode_threads.Start(GetParam()), GetParam());
  }
  void TearDown() override { test::TestEngine().decode_threads.Stop(); }
};

TEST_P(VectorsTest, EveryMovieDecodesToItsY4m) {
  const std::string dir = test::VectorsDir() + "/video/";
  const auto manifest_bytes = test::ReadFileBytes(dir + "manifest.json");
  ASSERT_FALSE(manifest_bytes.empty()) << "no vectors at " << dir;
  const std::string manifest(manifest_bytes.begin(), manifest_bytes.end());
  int movies = 0;
  for (int n = 0; n < 1000; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "movie_%03d", n);
    const auto file = test::ReadFileBytes(dir + name + ".vxl");
    if (file.empty()) break;
    ++movies;
    SCOPED_TRACE(name);
    const ContainerHeader h = ParseHeader(file.data());
    const DecodedMovie decoded = DecodeMovie(dir + name + ".vxl");
    ASSERT_EQ(decoded.error, "");
    const size_t frame_bytes =
        size_t{h.width} * h.height + 2 * size_t{(h.width + 1) / 2} * ((h.height + 1) / 2);
    const auto expected = ReadY4mFrames(test::ReadFileBytes(dir + name + ".y4m"), frame_bytes);
    ASSERT_EQ(expected.size(), decoded.y4m_frames.size());
    for (size_t f = 0; f < expected.size(); ++f) {
      const auto& got = decoded.y4m_frames[f];
      size_t i = 0;
      while (i < got.size() && got[i] == expected[f][i]) ++i;
      EXPECT_EQ(i, got.size()) << "frame " << f << " first difference at byte " << i << " of "
                               << got.size() << " (luma " << size_t{h.width} * h.height << ")";
    }
    if (h.header_flags & HEADER_ALPHA) {
      const auto alpha =
          ReadY4mFrames(test::ReadFileBytes(dir + name + ".alpha.y4m"), size_t{h.width} * h.height);
      ASSERT_EQ(alpha.size(), decoded.alpha_frames.size());
      for (size_t f = 0; f < alpha.size(); ++f)
        EXPECT_TRUE(alpha[f] == decoded.alpha_frames[f]) << "alpha frame " << f;
    }
    // With two decode threads the percentage depends on timing: a skip block
    // counts when its map cell is not marked yet, and the other part marks
    // the same map at the same time. The pictures do not depend on it.
    if (GetParam() < 2) {
      EXPECT_EQ(ManifestPercentages(manifest, std::string(name) + ".vxl"), decoded.changed_percent);
    }
  }
  EXPECT_GE(movies, 40);
}

INSTANTIATE_TEST_SUITE_P(DecodeThreads, VectorsTest, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return std::to_string(info.param) + "Threads"; });

}  // namespace
}  // namespace vexil
