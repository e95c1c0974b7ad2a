// The engine heap. Every block is 32-byte aligned for the vector code. An
// object and its arrays are allocated as one block: Reserve each array, then
// AllocWithReserved the object; the arrays' starts are staggered by multiples
// of 32 bytes so they do not all fall on the same cache sets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil {

// A block of `size` bytes, 32-byte aligned; null for 0, for the 32-bit -1, for
// sizes that cannot be represented, or when memory runs out.
void* Alloc(size_t size);
// Returns a block from Alloc or AllocWithReserved; null is ignored.
void Free(void* block);

// Records a pending piece of `size` bytes whose address AllocWithReserved will
// store into *field. Pending pieces belong to the calling thread. Sizes are
// 64-bit in every build, so that a piece larger than a 32-bit address space
// fails the allocation instead of being cut to its low 32 bits.
void Reserve(void** field, uint64_t size);

template <typename T>
void Reserve(T** field, uint64_t size) {
  Reserve(reinterpret_cast<void**>(field), size);
}

// Allocates `size` bytes (rounded up to 32) for an object followed by every
// pending piece, in reservation order, and stores each piece's address into its
// field. The pending list is cleared whether or not this succeeds. When
// `allocated` is given it receives the block's full size (for total_memory).
void* AllocWithReserved(size_t size, uint64_t* allocated = nullptr);

// Pending total of the calling thread (for tests).
uint64_t ReservedTotal();

}  // namespace vexil
