#include "platform/heap.h"

#include <cstdlib>

namespace vexil {
namespace {

// Raw blocks come from the C heap; the shift byte and origin mark sit just in
// front of the aligned result.
constexpr size_t kSlack = 64;
constexpr uint8_t kOriginHeap = 0;

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

void Reservation::Reserve(void** field, uint64_t size) {
  if (pieces_.capacity() == 0) pieces_.reserve(32);
  // Staggering pad: (total / 32 - piece slots + 1) mod 32 slots of 32 bytes,
  // so successive pieces start at different offsets mod 1 KiB. Worked in
  // unsigned 32-bit arithmetic: the residue is the same, and a signed
  // difference would go negative for the first piece and overlap pieces.
  uint32_t pad_slots =
      (static_cast<uint32_t>(total_ / 32) - static_cast<uint32_t>((size + 31) / 32) + 1) % 32;
  uint64_t rounded = (size + 31) & ~uint64_t{31};
  uint64_t piece = rounded + uint64_t{pad_slots} * 32;
  pieces_.push_back({field, total_});
  total_ += piece;
}

void* Reservation::Allocate(size_t size, uint64_t* allocated) {
  uint64_t object = (static_cast<uint64_t>(size) + 31) & ~uint64_t{31};
  uint64_t total = object + total_;
  void* block = nullptr;
  if (total < (uint64_t{1} << 40) && total <= SIZE_MAX) block = Alloc(static_cast<size_t>(total));
  if (block) {
    auto* base = static_cast<uint8_t*>(block) + object;
    for (const Piece& piece : pieces_) *piece.field = base + piece.offset;
    if (allocated) *allocated = total;
  } else if (allocated) {
    *allocated = 0;
  }
  pieces_.clear();
  total_ = 0;
  return block;
}

}  // namespace vexil
