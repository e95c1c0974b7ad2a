// The engine heap. Every block is 32-byte aligned for the vector code. An
// object and its arrays are allocated as one block: Reserve each array on a
// Reservation, then Allocate the object; the arrays' starts are staggered by
// multiples of 32 bytes so they do not all fall on the same cache sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexil {

// A block of `size` bytes, 32-byte aligned; null for 0, for the 32-bit -1, for
// sizes that cannot be represented, or when memory runs out. Any thread.
void* Alloc(size_t size);
// Returns a block from Alloc or Reservation::Allocate; null is ignored.
void Free(void* block);

// The pieces of one object's block, collected before the block is allocated.
// A value owned by the code building the object: nothing is shared.
class Reservation {
 public:
  // Records a piece of `size` bytes whose address Allocate will store into
  // *field. Sizes are 64-bit in every build, so that a piece larger than a
  // 32-bit address space fails the allocation instead of being cut to its
  // low 32 bits.
  void Reserve(void** field, uint64_t size);
  template <typename T>
  void Reserve(T** field, uint64_t size) {
    Reserve(reinterpret_cast<void**>(field), size);
  }

  // Allocates `size` bytes (rounded up to 32) for an object followed by every
  // piece, in reservation order, and stores each piece's address into its
  // field. The pieces are forgotten whether or not this succeeds. When
  // `allocated` is given it receives the block's full size (for total_memory).
  void* Allocate(size_t size, uint64_t* allocated = nullptr);

  // Bytes of the pieces reserved so far, padding included.
  uint64_t total() const { return total_; }

 private:
  struct Piece {
    void** field;
    uint64_t offset;  // from the end of the object
  };
  std::vector<Piece> pieces_;
  uint64_t total_ = 0;
};

}  // namespace vexil
