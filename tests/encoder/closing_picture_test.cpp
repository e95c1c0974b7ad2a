// The player's built-in closing picture is a movie the engine opens from
// memory: one 224 x 252 frame at 10 frames per second, no sound, and the
// zero bytes memory movies carry after their data.
#include "player/closing_picture.h"

#include <gtest/gtest.h>

#include "encoder_test_util.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

TEST(ClosingPicture, IsAOneFrameMovieTheEngineOpensFromMemory) {
  ASSERT_GT(kClosingPictureSize, 44u);
  for (size_t i = 0; i < 1024; ++i) ASSERT_EQ(kClosingPicture[kClosingPictureSize + i], 0) << i;
  ErrorText error;
  MovieHandle* movie =
      Open(test::TestEngine(), MovieSource::Memory(kClosingPicture, kClosingPictureSize),
           OPEN_MEMORY, {}, &error);
  ASSERT_NE(movie, nullptr) << error.c_str();
  EXPECT_EQ(movie->container.file_width, 224u);
  EXPECT_EQ(movie->container.file_height, 252u);
  EXPECT_EQ(movie->container.frame_count, 1u);
  EXPECT_EQ(movie->container.file_rate_num, 10u);
  EXPECT_EQ(movie->container.file_rate_den, 1u);
  EXPECT_EQ(movie->container.track_count, 0u);
  Close(movie);

  // A picture, not a blank: dark surroundings and bright letters.
  const std::vector<uint8_t> bytes(kClosingPicture, kClosingPicture + kClosingPictureSize);
  const std::vector<Picture> pictures = test::DecodePictures(bytes);
  ASSERT_EQ(pictures.size(), 1u);
  uint32_t dark = 0, bright = 0;
  for (uint8_t v : pictures[0].y) {
    dark += v < 60;
    bright += v > 200;
  }
  EXPECT_GT(dark, pictures[0].y.size() / 2);
  EXPECT_GT(bright, 1000u);
}

}  // namespace
}  // namespace vexil
