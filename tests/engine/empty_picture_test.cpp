// Movies whose picture is empty: width or height 0 is a valid movie (a movie
// of sound alone has no picture). Opening, playing and closing one must do
// nothing with its empty planes: no library call with a null buffer, no
// division by the width, the height or a block count, no write to a
// destination. Under the sanitizer build UBSan stops on a memcpy or memset
// given a null pointer and on a division by zero, ASan on any stray access.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/driver_directsound.h"
#include "audio/driver_waveout.h"
#include "audio/sound_track.h"
#include "display/copy.h"
#include "encoder/encoder_test_util.h"
#include "encoder/movie_encoder.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/copy_frame.h"
#include "engine/engine.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

constexpr uint32_t kFrames = 6;
constexpr uint32_t kAudioRate = 22050;

struct Kind {
  const char* name;
  bool alpha, grayscale, sound;
};
constexpr Kind kKinds[] = {
    {"plain", false, false, false},    {"alpha", true, false, false},
    {"grayscale", false, true, false}, {"sound", false, false, true},
    {"everything", true, true, true},
};

struct Size {
  uint32_t width, height;
};
constexpr Size kSizes[] = {{0, 24}, {40, 0}, {0, 0}};

// A 40 x 24 movie of the kind, coded by the encoder, with the header's size
// then set to `size`: the sound parts stay whole, the picture data is what
// the decoder makes of it at that size.
std::vector<uint8_t> EmptyPictureMovie(const Kind& kind, Size size) {
  MovieEncoderOptions options;
  options.keyint = 3;
  MovieFormat format;
  format.width = 40;
  format.height = 24;
  format.rate_num = 25;
  format.rate_den = 1;
  format.grayscale = kind.grayscale;
  format.alpha = kind.alpha;
  MovieEncoder encoder(options, format);
  if (kind.sound) {
    WavAudio audio;
    audio.rate = kAudioRate;
    audio.channels = 2;
    audio.bits = 16;
    for (uint32_t i = 0; i < 2 * kAudioRate * kFrames / 25; ++i)
      audio.samples.push_back(static_cast<int16_t>((i * 37) % 9000 - 4500));
    encoder.SetAudio(std::move(audio));
  }
  std::string error;
  for (uint32_t t = 0; t < kFrames; ++t) {
    EXPECT_TRUE(encoder.AddFrame(
        test::MakePicture(test::Content::kMovingShapes, 40, 24, t, kind.grayscale, kind.alpha),
        &error))
        << error;
  }
  std::vector<uint8_t> movie;
  EXPECT_TRUE(encoder.Finish(&movie, &error)) << error;
  WriteLE32(&movie[20], size.width);
  WriteLE32(&movie[24], size.height);
  return movie;
}

// Copies the current frame into every destination format and scaling mode,
// with the alpha shown as luma and as grayscale, top-down and bottom-up, into
// a buffer that the copy must leave as it was: there are no pixels to write.
// A null destination is refused as well.
void CopyEveryFormat(MovieHandle* m) {
  const std::vector<uint8_t> untouched(256, 0xA5);
  std::vector<uint8_t> guard = untouched;
  ConversionContext conversion;
  for (uint32_t format = 0; format < PIXFMT_COUNT; ++format) {
    for (uint32_t mode = 0; mode <= COPY_NO_SCALING; ++mode) {
      for (uint32_t extra : {0u, COPY_SHOW_ALPHA, COPY_GRAYSCALE, COPY_ALL}) {
        const uint32_t flags = format | CopyScaleFlags(mode) | extra | COPY_NO_SKIP;
        const int32_t pitch = static_cast<int32_t>(m->width * PixelFormatBytes(format) + 3) & ~3;
        const int32_t rows = static_cast<int32_t>(m->height);
        CopyToBuffer(conversion, m, guard.data(), pitch, rows, m->width, m->height, flags);
        CopyToBuffer(conversion, m, guard.data() + 128, -pitch, rows, m->width, m->height, flags);
        // A region larger than the frame is clamped to it.
        CopyToBuffer(conversion, m, guard.data(), 8, 4, 2, 2, flags);
        CopyToBuffer(conversion, m, nullptr, pitch, rows, m->width, m->height, flags);
        ASSERT_EQ(guard, untouched) << "format " << format << ", mode " << mode;
        ReportRects(m, 0);
      }
    }
  }
}

// Steps, decodes and copies every frame as the player does, pausing once,
// then wraps to frame 1 again.
void PlayThrough(MovieHandle* m) {
  for (uint32_t k = 0; k < kFrames + 2; ++k) {
    if (k) Advance(m);
    Wait(m);
    if (StartBackgroundDecode(m)) FinishBackgroundDecode(m);
    CopyEveryFormat(m);
    if (k == 2) {
      Pause(m, 1);
      Wait(m);
      Pause(m, 0);
    }
  }
  EXPECT_EQ(m->reader.stopped.load(), 0u);
  EXPECT_EQ(m->clock.frames_shown.load(), kFrames + 2);
}

class EmptyPicture : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::TestEngine().decode_threads.Start(GetParam()), GetParam());
  }
  void TearDown() override { test::TestEngine().decode_threads.Stop(); }
};

TEST_P(EmptyPicture, OpensPlaysAndClosesEveryKindAndDisplayOption) {
  for (const Kind& kind : kKinds) {
    for (const Size size : kSizes) {
      const std::vector<uint8_t> bytes = EmptyPictureMovie(kind, size);
      std::vector<uint8_t> padded = bytes;
      padded.resize(bytes.size() + 1024, 0);
      for (uint32_t option = 0; option <= DISPLAY_NONE; ++option) {
        SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(size.width) + "x" +
                     std::to_string(size.height) + ", display option " + std::to_string(option));
        SetSoundSystem(&test::TestEngine().sound_system,
                       option % 2 ? DirectSoundProvider : WaveOutSoundProvider);
        const uint32_t flags =
            OPEN_MEMORY | (option << OPEN_DISPLAY_OPTION_SHIFT) | (kind.alpha ? OPEN_ALPHA : 0);
        ErrorText error;
        MovieHandle* m = Open(test::TestEngine(), MovieSource::Memory(padded.data(), bytes.size()),
                              flags, {}, &error);
        ASSERT_NE(m, nullptr) << error.c_str();
        EXPECT_EQ(m->width == 0 || m->height == 0, true);
        EXPECT_EQ(m->sound.play_tracks, kind.sound ? 1u : 0u);
        PlayThrough(m);
        Close(m);
      }
    }
  }
}

// The same movies read from a file: preloaded, streamed by the read service
// and read on the player's thread alone.
TEST_P(EmptyPicture, PlaysFromAFileEveryWayItCanBeRead) {
  SetSoundSystem(&test::TestEngine().sound_system, DirectSoundProvider);
  struct Reading {
    const char* name;
    uint32_t flags;
    int32_t read_buffer;
  };
  const Reading readings[] = {
      {"preloaded", 0, -1},
      {"streamed", OPEN_READ_BUFFER, 1},
      {"streamed on the player thread", OPEN_READ_BUFFER | OPEN_NO_THREAD_READ, 1},
      {"grayscale, no planes", OPEN_GRAYSCALE | OPEN_NO_PLANES, -1},
  };
  for (const Size size : kSizes) {
    test::TempFile file(EmptyPictureMovie(kKinds[4], size));
    for (const Reading& reading : readings) {
      SCOPED_TRACE(std::string(reading.name) + " " + std::to_string(size.width) + "x" +
                   std::to_string(size.height));
      OpenOptions options;
      options.read_buffer_size = reading.read_buffer;
      ErrorText error;
      MovieHandle* m = Open(test::TestEngine(), MovieSource::Name(file.c_str()),
                            reading.flags | OPEN_ALPHA, options, &error);
      ASSERT_NE(m, nullptr) << error.c_str();
      PlayThrough(m);
      Close(m);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(DecodeThreads, EmptyPicture, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace vexil
