// The display buffer on the SDL device, on a private X server (Xvfb): every
// blitting style opens on a real window, and a decoded frame copied into it
// and blitted shows the picture `vexil frame` makes of the same frame in a
// screenshot of the window. Skipped when no X server can be started.
#include <gtest/gtest.h>

#ifdef VEXIL_HAVE_SDL
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/display_buffer.h"
#include "display/display_state.h"
#include "engine/background_decode.h"
#include "engine/copy_frame.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/backend.h"
#include "platform/sdl/window_sdl.h"
#include "test_engine.h"
#include "test_util.h"
#include "x_server.h"

namespace vexil {
namespace {

constexpr const char* kMovie = "movie_003.vxl";  // 100 x 80
constexpr uint32_t kFrame = 5;

// Lets the X server catch up with what SDL sent.
void Settle() {
  for (int i = 0; i < 10; ++i) {
    SDL_PumpEvents();
    SDL_Delay(20);
  }
}

class SdlDisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#if defined(__SANITIZE_ADDRESS__)
    // SDL's X11 driver does not load in an instrumented process, and its
    // D-Bus start-up leaks: the normal build runs this test.
    skip_ = "SDL's X11 driver is not usable under AddressSanitizer";
    return;
#endif
    server_ = new XServer(90);
    skip_ = server_->Start();
    if (skip_.empty()) {
      setenv("DISPLAY", server_->display().c_str(), 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
    }
    // A new server may refuse the first connections for a moment.
    for (int i = 0; skip_.empty() && !platform::SdlVideoReady(); ++i) {
      if (i == 50)
        skip_ = "SDL cannot open the X display " + server_->display() + ": " + SDL_GetError();
      SDL_Delay(100);
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (!skip_.empty()) GTEST_SKIP() << "no X server: " << skip_;
    platform::SetBackendForTest(platform::Backend::kSdl);
    ResetDisplayStateForTest();
  }

  // Frame kFrame of the movie as `vexil frame` writes it (PIXFMT_32 rows).
  static std::vector<uint8_t> Reference(const std::string& movie) {
    test::TempFile out("frame.raw");
    const std::string command = std::string(VEXIL_BINARY_DIR) + "/tools/vexil frame " + movie +
                                " " + std::to_string(kFrame) + " -o " + out.path();
    if (std::system(command.c_str()) != 0) return {};
    return test::ReadFileBytes(out.path());
  }

  // Mean and largest channel difference between a screenshot and the
  // reference, sampling the screenshot at `scale` times the coordinates; and
  // the mean of each row.
  static void Compare(const Picture& shot, const std::vector<uint8_t>& reference, uint32_t width,
                      uint32_t height, int32_t scale, double* mean, int* worst,
                      std::vector<double>* rows) {
    double total = 0;
    *worst = 0;
    rows->assign(height, 0.0);
    for (uint32_t y = 0; y < height; ++y) {
      double row = 0;
      for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* got = shot.At(int32_t(x) * scale, int32_t(y) * scale);
        const uint8_t* want = &reference[(size_t(y) * width + x) * 4];
        for (int c = 0; c < 3; ++c) {
          const int d = std::abs(int(got[c]) - int(want[2 - c]));
          row += d;
          *worst = std::max(*worst, d);
        }
      }
      (*rows)[y] = row / (3.0 * width);
      total += row;
    }
    *mean = total / (3.0 * width * height);
  }

  static XServer* server_;
  static std::string skip_;
};

XServer* SdlDisplayTest::server_ = nullptr;
std::string SdlDisplayTest::skip_;

void DecodeThrough(MovieHandle* movie, uint32_t n) {
  for (uint32_t k = 1; k <= n; ++k) {
    FetchFrame(movie, k);
    if (StartBackgroundDecode(movie)) {
      while (!WaitForBackgroundDecode(movie)) {
      }
    }
  }
}

TEST_F(SdlDisplayTest, EveryStyleShowsTheCopiedFrame) {
  struct Case {
    uint32_t flags;
    int32_t scale;
    // YUV surfaces convert back with other rounding and chroma sampling; a
    // wrong picture of these random movies differs by 60 and more.
    double mean;
  };
  struct Movie {
    const char* file;
    std::vector<Case> cases;
    // The last two rows are no worse than the rest (a random picture's
    // smooth chroma differs in every row).
    bool last_rows;
  };
  const Movie movies[] = {
      {kMovie,
       {
           {BLIT_AUTOMATIC, 1, 0},
           {BLIT_PRIMARY, 1, 0},
           {BLIT_DIB_SECTION, 1, 0},
           {BLIT_OVERLAY_YV12, 1, 16},
           {BLIT_OVERLAY_YUY2, 1, 16},
           {BLIT_OVERLAY_UYVY, 1, 16},
           {BLIT_OFFSCREEN_YV12, 1, 16},
           {BLIT_OFFSCREEN_YUY2, 1, 16},
           {BLIT_OFFSCREEN_UYVY, 1, 16},
           {BLIT_OFFSCREEN_RGB_VIDEO, 1, 0},
           {BLIT_OFFSCREEN_RGB_SYSTEM, 1, 0},
           // Twice the size: the memory picture by nearest pixel, the texture smoothly.
           {BLIT_DIB_SECTION | SCALE_STRETCH_X_INT | SCALE_STRETCH_Y_INT, 2, 0},
           {BLIT_OFFSCREEN_YUY2 | SCALE_STRETCH_X_INT | SCALE_STRETCH_Y_INT, 2, 24},
           {BLIT_OVERLAY_UYVY | SCALE_STRETCH_X_INT | SCALE_STRETCH_Y_INT, 2, 24},
       },
       false},
      // 100 x 25: a YV12 surface of odd height holds height / 2 chroma rows
      // per plane while the texture shows (height + 1) / 2; the last rows
      // must still take their colour from the movie.
      {"movie_028.vxl", {{BLIT_OVERLAY_YV12, 1, 20}, {BLIT_OFFSCREEN_YV12, 1, 20}}, true},
  };
  for (const Movie& m : movies) {
    SCOPED_TRACE(m.file);
    const std::string path = test::VectorsDir() + "/video/" + m.file;
    const std::vector<uint8_t> reference = Reference(path);
    ErrorText error;
    MovieHandle* movie = Open(test::TestEngine(), MovieSource::Name(path.c_str()),
                              OPEN_ALPHA | OPEN_NO_THREAD_READ, {}, &error);
    ASSERT_NE(movie, nullptr) << error.c_str();
    const uint32_t width = movie->width, height = movie->height;
    ASSERT_EQ(reference.size(), size_t(width) * height * 4);
    DecodeThrough(movie, kFrame);

    std::unique_ptr<platform::SdlWindow> window =
        platform::SdlWindow::Create("vexil display test", 40, 30, int32_t(width), int32_t(height));
    ASSERT_NE(window, nullptr) << SDL_GetError();
    Settle();
    ConversionContext conversion;
    for (const Case& c : m.cases) {
      SCOPED_TRACE(::testing::Message() << "flags 0x" << std::hex << c.flags);
      SDL_SetWindowSize(window->sdl_window(), int(width) * c.scale, int(height) * c.scale);
      Settle();
      DisplayBuffer* b = BufferOpen(window.get(), width, height, c.flags, &error);
      ASSERT_NE(b, nullptr) << error.c_str();
      const int32_t style = int32_t(c.flags & BUFFER_STYLE_MASK);
      EXPECT_EQ(b->style, style ? style : BLIT_DIB_SECTION);
      ASSERT_EQ(BufferSetScale(b, int32_t(width) * c.scale, int32_t(height) * c.scale), 1);
      ASSERT_EQ(BufferLock(b), 1);
      CopyToBuffer(conversion, movie, b->buffer, b->buffer_pitch, int32_t(height), width, height,
                   b->surface_type | COPY_NO_SKIP);
      ASSERT_EQ(BufferUnlock(b), 1);
      if (ReportRects(movie, b->surface_type))
        BufferBlit(b, movie->video.changed_rect, movie->video.changed_rect_count);
      else
        BufferBlit(b, nullptr, 1);  // as painting does
      Settle();
      const platform::Point origin = window->ClientOrigin();
      char name[64];
      std::snprintf(name, sizeof name, "style%02d_x%d_%ux%u", style, c.scale, width, height);
      const Picture shot = server_->Screenshot(origin.x, origin.y, int32_t(width) * c.scale,
                                               int32_t(height) * c.scale, name);
      ASSERT_EQ(shot.width, int32_t(width) * c.scale) << "no screenshot";
      double mean = 0;
      int worst = 0;
      std::vector<double> rows;
      Compare(shot, reference, width, height, c.scale, &mean, &worst, &rows);
      EXPECT_LE(mean, c.mean) << BufferStyleName(b) << ", largest difference " << worst;
      if (m.last_rows) {
        const double others = *std::max_element(rows.begin(), rows.end() - 2);
        EXPECT_LE(rows[height - 2], others) << "row " << height - 2;
        EXPECT_LE(rows[height - 1], others) << "row " << height - 1;
      }
      BufferClose(b);
    }
    window.reset();
    Close(movie);
    EXPECT_EQ(TheDisplayState().directdraw_refs, 0);
  }
}

}  // namespace
}  // namespace vexil

#else
TEST(SdlDisplayTest, NeedsSdl) {
  GTEST_SKIP() << "built without SDL";
}
#endif
