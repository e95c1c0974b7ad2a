// Two movies converted at once on two threads, each through its own
// conversion context and into formats of its own, give exactly the bytes
// each gives when converted alone. The frames are decoded first; the threads
// share nothing but the constant tables of display/ (scripts/tsan.sh runs
// this under ThreadSanitizer).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "display/conversion/conversion_test_util.h"
#include "engine/background_decode.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

// Every frame of a movie, kept apart from it: the visible planes without
// padding and, when few blocks changed, the changed-block map.
std::vector<test::Picture> DecodeAll(const std::string& path) {
  std::vector<test::Picture> frames;
  MovieHandle* movie = Open(test::TestEngine(), MovieSource::Name(path.c_str()), OPEN_ALPHA);
  EXPECT_NE(movie, nullptr) << path;
  if (!movie) return frames;
  for (uint32_t f = 0; f < movie->container.frame_count; ++f) {
    if (f) Advance(movie);
    if (StartBackgroundDecode(movie)) {
      while (!WaitForBackgroundDecode(movie)) {
      }
    }
    test::Picture d;
    d.width = movie->container.file_width;
    d.height = movie->container.file_height;
    d.chroma_width = (d.width + 1) / 2;
    const PlaneSet& set = movie->video.planes->sets[movie->video.planes->current_index.load() & 1];
    std::vector<uint8_t>* planes[PLANE_COUNT] = {&d.luma, &d.chroma_a, &d.chroma_b, &d.alpha};
    for (int p = 0; p < PLANE_COUNT; ++p) {
      const PlaneEntry& e = set.plane[p];
      if (!e.samples) continue;
      const bool chroma = p == PLANE_CHROMA_A || p == PLANE_CHROMA_B;
      const uint32_t w = chroma ? d.chroma_width : d.width;
      const uint32_t h = chroma ? (d.height + 1) / 2 : d.height;
      for (uint32_t y = 0; y < h; ++y)
        planes[p]->insert(planes[p]->end(), e.samples + size_t{y} * e.pitch,
                          e.samples + size_t{y} * e.pitch + w);
    }
    if (movie->video.changed_percent < 75 && movie->video.map_copy) {
      d.map.assign(movie->video.map_copy, movie->video.map_copy + movie->video.map_size);
      d.map_stride = movie->video.map_stride;
    }
    frames.push_back(std::move(d));
  }
  Close(movie);
  return frames;
}

// One thread's work: every frame into each of its formats in turn, into
// destinations that keep the previous picture (unchanged blocks are left),
// as a player's buffer does.
struct Job {
  const std::vector<test::Picture>* frames;
  uint32_t cpu;
  std::vector<uint32_t> formats;  // with their copy options
  std::vector<uint8_t> out;

  void Run() {
    out.clear();
    ConversionContext context(cpu);
    std::vector<std::vector<uint8_t>> shown(formats.size());
    for (const test::Picture& frame : *frames) {
      for (size_t i = 0; i < formats.size(); ++i) {
        const uint32_t format = formats[i] & PIXFMT_MASK;
        const int32_t pitch = static_cast<int32_t>(frame.width * PixelFormatBytes(format));
        const uint32_t tall = CopyScaleMode(formats[i]) == COPY_2X_H ? 2 : 1;
        const uint32_t rows = (frame.height * tall + 1) & ~1u;
        shown[i].resize(size_t(pitch) * rows * 2);
        test::Convert(context, frame.Source(formats[i]), shown[i].data(), pitch,
                      static_cast<int32_t>(rows));
        out.insert(out.end(), shown[i].begin(), shown[i].end());
      }
    }
  }
};

TEST(ConversionThreads, TwoMoviesAtOnceGiveWhatEachGivesAlone) {
  const std::string dir = test::VectorsDir() + "/video/";
  const std::vector<test::Picture> first = DecodeAll(dir + "movie_019.vxl");
  const std::vector<test::Picture> second = DecodeAll(dir + "movie_030.vxl");
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  // Dithered formats carry their phase from row to row and copy to copy;
  // the table path rebuilds its tables when the format changes.
  Job jobs[2] = {
      {&first, CpuFeatures(), {PIXFMT_565, PIXFMT_32A | COPY_SHOW_ALPHA, PIXFMT_YV12}, {}},
      {&second,
       test::kTablePath,
       {PIXFMT_8, PIXFMT_4444 | CopyScaleFlags(COPY_2X_H), PIXFMT_555},
       {}},
  };
  std::vector<uint8_t> alone[2];
  for (int i = 0; i < 2; ++i) {
    jobs[i].Run();
    alone[i] = jobs[i].out;
  }
  for (int round = 0; round < 3; ++round) {
    std::thread other([&] { jobs[1].Run(); });
    jobs[0].Run();
    other.join();
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(jobs[i].out, alone[i]) << "round " << round << " job " << i;
  }
}

}  // namespace
}  // namespace vexil
