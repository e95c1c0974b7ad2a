// Colour values of both conversion paths: the exact values the conversion
// is defined by, the byte order of every RGB layout, alpha, and the ordered
// dither patterns of the 16-bit and 8-bit formats.
#include <gtest/gtest.h>

#include "test_movie.h"

namespace vexil {
namespace {

using test::Destination;
using test::TestMovie;

std::vector<uint32_t> AllPaths() {
  std::vector<uint32_t> paths = test::SimdPaths();
  paths.push_back(test::kTablePath);
  return paths;
}
bool IsTable(uint32_t path) {
  return !(path & CPU_MMX);
}

// Copies the whole frame in `format` into a tightly packed buffer.
std::vector<uint8_t> Copy(ConversionContext& conversion, const TestMovie& m, uint32_t format,
                          uint32_t flags = 0) {
  const uint32_t bpp = PixelFormatBytes(format);
  Destination d(size_t{m.width()} * m.height() * bpp);
  CopyToBuffer(conversion, m.get(), d.data(), static_cast<int32_t>(m.width() * bpp),
               static_cast<int32_t>(m.height()), m->width, m->height, format | flags | COPY_ALL);
  EXPECT_TRUE(d.GuardsIntact());
  return d.Values();
}

struct ColourCase {
  uint8_t y, cb, cr;
  int simd[3];  // red, green, blue; -1 = not checked
  int table[3];
};

TEST(Colour, ExactValuesOfBothPaths) {
  const ColourCase kCases[] = {
      {128, 128, 128, {130, 131, 129}, {128, 131, 129}},
      {235, 128, 128, {254, 255, 254}, {253, 255, 254}},
      {16, 128, 128, {0, 1, 0}, {0, 1, 0}},
      {255, 128, 255, {255, 176, 255}, {255, 154, 254}},
      {0, 0, 0, {-1, -1, 0}, {-1, -1, 0}},
  };
  // 11 pixels: a group of 8, a pair and a lone pixel on the SIMD path.
  TestMovie m({.width = 11, .height = 3});
  for (const ColourCase& c : kCases) {
    m.FillConstant(c.y, c.cb, c.cr);
    for (uint32_t path : AllPaths()) {
      ConversionContext conversion(path);
      const int* want = IsTable(path) ? c.table : c.simd;
      const std::vector<uint8_t> out = Copy(conversion, m, PIXFMT_32);
      for (size_t i = 0; i < out.size(); i += 4) {
        SCOPED_TRACE(testing::Message() << int{c.y} << "," << int{c.cb} << "," << int{c.cr}
                                        << " path " << path << " pixel " << i / 4);
        for (int ch = 0; ch < 3; ++ch) {
          if (want[ch] >= 0) {
            EXPECT_EQ(out[i + 2 - ch], want[ch]);
          }
        }
        EXPECT_EQ(out[i + 3], 0);
      }
    }
  }
}

// Width 5: pixels 0-1 and 2-3 are pairs, pixel 4 is alone and reads chroma
// column 2; the next row starts again at chroma column 0.
TEST(Colour, OddWidthEndsWithALonePixel) {
  TestMovie m({.width = 5, .height = 2});
  m.FillConstant(128, 128, 128);
  m.ChromaB(1, 0) = 60, m.ChromaA(1, 0) = 200;
  m.ChromaB(2, 0) = 90, m.ChromaA(2, 0) = 170;
  for (uint32_t path : AllPaths()) {
    ConversionContext conversion(path);
    const std::vector<uint8_t> out = Copy(conversion, m, PIXFMT_32);
    auto pixel = [&](int i) { return std::vector<uint8_t>(&out[4 * i], &out[4 * i + 4]); };
    m.ChromaB(0, 0) = 90, m.ChromaA(0, 0) = 170;  // column 0 now holds column 2's chroma
    const std::vector<uint8_t> like = Copy(conversion, m, PIXFMT_32);
    m.ChromaB(0, 0) = 128, m.ChromaA(0, 0) = 128;
    EXPECT_EQ(pixel(4), std::vector<uint8_t>(&like[0], &like[4])) << path;
    EXPECT_NE(pixel(4), pixel(2)) << path;
    EXPECT_EQ(pixel(5), pixel(0)) << path;
  }
}

struct LayoutCase {
  uint32_t format;
  std::vector<int> simd;  // the first pixel's bytes
  std::vector<int> table;
};

TEST(Colour, ByteOrderOfEveryLayout) {
  // (128, 128, 128): red 130/128, green 131, blue 129; alpha 77.
  const LayoutCase kCases[] = {
      {PIXFMT_24, {129, 131, 130}, {129, 131, 128}},
      {PIXFMT_24R, {130, 131, 129}, {128, 131, 129}},
      {PIXFMT_32, {129, 131, 130, 0}, {129, 131, 128, 0}},
      {PIXFMT_32R, {130, 131, 129, 0}, {128, 131, 129, 0}},
      {PIXFMT_32A, {129, 131, 130, 77}, {129, 131, 128, 77}},
      {PIXFMT_32RA, {130, 131, 129, 77}, {128, 131, 129, 77}},
      // 4444: alpha 4 at 12, red 8, green 4, blue 0 (8 = 130 >> 4, 131 >> 4, 129 >> 4).
      {PIXFMT_4444, {0x88, 0x48}, {0x88, 0x48}},
      // 1555: 77 has no top bit, so bit 15 is 0.
      {PIXFMT_1555, {0x10, 0x42}, {0x10, 0x42}},
  };
  TestMovie m({.width = 2, .height = 2, .alpha = true});
  m.FillConstant(128, 128, 128, 77);
  for (const LayoutCase& c : kCases) {
    for (uint32_t path : AllPaths()) {
      ConversionContext conversion(path);
      SCOPED_TRACE(testing::Message() << "format " << c.format << " path " << path);
      const std::vector<uint8_t> out = Copy(conversion, m, c.format);
      const std::vector<int>& want = IsTable(path) ? c.table : c.simd;
      for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(out[i], want[i]) << "byte " << i;
    }
  }
}

TEST(Colour, AlphaChannels) {
  struct Case {
    uint32_t format;
    uint8_t alpha;
    uint32_t mask;  // alpha bits of the first pixel's little-endian word
    uint32_t want;
  };
  const Case kCases[] = {
      {PIXFMT_32A, 0xC3, 0xFF000000u, 0xC3000000u},
      {PIXFMT_32RA, 0x5A, 0xFF000000u, 0x5A000000u},
      {PIXFMT_4444, 0xC3, 0xF000, 0xC000},
      {PIXFMT_1555, 0x80, 0x8000, 0x8000},
      {PIXFMT_1555, 0x7F, 0x8000, 0},
  };
  TestMovie with_alpha({.width = 4, .height = 2, .alpha = true});
  TestMovie without({.width = 4, .height = 2});
  without.FillConstant(235, 128, 128);
  for (const Case& c : kCases) {
    with_alpha.FillConstant(235, 128, 128, c.alpha);
    for (uint32_t path : AllPaths()) {
      ConversionContext conversion(path);
      SCOPED_TRACE(testing::Message() << "format " << c.format << " path " << path);
      auto word = [&](const std::vector<uint8_t>& out) {
        uint32_t w = 0;
        std::memcpy(&w, out.data(), PixelFormatBytes(c.format));
        return w;
      };
      EXPECT_EQ(word(Copy(conversion, with_alpha, c.format)) & c.mask, c.want);
      // Without an alpha plane the plain member of the family writes 0 there.
      EXPECT_EQ(word(Copy(conversion, without, c.format)) & c.mask, 0u);
      // COPY_SHOW_ALPHA on a movie without alpha changes nothing.
      EXPECT_EQ(Copy(conversion, without, c.format, COPY_SHOW_ALPHA),
                Copy(conversion, without, c.format));
    }
  }
}

TEST(Colour, ShowAlphaReadsTheAlphaPlaneAsLuma) {
  TestMovie m({.width = 4, .height = 2, .alpha = true});
  m.FillConstant(16, 128, 128, 235);
  for (uint32_t path : AllPaths()) {
    ConversionContext conversion(path);
    const std::vector<uint8_t> out = Copy(conversion, m, PIXFMT_32A, COPY_SHOW_ALPHA);
    // Luma 235 from the alpha plane (white), alpha 16 from the luma plane.
    EXPECT_GE(out[2], 253) << path;
    EXPECT_EQ(out[3], 16) << path;
  }
}

// Each 2x2 cell of a flat picture shows the dither pattern of the rows:
// current {0, d/2}, other {d/4, 3d/4}, swapped after every row.
TEST(Colour, OrderedDitherPatterns) {
  struct Case {
    uint32_t format;
    uint8_t y;
    bool table;
    uint32_t want[2][2];  // [row & 1][column & 1]
  };
  const Case kCases[] = {
      // 565, SIMD: red 2083 + {0, 64, 32, 96} >> 7, green 2103 + {0, 32, 16, 48} >> 6.
      {PIXFMT_565,
       128,
       false,
       {{16u << 11 | 32u << 5 | 16, 16u << 11 | 33u << 5 | 16},
        {16u << 11 | 33u << 5 | 16, 17u << 11 | 33u << 5 | 16}}},
      // 565, table: luma 130 + {0, 4, 2, 6}; green keeps 5 bits (s = 3).
      {PIXFMT_565,
       128,
       true,
       {{16u << 11 | 32u << 5 | 16, 16u << 11 | 32u << 5 | 16},
        {16u << 11 | 32u << 5 | 16, 16u << 11 | 34u << 5 | 16}}},
      // 3-3-2 index.
      {PIXFMT_8, 91, false, {{82, 91}, {90, 155}}},
      {PIXFMT_8, 91, true, {{82, 91}, {90, 155}}},
  };
  TestMovie m({.width = 12, .height = 6});
  for (const Case& c : kCases) {
    if (!c.table && test::SimdPaths().empty()) continue;
    m.FillConstant(c.y, 128, 128);
    for (uint32_t path : c.table ? std::vector<uint32_t>{test::kTablePath} : test::SimdPaths()) {
      ConversionContext conversion(path);
      const std::vector<uint8_t> out = Copy(conversion, m, c.format);
      const uint32_t bpp = PixelFormatBytes(c.format);
      for (uint32_t y = 0; y < m.height(); ++y)
        for (uint32_t x = 0; x < m.width(); ++x) {
          uint32_t v = 0;
          std::memcpy(&v, &out[(y * m.width() + x) * bpp], bpp);
          EXPECT_EQ(v, c.want[y & 1][x & 1])
              << "format " << c.format << " path " << path << " at " << x << "," << y;
        }
    }
  }
}

TEST(Colour, DitherPhaseCarriesOverAnOddNumberOfRows) {
  TestMovie odd({.width = 4, .height = 3});
  TestMovie even({.width = 4, .height = 2});
  odd.FillConstant(128, 128, 128);
  even.FillConstant(128, 128, 128);
  ConversionContext conversion(test::kSimdPortable);
  const std::vector<uint8_t> normal =
      Copy(conversion, even, PIXFMT_565);  // two rows: back in phase
  Copy(conversion, odd, PIXFMT_565);
  // The next copy starts on the other dither row: its rows look like rows 1 and 0.
  const std::vector<uint8_t> shifted = Copy(conversion, even, PIXFMT_565);
  EXPECT_NE(normal, shifted);
  EXPECT_EQ(std::vector<uint8_t>(shifted.begin(), shifted.begin() + 8),
            std::vector<uint8_t>(normal.begin() + 8, normal.end()));
  EXPECT_EQ(std::vector<uint8_t>(shifted.begin() + 8, shifted.end()),
            std::vector<uint8_t>(normal.begin(), normal.begin() + 8));
}

}  // namespace
}  // namespace vexil
