// The nine per-plane value streams (bundles): chunk decoding, capacities,
// length-field widths and the stop rules for damaged data.
//
// A bundle is refilled at the start of each block row when its read position
// equals its end. A chunk whose length is 0 or above the capacity, or whose
// code look-ups run past the data end, stops the bundle: read position =
// buffer + 4, end = buffer, so it is never refilled again in the plane and
// blocks read the buffer's stale bytes from byte 4 on.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"
#include "video/bundle_sizes.h"
#include "video/code_tables.h"

namespace vexil {

struct Bundle {
  uint8_t* buffer;
  uint8_t* pos;  // next value (bytes; the DC bundles hold 16-bit values)
  uint8_t* end;
  uint32_t capacity;  // largest chunk length accepted, in values
  uint32_t length_bits;
};

// Geometry of the bundles for a plane of width w (pixels).
struct BundleLayout {
  uint32_t capacity[BUNDLE_KIND_COUNT];
  uint32_t length_bits[BUNDLE_KIND_COUNT];
};
BundleLayout BundleLayoutForWidth(uint32_t w);

// Values a block may read past a chunk's end before the next per-block check
// (64 colours or runs, 8 patterns), and for the colours 16 more that a run
// block loads at once from its last run on; the buffers carry this slack.
constexpr uint32_t kBundleSlack[BUNDLE_KIND_COUNT] = {0, 0, 80, 8, 0, 0, 0, 0, 64};

struct PlaneBundles {
  Bundle b[BUNDLE_KIND_COUNT];
  Tree type_tree, sub_type_tree, colour_high[16], colour_low, pattern_tree, x_tree, y_tree,
      run_tree;
  // Value tables of the trees whose chunks are single codes, built when a
  // plane first has a chunk of them.
  ValueTable type_values, sub_type_values, x_values, y_values, run_values;
  uint32_t previous_high;
  bool old_revision;  // colours in sign-and-magnitude form
};

// Points the bundles at the nine buffers (consecutive, each 16-byte aligned)
// and sets capacities for plane width w. False when the buffers are smaller
// than such a plane needs.
bool SetUpBundles(PlaneBundles* pb, uint32_t w, uint8_t* buffers,
                  const uint32_t sizes[BUNDLE_KIND_COUNT], bool old_revision);

// Reads the plane's tree descriptors in stream order and empties every bundle.
void ReadBundleTrees(BitReader& r, PlaneBundles* pb);

inline void StopBundle(Bundle* b) {
  b->pos = b->buffer + 4;
  b->end = b->buffer;
}

// Refills every used-up bundle, in stream order, at the start of a block row.
// The x offsets' read position is then set to the y offsets' index.
void RefillBundles(BitReader& r, PlaneBundles* pb, uintptr_t data_end);

// The single codings, exposed for tests. Each does nothing unless the bundle
// is used up (read position equal to its end). With `values` (the tree's
// value table, built here on first need unless ready) chunks far enough from
// the data end decode by one look-up per value and one data end check; the
// result is the same as without.
void RefillTypes(BitReader& r, Bundle* b, const Tree& tree, uintptr_t data_end,
                 ValueTable* values = nullptr);
void RefillColours(BitReader& r, Bundle* b, const Tree high[16], const Tree& low,
                   uint32_t* previous_high, bool old_revision, uintptr_t data_end);
void RefillPatterns(BitReader& r, Bundle* b, const Tree& tree, uintptr_t data_end);
void RefillOffsets(BitReader& r, Bundle* b, const Tree& tree, uintptr_t data_end,
                   ValueTable* values = nullptr);
void RefillDc(BitReader& r, Bundle* b, bool is_signed, uintptr_t data_end);
void RefillRuns(BitReader& r, Bundle* b, const Tree& tree, uintptr_t data_end,
                ValueTable* values = nullptr);

// Bit length of x (0 for 0).
inline uint32_t BitLength(uint32_t x) {
  uint32_t n = 0;
  while (x) {
    ++n;
    x >>= 1;
  }
  return n;
}

}  // namespace vexil
