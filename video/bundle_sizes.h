// Byte sizes of the nine bundle buffers a plane decode needs, fixed once per
// movie from its width.
#pragma once

#include <cstdint>

namespace vexil {

enum BundleKind {
  BUNDLE_BLOCK_TYPES,
  BUNDLE_SUB_BLOCK_TYPES,
  BUNDLE_COLOURS,
  BUNDLE_PATTERNS,
  BUNDLE_X_OFFSETS,
  BUNDLE_Y_OFFSETS,
  BUNDLE_INTRA_DC,
  BUNDLE_INTER_DC,
  BUNDLE_RUNS,
  BUNDLE_KIND_COUNT
};

// `width` is the movie's (file) width; it is rounded up to a multiple of 16 here.
void BundleBufferSizes(uint32_t width, uint32_t sizes[BUNDLE_KIND_COUNT]);

// Bytes for one set of the nine buffers, each placed 16-byte aligned.
uint64_t BundleBuffersTotal(const uint32_t sizes[BUNDLE_KIND_COUNT]);

}  // namespace vexil
