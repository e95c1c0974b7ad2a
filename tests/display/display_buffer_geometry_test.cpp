// The display buffer's device-free rules: surface format codes, black by
// format, the overlay colour key, scale kinds and capability words, depth
// orders, window alignment and the overlay's edge clipping.
#include <gtest/gtest.h>

#include <vector>

#include "display/buffer_geometry.h"
#include "display/display_buffer.h"
#include "display/surface_format.h"

namespace vexil {
namespace {

using platform::PixelFormat;
using platform::Rect;

TEST(SurfaceFormat, CodesFromPixelFormats) {
  struct Case {
    PixelFormat format;
    int32_t code;
  };
  const Case cases[] = {
      {{platform::FOURCC_UYVY, 16, 0, 0, 0, 0}, PIXFMT_UYVY},
      {{platform::FOURCC_YV12, 12, 0, 0, 0, 0}, PIXFMT_YV12},
      {{platform::FOURCC_YUY2, 16, 0, 0, 0, 0}, PIXFMT_YUY2},
      {{platform::MakeFourcc('I', '4', '2', '0'), 12, 0, 0, 0, 0}, -1},
      {{0, 8, 0, 0, 0, 0}, PIXFMT_8},
      {{0, 24, 0xFF0000, 0xFF00, 0xFF, 0}, PIXFMT_24},
      {{0, 24, 0xFF, 0xFF00, 0xFF0000, 0}, PIXFMT_24R},
      {{0, 32, 0xFF0000, 0xFF00, 0xFF, 0}, PIXFMT_32},
      {{0, 32, 0xFF, 0xFF00, 0xFF0000, 0}, PIXFMT_32R},
      {{0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, PIXFMT_32A},
      {{0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}, PIXFMT_32RA},
      {{0, 16, 0xF800, 0x07E0, 0x001F, 0}, PIXFMT_565},
      {{0, 16, 0x7C00, 0x03E0, 0x001F, 0x8000}, PIXFMT_1555},
      {{0, 16, 0x7C00, 0x03E0, 0x001F, 0}, PIXFMT_555},
      {{0, 16, 0xFC00, 0x03E0, 0x001F, 0}, PIXFMT_655},
      {{0, 16, 0xFC00, 0x03F0, 0x000F, 0}, PIXFMT_664},
      {{0, 16, 0x0F00, 0x00F0, 0x000F, 0xF000}, PIXFMT_4444},
      {{0, 16, 0x001F, 0x07E0, 0xF800, 0}, -1},  // blue on top
      {{0, 15, 0x7C00, 0x03E0, 0x001F, 0}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "bits " << c.format.bits_per_pixel << " red "
                                      << c.format.red_mask);
    EXPECT_EQ(SurfaceFormatCode(c.format), c.code);
  }
}

TEST(SurfaceFormat, BlackByFormat) {
  constexpr uint32_t kWidth = 6, kHeight = 4;
  constexpr int32_t kPitch = 32;
  struct Case {
    uint32_t format;
    std::vector<uint8_t> row;  // the first row's first bytes after the fill
  };
  const Case cases[] = {
      {PIXFMT_YUY2, {0x00, 0x80, 0x00, 0x80}},
      {PIXFMT_UYVY, {0x80, 0x00, 0x80, 0x00}},
      {PIXFMT_YV12, {16, 16, 16, 16, 16, 16, 0xEE}},
      {PIXFMT_32, {0, 0, 0, 0}},
      {PIXFMT_565, {0, 0, 0, 0}},
      {PIXFMT_24, {0, 0, 0}},
      {PIXFMT_32R, {0xEE, 0xEE}},  // left as it was
      {PIXFMT_1555, {0xEE, 0xEE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    std::vector<uint8_t> surface(kPitch * kHeight * 2, 0xEE);
    FillBlack(surface.data(), kPitch, kWidth, kHeight, c.format);
    EXPECT_EQ(std::vector<uint8_t>(surface.begin(), surface.begin() + c.row.size()), c.row);
    // Nothing past a row's pixels is written.
    const size_t row_bytes = size_t(kWidth) * PixelFormatBytes(c.format);
    EXPECT_EQ(surface[row_bytes], 0xEE);
    if (c.format == PIXFMT_YV12) {
      // Two chroma planes of 2 rows, 3 bytes each, at pitch 16.
      const uint8_t* chroma = surface.data() + kPitch * kHeight;
      for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(chroma[16 * row], 128);
        EXPECT_EQ(chroma[16 * row + 2], 128);
        EXPECT_EQ(chroma[16 * row + 3], 0xEE);
      }
      EXPECT_EQ(chroma[64], 0xEE);
    }
  }
}

TEST(SurfaceFormat, OverlayColourKey) {
  EXPECT_EQ(OverlayColourKey(8, 0, 0), 253u);
  EXPECT_EQ(OverlayColourKey(32, 0xFF0000, 0xFF), 0x10001u);
  EXPECT_EQ(OverlayColourKey(16, 0xF800, 0x1F), 0x801u);
  EXPECT_EQ(OverlayColourKey(16, 0x7C00, 0x1F), 0x401u);
}

TEST(BufferGeometry, ScaleKindsAgainstA320By240Buffer) {
  struct Case {
    uint32_t requested;
    uint32_t x_kind, y_kind;
  };
  const Case cases[] = {
      {320, 0, SCALE_STRETCH_Y},
      {640, SCALE_STRETCH_X_INT, SCALE_STRETCH_Y},
      {480, SCALE_STRETCH_X, SCALE_STRETCH_Y_INT},
      {160, SCALE_SHRINK_X_INT, SCALE_SHRINK_Y},
      {200, SCALE_SHRINK_X, SCALE_SHRINK_Y},
      {120, SCALE_SHRINK_X, SCALE_SHRINK_Y_INT},
      {240, SCALE_SHRINK_X, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requested);
    EXPECT_EQ(ScaleKindX(c.requested, 320), c.x_kind);
    EXPECT_EQ(ScaleKindY(c.requested, 240), c.y_kind);
  }
  EXPECT_EQ(ScaleKindX(0, 0), 0u);
}

TEST(BufferGeometry, CapabilitiesGrantScaleBits) {
  using namespace platform;
  EXPECT_EQ(ScaleBitsFromCaps(FX_STRETCH_X), SCALE_STRETCH_X | SCALE_STRETCH_X_INT);
  EXPECT_EQ(ScaleBitsFromCaps(FX_STRETCH_X_INT), SCALE_STRETCH_X_INT);
  EXPECT_EQ(ScaleBitsFromCaps(FX_SHRINK_Y_INT | FX_SHRINK_X),
            SCALE_SHRINK_Y_INT | SCALE_SHRINK_X | SCALE_SHRINK_X_INT);
  EXPECT_EQ(ScaleBitsFromCaps(FX_ALL), SCALE_MASK);
  EXPECT_EQ(ScaleBitsFromCaps(0), 0u);
}

TEST(BufferGeometry, DepthOrders) {
  const auto order = [](int32_t code) {
    const DepthCandidates c = DepthOrder(code);
    return std::vector<int32_t>(c.depth, c.depth + c.count);
  };
  EXPECT_EQ(order(1), (std::vector<int32_t>{16, 32, 24}));
  EXPECT_EQ(order(2), (std::vector<int32_t>{32, 24, 16}));
  EXPECT_EQ(order(3), (std::vector<int32_t>{32, 24}));
  EXPECT_EQ(order(8), (std::vector<int32_t>{8}));
  EXPECT_EQ(order(24), (std::vector<int32_t>{24}));
}

TEST(BufferGeometry, WindowXAlignmentAndClamp) {
  struct Case {
    int32_t x;
    uint32_t bytes;
    int32_t aligned;
  };
  const Case cases[] = {{13, 4, 14}, {14, 4, 14}, {13, 3, 16}, {17, 3, 24}, {13, 2, 16},
                        {16, 2, 16}, {-3, 2, 0},  {-9, 3, -8}, {5, 1, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << " at " << c.bytes << " bytes");
    EXPECT_EQ(AlignClientX(c.x, c.bytes), c.aligned);
  }
  EXPECT_EQ(ClampToScreen(1700, 320, 1920), 1600);
  EXPECT_EQ(ClampToScreen(-20, 320, 1920), 0);
  EXPECT_EQ(ClampToScreen(50, 4000, 1920), 0);
}

TEST(BufferGeometry, DibRowLayout) {
  // A header row is the buffer row rounded up to 32 bytes, in whole pixels.
  EXPECT_EQ(DibHeaderWidth(10, 4), 16);
  EXPECT_EQ(DibHeaderWidth(10, 3), 10);
  EXPECT_EQ(DibHeaderWidth(11, 3), 21);
  EXPECT_EQ(DibHeaderWidth(10, 2), 16);
  EXPECT_EQ(DibPitch(10, 3), 32);
  EXPECT_EQ(DibPitch(21, 3), 64);
  EXPECT_EQ(DibPitch(16, 2), 32);
  EXPECT_EQ(DibHeaderWidth(0x7FFFFFFF, 4), 0);  // no row fits in 31 bits
}

TEST(BufferGeometry, BlitRectanglesScaleWithUnsignedProducts) {
  const int32_t rect[4] = {10, 20, 30, 40};
  EXPECT_EQ(ScaleBlitRect(rect, 320, 240, 640, 480, 100, 50), (Rect{120, 90, 180, 170}));
  EXPECT_EQ(ScaleBlitRect(rect, 320, 240, 480, 240, 0, 0), (Rect{15, 20, 60, 60}));
  // 32-bit products would wrap here.
  const int32_t wide[4] = {0, 0, 60000, 1};
  EXPECT_EQ(ScaleBlitRect(wide, 60000, 1, 120000, 1, 0, 0), (Rect{0, 0, 120000, 1}));
}

TEST(BufferGeometry, OverlayEdgesAreCutFromTheSource) {
  struct Case {
    int32_t dest_x, dest_y, stretch_w, stretch_h;
    bool visible;
    Rect source, dest;
  };
  const Case cases[] = {
      {100, 50, 320, 240, true, {0, 0, 320, 240}, {100, 50, 420, 290}},
      // Off the left: the right part shows.
      {-100, 50, 320, 240, true, {100, 0, 320, 240}, {0, 50, 220, 290}},
      // Off the right and the bottom of a 1920 x 1080 screen.
      {1700, 1000, 320, 240, true, {0, 0, 220, 80}, {1700, 1000, 1920, 1080}},
      // Stretched twice: what is cut on the screen is half that in the source.
      {-100, 0, 640, 480, true, {50, 0, 320, 240}, {0, 0, 540, 480}},
      // Gone entirely.
      {-320, 0, 320, 240, false, {}, {}},
      {-400, 0, 320, 240, false, {}, {}},
      {1920, 0, 320, 240, false, {}, {}},
      {0, -300, 320, 240, false, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.dest_x << "," << c.dest_y);
    const OverlayPlacement p =
        PlaceOverlay(320, 240, c.dest_x, c.dest_y, c.stretch_w, c.stretch_h, 1920, 1080);
    EXPECT_EQ(p.visible, c.visible);
    if (!c.visible) continue;
    EXPECT_EQ(p.source, c.source);
    EXPECT_EQ(p.dest, c.dest);
  }
}

}  // namespace
}  // namespace vexil
