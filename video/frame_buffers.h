// The decoded picture of a movie: two plane sets (one for a one-frame movie),
// which of them holds the newest frame, and their sizes.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexil {

struct MovieHandle;

enum PlaneIndex { PLANE_LUMA, PLANE_CHROMA_A, PLANE_CHROMA_B, PLANE_ALPHA, PLANE_COUNT };

struct PlaneEntry {
  uint32_t present;
  uint8_t* samples;
  uint32_t pitch;
};

struct PlaneSet {
  PlaneEntry plane[PLANE_COUNT];  // luma, chroma A (V), chroma B (U), alpha
};

struct FrameBufferRecord {
  uint32_t buffer_count;  // 1 for a one-frame movie, else 2
  uint32_t luma_width;    // rounded up to 8
  uint32_t luma_height;
  uint32_t chroma_width;  // ((width + 1) / 2) rounded up to 8
  uint32_t chroma_height;
  std::atomic<uint32_t> current_index;  // buffer holding the newest completed frame
  PlaneSet sets[2];
};

// Describes and allocates the planes of pictures of `width` x `height`, with
// an alpha plane when `alpha`; one plane set when `single` (a one-frame
// movie), else two. *allocated receives the block's size. Null when memory
// runs out.
FrameBufferRecord* AllocateFrameBuffers(uint32_t width, uint32_t height, bool alpha, bool single,
                                        uint64_t* allocated);
// Null is ignored.
void ReleaseFrameBuffers(FrameBufferRecord* record);

// The planes of a movie from its file size and header flags; counts the
// memory in total_memory. Returns false when memory runs out.
bool CreateFrameBuffers(MovieHandle* movie);
void FreeFrameBuffers(MovieHandle* movie);

}  // namespace vexil
