// Decodes the conformance movies plane by plane (a small stand-in for the
// frame decode: alpha byte count, luma offset field in revision 'i', chroma A
// and B) and compares every frame with the expected Y4M output, and each
// frame's changed percentage with the manifest.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/container.h"
#include "engine/movie.h"
#include "platform/cpu.h"
#include "test_util.h"
#include "video/bundle_sizes.h"
#include "video/plane_decoder.h"

namespace vexil {
namespace {

uint32_t RoundUp(uint32_t v, uint32_t m) {
  return (v + m - 1) / m * m;
}

struct Plane {
  std::vector<uint8_t> samples;
  uint32_t width = 0, height = 0, pitch = 0;
};

struct DecodedMovie {
  std::vector<std::vector<uint8_t>> y4m_frames;    // Y, Cb, Cr of the visible area
  std::vector<std::vector<uint8_t>> alpha_frames;  // alpha of the visible area
  std::vector<uint32_t> changed_percent;
  std::string error;
};

DecodedMovie DecodeMovie(const std::vector<uint8_t>& file, uint32_t cpu_features) {
  DecodedMovie out;
  if (file.size() < kHeaderBytes) {
    out.error = "short file";
    return out;
  }
  const ContainerHeader h = ParseHeader(file.data());
  const uint64_t first = FirstPacketOffset(h);
  const bool old_revision = h.revision != 'i';
  const bool swap_chroma = h.revision == 'f' || h.revision == 'g';
  const bool alpha = h.header_flags & HEADER_ALPHA;
  const bool gray = h.header_flags & HEADER_GRAYSCALE;
  const uint32_t lw = RoundUp(h.width, 8), lh = RoundUp(h.height, 8);
  const uint32_t cw = RoundUp((h.width + 1) / 2, 8), ch = RoundUp((h.height + 1) / 2, 8);
  const uint32_t cpitch = RoundUp(cw, 16);
  const uint32_t buffers = h.frame_count == 1 ? 1 : 2;
  Plane planes[2][4];  // luma, chroma A, chroma B, alpha
  for (uint32_t b = 0; b < buffers; ++b) {
    planes[b][0] = {std::vector<uint8_t>(size_t{lw} * lh + 1), lw, lh, lw};
    planes[b][1] = {std::vector<uint8_t>(size_t{cpitch} * ch + 1), cw, ch, cpitch};
    planes[b][2] = {std::vector<uint8_t>(size_t{cpitch} * ch + 1), cw, ch, cpitch};
    planes[b][3] = {std::vector<uint8_t>(size_t{lw} * lh + 1), lw, lh, lw};
  }
  uint32_t sizes[BUNDLE_KIND_COUNT];
  BundleBufferSizes(h.width, sizes);
  std::vector<uint8_t> bundle_memory(BundleBuffersTotal(sizes) + 16);
  uint8_t* bundles =
      bundle_memory.data() + (16 - reinterpret_cast<uintptr_t>(bundle_memory.data()) % 16) % 16;
  const uint32_t map_stride = RoundUp((h.width + 15) / 16, 16);
  std::vector<uint8_t> map(size_t{map_stride} * ((h.height + 15) / 16) + 16);
  const uint32_t flags = old_revision ? OPEN_OLD_REVISION : 0;

  uint32_t current = 0;
  for (uint32_t f = 0; f < h.frame_count; ++f) {
    const size_t index_at = kHeaderBytes + 12 * size_t{h.track_count};
    const uint32_t start = IndexOffset(ReadLE32(&file[index_at + 4 * f]));
    const uint32_t end = IndexOffset(ReadLE32(&file[index_at + 4 * (f + 1)]));
    if (start < first || end > file.size() || end <= start) {
      out.error = "bad index";
      return out;
    }
    size_t pos = start;
    for (uint32_t t = 0; t < h.track_count && pos + 4 <= end; ++t) pos += 4 + ReadLE32(&file[pos]);
    if (pos > end) pos = end;
    // The video data alone, in a buffer of its exact size: nothing past it may be read.
    const size_t video_bytes = end - pos;
    auto video = std::make_unique<uint8_t[]>(video_bytes ? video_bytes : 1);
    std::memcpy(video.get(), file.data() + pos, video_bytes);
    const uint8_t* data_start = video.get();
    const uintptr_t end_address = reinterpret_cast<uintptr_t>(data_start) + video_bytes;
    const uint8_t* data_end = reinterpret_cast<const uint8_t*>(end_address);
    const uint8_t* plane_end = reinterpret_cast<const uint8_t*>(end_address + 4);

    const uint32_t dest = buffers == 2 ? 1 - current : current;
    std::fill(map.begin(), map.end(), 0);
    uint32_t m = 0xFFFFFFFFu;
    auto decode = [&](int which, const uint8_t* at, uint32_t step, uint32_t* skipped) {
      Plane& d = planes[dest][which];
      PlaneDecodeArgs a{};
      a.width = d.width;
      a.height = d.height;
      a.destination = d.samples.data();
      a.reference = planes[current][which].samples.data();
      a.pitch = d.pitch;
      a.data_start = at;
      a.data_end = plane_end;
      a.readable_end = data_end;
      a.map = map.data();
      a.map_stride = map_stride;
      a.map_step = step;
      a.bundle_buffers = bundles;
      a.bundle_sizes = sizes;
      a.frame_flags = flags;
      a.cpu_features = cpu_features;
      return DecodePlane(a, skipped);
    };
    auto inside = [&](const uint8_t* p) { return p >= data_start && p < data_end; };
    const uint8_t* p = data_start;
    uint32_t skipped = 0;
    bool go = true;
    if (alpha) {
      if (video_bytes < 4) {
        go = false;
      } else {
        decode(3, p + 4, 1, &skipped);
        if (skipped < m) m = skipped;
        const uint32_t count = ReadLE32(p);
        if (count > video_bytes)
          go = false;
        else
          p += count;
      }
    }
    if (go && p < data_end) {
      const uint8_t* chroma = nullptr;
      if (!old_revision) {
        if (data_end - p < 4) {
          go = false;
        } else {
          const uint32_t field = ReadLE32(p);
          chroma = field <= static_cast<uint32_t>(data_end - p) ? p + field : data_end;
          p += 4;
        }
      }
      if (go) {
        const uint8_t* after = decode(0, p, 1, &skipped);
        if (skipped < m) m = skipped;
        if (old_revision) chroma = after;
        if (!gray && inside(chroma)) {
          const uint8_t* b = decode(1, chroma, 2, &skipped);
          if (skipped * 4 < m) m = skipped * 4;
          if (inside(b)) {
            decode(2, b, 2, &skipped);
            if (skipped * 4 < m) m = skipped * 4;
          }
        }
      }
    }
    const uint32_t blocks = lw * lh / 64;
    out.changed_percent.push_back(blocks ? (blocks - m) * 100 / blocks : 0);
    current = dest;

    // The visible area, as the decode tool writes it.
    std::vector<uint8_t> frame;
    const Plane* set = planes[current];
    for (uint32_t y = 0; y < h.height; ++y)
      frame.insert(frame.end(), set[0].samples.begin() + y * set[0].pitch,
                   set[0].samples.begin() + y * set[0].pitch + h.width);
    const uint32_t vw = (h.width + 1) / 2, vh = (h.height + 1) / 2;
    const int cb = swap_chroma ? 1 : 2, cr = swap_chroma ? 2 : 1;
    for (int c : {cb, cr}) {
      for (uint32_t y = 0; y < vh; ++y) {
        if (gray) {
          frame.insert(frame.end(), vw, 128);
        } else {
          frame.insert(frame.end(), set[c].samples.begin() + y * set[c].pitch,
                       set[c].samples.begin() + y * set[c].pitch + vw);
        }
      }
    }
    out.y4m_frames.push_back(std::move(frame));
    if (alpha) {
      std::vector<uint8_t> a;
      for (uint32_t y = 0; y < h.height; ++y)
        a.insert(a.end(), set[3].samples.begin() + y * set[3].pitch,
                 set[3].samples.begin() + y * set[3].pitch + h.width);
      out.alpha_frames.push_back(std::move(a));
    }
  }
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

class VectorsTest : public ::testing::TestWithParam<uint32_t> {};

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
    const DecodedMovie decoded = DecodeMovie(file, GetParam());
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
    EXPECT_EQ(ManifestPercentages(manifest, std::string(name) + ".vxl"), decoded.changed_percent);
  }
  EXPECT_GE(movies, 40);
}

INSTANTIATE_TEST_SUITE_P(Kernels, VectorsTest, ::testing::Values(0u, CpuFeatures()),
                         [](const auto& info) { return info.index ? "Native" : "Portable"; });

}  // namespace
}  // namespace vexil
