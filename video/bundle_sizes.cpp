#include "video/bundle_sizes.h"

namespace vexil {

void BundleBufferSizes(uint32_t width, uint32_t sizes[BUNDLE_KIND_COUNT]) {
  const uint32_t w = (width + 15) & ~15u;
  const uint32_t w8 = w / 8, w16 = w / 16, W8 = w & ~7u;
  const uint32_t per_block = (w8 + 527) & ~15u;
  sizes[BUNDLE_BLOCK_TYPES] = per_block;
  sizes[BUNDLE_SUB_BLOCK_TYPES] = (w16 + 527) & ~15u;
  sizes[BUNDLE_COLOURS] = w8 * 64 + 592;
  sizes[BUNDLE_PATTERNS] = ((W8 + 527) & ~15u) | 8;
  sizes[BUNDLE_X_OFFSETS] = per_block;
  sizes[BUNDLE_Y_OFFSETS] = per_block;
  sizes[BUNDLE_INTRA_DC] = (2 * w8 + 1039) & ~15u;
  sizes[BUNDLE_INTER_DC] = (2 * w8 + 1039) & ~15u;
  sizes[BUNDLE_RUNS] = w8 * 48 + 576;
}

uint64_t BundleBuffersTotal(const uint32_t sizes[BUNDLE_KIND_COUNT]) {
  uint64_t total = 0;
  for (int i = 0; i < BUNDLE_KIND_COUNT; ++i) total += (uint64_t{sizes[i]} + 15) & ~uint64_t{15};
  return total;
}

}  // namespace vexil
