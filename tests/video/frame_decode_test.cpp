// The frame layout: which planes a frame decode visits, where each starts,
// which buffer it writes, and the changed percentage. A stand-in plane
// decoder reads a tiny header at each plane start (its length in bytes and
// its skip count), fills the plane with a marker and returns the plane's end.
#include "video/frame_decode.h"

#include <gtest/gtest.h>

#include <vector>

#include "encoder/movie_writer.h"
#include "engine/container.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

struct PlaneCall {
  const uint8_t* destination;
  ptrdiff_t start;  // from the video data start
  uint32_t width, height, map_step;
};

std::vector<PlaneCall> g_calls;
const uint8_t* g_video_start = nullptr;

const uint8_t* StandInPlane(const PlaneDecodeArgs& a, uint32_t* skips) {
  g_calls.push_back({a.destination, a.data_start - g_video_start, a.width, a.height, a.map_step});
  uint32_t length = ReadLE32(a.data_start);
  *skips = ReadLE32(a.data_start + 4);
  for (uint32_t y = 0; y < a.height; ++y)
    for (uint32_t x = 0; x < a.width; ++x) a.destination[y * a.pitch + x] = a.data_start[8];
  return a.data_start + length;
}

// Plane data the stand-in understands: 12 bytes plus padding to `length`.
std::vector<uint8_t> Plane(uint32_t length, uint32_t skips, uint8_t marker) {
  std::vector<uint8_t> p(length, 0);
  WriteLE32(p.data(), length);
  WriteLE32(p.data() + 4, skips);
  p[8] = marker;
  return p;
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& part) {
  out.insert(out.end(), part.begin(), part.end());
}
void AppendWord(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  WriteLE32(b, v);
  out.insert(out.end(), b, b + 4);
}

class FrameLayout : public ::testing::Test {
 protected:
  // A 64x32 movie (luma 64x32: 32 blocks of 8x8; chroma 32x16).
  void OpenMovie(uint32_t header_flags, uint32_t frames = 2, char revision = 'i') {
    MovieWriter writer(revision, 64, 32, 25, 1, header_flags);
    for (uint32_t i = 0; i < frames; ++i) writer.AddFrame(true, std::vector<uint8_t>(8));
    bytes_ = writer.Finish();
    movie_ = Open(test::TestEngine(), MovieSource::Memory(bytes_.data(), bytes_.size()),
                  OPEN_MEMORY | OPEN_ALPHA);
    ASSERT_NE(movie_, nullptr);
    g_calls.clear();
  }
  void TearDown() override { Close(movie_); }

  uint32_t Decode(const std::vector<uint8_t>& video, uint32_t extra_flags = 0) {
    video_ = video;
    video_.resize(video.size() + 4);  // the 4 readable bytes after the data
    g_video_start = video_.data();
    FrameDecodeArgs a{};
    a.bundle_sizes = movie_->video.bundle_sizes;
    a.bundle_buffers = movie_->video.bundle_buffers[0];
    a.frames = movie_->video.planes;
    a.data_start = video_.data();
    a.data_end = video_.data() + video.size() + 4;
    a.readable_end = a.data_end;
    a.frame_flags = movie_->open_flags | extra_flags;
    a.movie_flags = movie_->container.header_flags;
    return FrameDecode(a, StandInPlane);
  }
  const PlaneSet& Set(uint32_t index) { return movie_->video.planes->sets[index]; }

  std::vector<uint8_t> bytes_, video_;
  MovieHandle* movie_ = nullptr;
};

TEST_F(FrameLayout, NewRevisionWithAlpha) {
  OpenMovie(HEADER_ALPHA);
  std::vector<uint8_t> v;
  AppendWord(v, 4 + 16);  // alpha count: up to the luma data
  Append(v, Plane(16, 10, 0xA1));
  AppendWord(v, 4 + 24);  // offset from this field to chroma A
  Append(v, Plane(24, 8, 0x11));
  Append(v, Plane(12, 1, 0x22));
  Append(v, Plane(12, 3, 0x33));
  uint32_t percent = Decode(v);
  ASSERT_EQ(g_calls.size(), 4u);
  EXPECT_EQ(g_calls[0].start, 4);   // alpha after its count
  EXPECT_EQ(g_calls[1].start, 24);  // luma after its offset field
  EXPECT_EQ(g_calls[2].start, 48);  // chroma A at field + offset
  EXPECT_EQ(g_calls[3].start, 60);  // chroma B where A ended
  EXPECT_EQ(g_calls[0].map_step, 0u);  // no map given
  EXPECT_EQ(g_calls[2].width, 32u);
  EXPECT_EQ(g_calls[2].height, 16u);
  // Written into buffer 1 (the spare), which becomes current.
  EXPECT_EQ(movie_->video.planes->current_index.load(), 1u);
  EXPECT_EQ(Set(1).plane[PLANE_ALPHA].samples[0], 0xA1);
  EXPECT_EQ(Set(1).plane[PLANE_LUMA].samples[0], 0x11);
  EXPECT_EQ(Set(1).plane[PLANE_CHROMA_A].samples[0], 0x22);
  EXPECT_EQ(Set(1).plane[PLANE_CHROMA_B].samples[0], 0x33);
  // Fewest skips (alpha 10, luma 8, chroma 1 x 4 and 3 x 4): 4 of 32 blocks.
  EXPECT_EQ(percent, (32u - 4) * 100 / 32);
}

TEST_F(FrameLayout, AlphaSkippedByItsCountWhenNotAsked) {
  OpenMovie(HEADER_ALPHA);
  std::vector<uint8_t> v;
  AppendWord(v, 4 + 16);
  Append(v, Plane(16, 0, 0xA1));
  AppendWord(v, 4 + 12);
  Append(v, Plane(12, 0, 0x11));
  Append(v, Plane(12, 0, 0x22));
  Append(v, Plane(12, 0, 0x33));
  movie_->open_flags &= ~OPEN_ALPHA;
  Decode(v);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].start, 24);
}

TEST_F(FrameLayout, OldRevisionPlanesFollowOneAnother) {
  OpenMovie(0, 2, 'h');
  std::vector<uint8_t> v;
  Append(v, Plane(20, 0, 0x11));  // no offset field
  Append(v, Plane(16, 0, 0x22));
  Append(v, Plane(12, 0, 0x33));
  Decode(v);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].start, 0);
  EXPECT_EQ(g_calls[1].start, 20);
  EXPECT_EQ(g_calls[2].start, 36);
}

TEST_F(FrameLayout, PartsAndGrayscale) {
  OpenMovie(0);
  std::vector<uint8_t> v;
  AppendWord(v, 4 + 12);
  Append(v, Plane(12, 0, 0x11));
  Append(v, Plane(12, 0, 0x22));
  Append(v, Plane(12, 0, 0x33));
  // The chroma part finds chroma through the offset without decoding luma.
  Decode(v, OPEN_FRAME_NO_LUMA | OPEN_FRAME_NO_SWITCH);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].start, 16);
  EXPECT_EQ(movie_->video.planes->current_index.load(), 0u);  // no switch inside
  EXPECT_EQ(Set(1).plane[PLANE_CHROMA_A].samples[0], 0x22);
  g_calls.clear();
  Decode(v, OPEN_GRAYSCALE | OPEN_FRAME_NO_SWITCH);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].start, 4);
}

TEST_F(FrameLayout, ChromaOffsetOutsideTheDataLeavesLumaOnly) {
  OpenMovie(0);
  std::vector<uint8_t> v;
  AppendWord(v, 0x7FFFFFF0);
  Append(v, Plane(12, 0, 0x11));
  Decode(v);
  EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(FrameLayout, AlphaCountPastTheEndStopsAfterAlpha) {
  OpenMovie(HEADER_ALPHA);
  std::vector<uint8_t> v;
  AppendWord(v, 0xFFFFFFFC);  // would wrap a 32-bit address
  Append(v, Plane(12, 0, 0x11));
  Decode(v);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].start, 4);
}

TEST_F(FrameLayout, NoPlaneDecodedCountsAsAllChanged) {
  OpenMovie(0);
  std::vector<uint8_t> v;
  AppendWord(v, 4 + 12);
  Append(v, Plane(12, 0, 0x11));
  // No skip count at all: (blocks - (-1)) x 100 / blocks in 32 bits, 100 for
  // frames above 100 blocks; this one has 32.
  EXPECT_EQ(Decode(v, OPEN_FRAME_NO_LUMA | OPEN_GRAYSCALE), 33u * 100 / 32);
  EXPECT_EQ(g_calls.size(), 0u);
}

TEST_F(FrameLayout, OneFrameMovieDecodesInPlace) {
  OpenMovie(0, 1);
  ASSERT_EQ(movie_->video.planes->buffer_count, 1u);
  std::vector<uint8_t> v;
  AppendWord(v, 4 + 12);
  Append(v, Plane(12, 0, 0x11));
  Append(v, Plane(12, 0, 0x22));
  Append(v, Plane(12, 0, 0x33));
  Decode(v);
  EXPECT_EQ(movie_->video.planes->current_index.load(), 0u);
  EXPECT_EQ(Set(0).plane[PLANE_LUMA].samples[0], 0x11);
}

}  // namespace
}  // namespace vexil
