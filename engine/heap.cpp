#include "engine/heap.h"

#include <cstdlib>
#include <vector>

namespace vexil {
namespace {

// Raw blocks come from the C heap; the shift byte and origin mark sit just in
// front of the aligned result.
constexpr size_t kSlack = 64;
constexpr uint8_t kOriginHeap = 0;

struct PendingPiece {
  void** field;
  uint64_t offset;  // from the end of the object
};

struct PendingList {
  std::vector<PendingPiece> pieces;
  uint64_t total = 0;
  void Clear() {
    pieces.clear();
    total = 0;
  }
};

thread_local PendingList t_pending;

}  // namespace

void* Alloc(size_t size) {
  if (size == 0 || size == 0xFFFFFFFFu || size > SIZE_MAX - kSlack) return nullptr;
  auto* raw = static_cast<uint8_t*>(std::malloc(size + kSlack));
  if (!raw) return nullptr;
  size_t shift = kSlack - (reinterpret_cast<uintptr_t>(raw) % 32);
  uint8_t* block = raw + shift;
  block[-1] = static_cast<uint8_t>(shift);
  block[-2] = kOriginHeap;
  return block;
}

void Free(void* block) {
  if (!block) return;
  auto* p = static_cast<uint8_t*>(block);
  std::free(p - p[-1]);
}

void Reserve(void** field, uint64_t size) {
  PendingList& pending = t_pending;
  if (pending.pieces.capacity() == 0) pending.pieces.reserve(32);
  // Staggering pad: (pending total / 32 - piece slots + 1) mod 32 slots of 32
  // bytes, so successive pieces start at different offsets mod 1 KiB. Worked
  // in unsigned 32-bit arithmetic: the residue is the same, and a signed
  // difference would go negative for the first piece and overlap pieces.
  uint32_t pad_slots =
      (static_cast<uint32_t>(pending.total / 32) - static_cast<uint32_t>((size + 31) / 32) + 1) %
      32;
  uint64_t rounded = (size + 31) & ~uint64_t{31};
  uint64_t piece = rounded + uint64_t{pad_slots} * 32;
  pending.pieces.push_back({field, pending.total});
  pending.total += piece;
}

void* AllocWithReserved(size_t size, uint64_t* allocated) {
  PendingList& pending = t_pending;
  uint64_t object = (static_cast<uint64_t>(size) + 31) & ~uint64_t{31};
  uint64_t total = object + pending.total;
  void* block = nullptr;
  if (total < (uint64_t{1} << 40) && total <= SIZE_MAX) block = Alloc(static_cast<size_t>(total));
  if (block) {
    auto* base = static_cast<uint8_t*>(block) + object;
    for (const PendingPiece& piece : pending.pieces) *piece.field = base + piece.offset;
    if (allocated) *allocated = total;
  } else if (allocated) {
    *allocated = 0;
  }
  pending.Clear();
  return block;
}

uint64_t ReservedTotal() { return t_pending.total; }

}  // namespace vexil
