// The block type codes of a plane's block types bundle: what covers each 8x8
// position (a scaled block covers 16x16). Codes 10 to 15 name no block; the
// decoder passes over the position. The decoder reads them, the encoder
// writes them.
#pragma once

#include <cstdint>

namespace vexil {

enum BlockType : uint8_t {
  BLOCK_SKIP = 0,
  BLOCK_SCALED = 1,
  BLOCK_MOTION = 2,
  BLOCK_RUN = 3,
  BLOCK_RESIDUE = 4,
  BLOCK_INTRA = 5,
  BLOCK_FILL = 6,
  BLOCK_INTER = 7,
  BLOCK_PATTERN = 8,
  BLOCK_RAW = 9,
  BLOCK_TYPE_COUNT = 10
};

}  // namespace vexil
