#include "encoder/plane_encoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "encoder/motion_search.h"
#include "encoder/plane_builder.h"

namespace vexil {
namespace {

// A plane is cut into this many runs of whole bands (fewer when it has fewer
// bands); each is searched and decided on its own, so the threads that share
// the work never change the result.
constexpr uint32_t kSegments = 4;

// The search for the blocks of rows [row_begin, row_end): predictions only
// from inside those rows, the previous frame and the guide plane.
void FindVectors(const PlaneEncodeJob& job, uint32_t row_begin, uint32_t row_end,
                 std::vector<MotionVector>* vectors) {
  const uint32_t bw = job.width / 8, bh = job.height / 8;
  MotionSearchSetup s;
  s.source = job.source;
  s.reference = job.reference;
  s.width = job.width;
  s.height = job.height;
  s.lambda = std::sqrt(job.lambda);
  s.rate = job.rate;
  s.kernels = job.kernels;
  const bool have_previous = job.previous && job.previous->size() == size_t{bw} * bh;
  const bool have_guide =
      job.guide && job.guide->size() == size_t{job.guide_blocks_wide} * job.guide_blocks_high;
  for (uint32_t by = row_begin; by < row_end; ++by) {
    for (uint32_t bx = 0; bx < bw; ++bx) {
      MotionVector p[8];
      size_t n = 0;
      const size_t at = size_t{by} * bw + bx;
      if (bx) p[n++] = (*vectors)[at - 1];
      if (by > row_begin) p[n++] = (*vectors)[at - bw];
      if (by > row_begin && bx + 1 < bw) p[n++] = (*vectors)[at - bw + 1];
      if (have_previous) p[n++] = (*job.previous)[at];
      if (have_guide) {
        // The guide plane's vectors over the same place (its diagonal
        // blocks), scaled to this plane.
        const uint32_t gx = bx << job.guide_shift, gy = by << job.guide_shift;
        for (uint32_t k = 0; k < (1u << job.guide_shift) && n < 8; ++k) {
          const uint32_t x = gx + k, y = gy + k;
          if (x >= job.guide_blocks_wide || y >= job.guide_blocks_high) continue;
          const MotionVector g = (*job.guide)[size_t{y} * job.guide_blocks_wide + x];
          p[n++] = {static_cast<int8_t>(g.dx / (1 << job.guide_shift)),
                    static_cast<int8_t>(g.dy / (1 << job.guide_shift))};
        }
      }
      (*vectors)[at] = SearchMotion(s, bx * 8, by * 8, p, n);
    }
  }
}

void PutContent(std::vector<uint8_t>& plane, uint32_t width, uint32_t x, uint32_t y,
                const BlockChoice& c) {
  uint8_t* dst = plane.data() + size_t{y} * width + x;
  if (!c.scaled) {
    for (uint32_t r = 0; r < 8; ++r) std::memcpy(dst + size_t{r} * width, c.content + 8 * r, 8);
    return;
  }
  for (uint32_t r = 0; r < 16; ++r)
    for (uint32_t k = 0; k < 16; ++k) dst[size_t{r} * width + k] = c.content[8 * (r / 2) + k / 2];
}

// What was decided for one 16x16 area: four blocks or one scaled block.
struct Area {
  BlockChoice blocks[4];
  BlockChoice scaled;
  bool is_scaled = false;
};

// Runs work(0 .. count - 1) on up to `threads` threads.
template <typename Work>
void RunShared(uint32_t count, uint32_t threads, Work work) {
  std::atomic<uint32_t> next{0};
  auto worker = [&] {
    for (uint32_t i; (i = next.fetch_add(1)) < count;) work(i);
  };
  std::vector<std::thread> helpers;
  for (uint32_t t = 1; t < std::min(threads, count); ++t) helpers.emplace_back(worker);
  worker();
  for (std::thread& t : helpers) t.join();
}

}  // namespace

bool EncodePlane(const PlaneEncodeJob& job, PlaneEncodeResult* result) {
  const uint32_t bw = job.width / 8, bh = job.height / 8;
  result->vectors.assign(size_t{bw} * bh, MotionVector{});
  std::memset(result->blocks, 0, sizeof(result->blocks));
  std::memset(result->scaled_blocks, 0, sizeof(result->scaled_blocks));
  result->error.clear();

  BlockCoderSetup setup;
  setup.source = job.source;
  setup.reference = job.reference;
  setup.width = job.width;
  setup.height = job.height;
  setup.lambda = job.lambda;
  setup.finest_quantizer = job.finest_quantizer;
  setup.coarsest_quantizer = job.coarsest_quantizer;
  setup.residue_threshold = job.residue_threshold;
  setup.modes = job.reference ? job.modes : job.modes & BLOCK_MODE_INTRA_KINDS;
  // Something must be able to code every block.
  if (!(setup.modes & (BLOCK_MODE_INTRA_KINDS & ~BLOCK_MODE_SCALED)) && !job.reference)
    setup.modes |= BLOCK_MODE_INTRA;
  setup.old_revision = job.old_revision;
  setup.rate = job.rate;
  setup.kernels = job.kernels;

  // A band is two block rows: a scaled block covers both.
  const uint32_t areas = (bw + 1) / 2, bands = (bh + 1) / 2;
  std::vector<Area> decided(size_t{areas} * bands);
  const uint32_t segments = std::min(kSegments, bands);
  RunShared(segments, job.threads, [&](uint32_t segment) {
    const uint32_t band_begin = bands * segment / segments,
                   band_end = bands * (segment + 1) / segments;
    if (job.reference)
      FindVectors(job, 2 * band_begin, std::min(2 * band_end, bh), &result->vectors);
    BlockCoder coder(setup);
    for (uint32_t band = band_begin; band < band_end; ++band) {
      const uint32_t y0 = 16 * band;
      const bool two_rows = y0 + 8 < job.height;
      for (uint32_t a = 0; a < areas; ++a) {
        Area& area = decided[size_t{band} * areas + a];
        const uint32_t x0 = 16 * a;
        const bool two_columns = x0 + 8 < job.width;
        double four = 0;
        for (uint32_t k = 0; k < 4; ++k) {
          const uint32_t x = x0 + 8 * (k & 1), y = y0 + 8 * (k >> 1);
          if (x >= job.width || y >= job.height) continue;
          coder.Best(x, y, result->vectors[size_t{y / 8} * bw + x / 8], &area.blocks[k]);
          four += area.blocks[k].cost;
        }
        area.is_scaled = two_rows && two_columns && (setup.modes & BLOCK_MODE_SCALED) &&
                         coder.BestScaled(x0, y0, four, &area.scaled);
        if (area.is_scaled) {
          coder.Commit(area.scaled);
        } else {
          for (const BlockChoice& c : area.blocks) coder.Commit(c);
        }
      }
    }
  });

  PlaneBuilderOptions options;
  options.width = job.width;
  options.height = job.height;
  options.old_revision = job.old_revision;
  options.map_step = 0;
  const size_t plane_bytes = size_t{job.width} * job.height;
  PlaneBuilder builder(
      options, job.reference ? std::vector<uint8_t>(job.reference, job.reference + plane_bytes)
                             : std::vector<uint8_t>{});
  std::vector<uint8_t> recon(plane_bytes, 0);
  ValueCounts counts;
  for (uint32_t band = 0; band < bands; ++band) {
    const uint32_t y0 = 16 * band;
    const bool two_rows = y0 + 8 < job.height;
    // The stream takes the blocks row by row; a scaled block is coded on its
    // first row and takes one more type value on the second.
    for (uint32_t row = 0; row < (two_rows ? 2u : 1u); ++row) {
      for (uint32_t a = 0; a < areas; ++a) {
        const Area& area = decided[size_t{band} * areas + a];
        if (area.is_scaled) {
          if (row == 0) {
            EmitBlock(builder, area.scaled);
            CountBlockValues(area.scaled, &counts);
            PutContent(recon, job.width, 16 * a, y0, area.scaled);
            ++result->scaled_blocks[area.scaled.type];
            result->blocks[BLOCK_SCALED] += 4;
          } else {
            builder.Scaled();
          }
          continue;
        }
        for (uint32_t k = 2 * row; k < 2 * row + 2; ++k) {
          const uint32_t x = 16 * a + 8 * (k & 1);
          if (x >= job.width) continue;
          const BlockChoice& c = area.blocks[k];
          EmitBlock(builder, c);
          CountBlockValues(c, &counts);
          PutContent(recon, job.width, x, y0 + 8 * row, c);
          ++result->blocks[c.type];
        }
      }
    }
  }

  result->bytes = builder.Finish();
  if (result->bytes.empty()) {
    result->error = "plane stream: " + builder.error();
    return false;
  }
  if (builder.expected() != recon) {
    result->error = "plane stream: the decoder's picture differs from the blocks chosen";
    return false;
  }
  result->recon = std::move(recon);
  job.rate->Learn(counts);
  return true;
}

}  // namespace vexil
