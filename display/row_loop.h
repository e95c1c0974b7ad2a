// The row loop of the copy: geometry of source and destination, the
// whole-frame copy and the changed-block copy.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil {

struct PlaneSet;

struct CopyRegion {
  const PlaneSet* planes;  // the current plane set
  uint32_t width;          // source pixels per row, already clamped
  uint32_t height;         // source rows, already clamped
  uint8_t* dest;           // the first destination row (the last row in memory when bottom-up)
  uint8_t* memory;         // the lowest destination address (the caller's pointer)
  ptrdiff_t pitch;
  uint32_t dest_height;
  uint32_t flags;  // copy flags after merging
};

// The map of changed 16x16 blocks, one byte per block, and its row pitch.
struct BlockMap {
  const uint8_t* map;
  uint32_t pitch;
  uint32_t size;
};

void CopyWholeFrame(const CopyRegion& region);
// False (nothing written) when the map does not cover the region.
bool CopyChangedBlocks(const CopyRegion& region, const BlockMap& map);

}  // namespace vexil
