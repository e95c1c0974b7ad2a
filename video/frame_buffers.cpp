#include "video/frame_buffers.h"

#include <cstring>
#include <new>

#include "platform/heap.h"

namespace vexil {
namespace {

uint32_t RoundUp(uint32_t v, uint32_t m) {
  return (v + m - 1) / m * m;
}

}  // namespace

FrameBufferRecord* CreateFrameBuffers(const FrameBufferParams& params, uint64_t* allocated) {
  const uint32_t luma_w = RoundUp(params.width, 8);
  const uint32_t luma_h = RoundUp(params.height, 8);
  const uint32_t chroma_w = RoundUp((params.width + 1) / 2, 8);
  const uint32_t chroma_h = RoundUp((params.height + 1) / 2, 8);
  const uint32_t chroma_pitch = RoundUp(chroma_w, 16);
  const bool alpha = params.alpha;
  const uint32_t buffers = params.buffer_count == 1 ? 1 : 2;

  uint8_t* storage[2][PLANE_COUNT] = {};
  const uint64_t luma_bytes = uint64_t{luma_w} * luma_h;
  const uint64_t chroma_bytes = uint64_t{chroma_pitch} * chroma_h;
  Reservation reservation;
  for (uint32_t b = 0; b < buffers; ++b) {
    // Sizes of 0 (an empty picture) still get a small piece so pointers are valid.
    reservation.Reserve(&storage[b][PLANE_LUMA], luma_bytes ? luma_bytes : 32);
    reservation.Reserve(&storage[b][PLANE_CHROMA_A], chroma_bytes ? chroma_bytes : 32);
    reservation.Reserve(&storage[b][PLANE_CHROMA_B], chroma_bytes ? chroma_bytes : 32);
    if (alpha) reservation.Reserve(&storage[b][PLANE_ALPHA], luma_bytes ? luma_bytes : 32);
  }
  void* block = reservation.Allocate(sizeof(FrameBufferRecord), allocated);
  if (!block) return nullptr;

  auto* record = new (block) FrameBufferRecord{};
  record->buffer_count = buffers;
  record->luma_width = luma_w;
  record->luma_height = luma_h;
  record->chroma_width = chroma_w;
  record->chroma_height = chroma_h;
  record->current_index = 0;
  for (uint32_t b = 0; b < buffers; ++b) {
    PlaneSet& set = record->sets[b];
    set.plane[PLANE_LUMA] = {1, storage[b][PLANE_LUMA], luma_w};
    set.plane[PLANE_CHROMA_A] = {1, storage[b][PLANE_CHROMA_A], chroma_pitch};
    set.plane[PLANE_CHROMA_B] = {1, storage[b][PLANE_CHROMA_B], chroma_pitch};
    set.plane[PLANE_ALPHA] = {alpha ? 1u : 0u, storage[b][PLANE_ALPHA], alpha ? luma_w : 0};
    // A frame that writes no block (no picture data) shows these: zeros,
    // never what the memory held before.
    std::memset(set.plane[PLANE_LUMA].samples, 0, luma_bytes);
    std::memset(set.plane[PLANE_CHROMA_A].samples, 0, chroma_bytes);
    std::memset(set.plane[PLANE_CHROMA_B].samples, 0, chroma_bytes);
    if (alpha) std::memset(set.plane[PLANE_ALPHA].samples, 0, luma_bytes);
  }
  return record;
}

void FreeFrameBuffers(FrameBufferRecord* record) {
  if (!record) return;
  record->~FrameBufferRecord();
  Free(record);
}

}  // namespace vexil
