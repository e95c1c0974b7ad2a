// Pieces of the built-in file input shared by its direct reads and its ring.
#pragma once

#include <cstdint>

#include "engine/input.h"

namespace vexil {
namespace input_detail {

uint32_t Now();
// The lock operations; a missing one (before the open installs them) counts
// as taken at once.
void LockWait(InputRecord* in);
bool LockTry(InputRecord* in);
void LockRelease(InputRecord* in);
// Reads at the file position and nothing else; a short read sets the input error.
uint32_t ReadRaw(InputRecord* in, void* destination, uint32_t n);
// The same without the input error: the bytes the file still had.
uint32_t ReadAvailable(InputRecord* in, void* destination, uint32_t n);
// A direct read: ReadRaw, then the file position, bytes read, the simulated
// speed and the read time. Lock held.
uint32_t ReadFile(InputRecord* in, void* destination, uint32_t n);
// Seeks the file to a movie offset; a failed seek sets the input error.
bool SeekFile(InputRecord* in, uint32_t movie_offset);
// target fill = min(ring size, movie size - position)
void UpdateTargetFill(InputRecord* in, uint32_t position);
// Waits out the simulated read speed after reading `bytes` that began at t0.
void ApplySimulatedSpeed(InputRecord* in, uint32_t bytes, uint32_t t0);

}  // namespace input_detail

// The ring side of the built-in input (read_ring.cpp).
uint32_t RingRead(InputRecord* in, uint32_t frame, int64_t offset, void* destination, uint32_t n);
uint32_t RingBufferSize(InputRecord* in, uint32_t wanted);
void RingSetBuffer(InputRecord* in, void* memory, uint32_t memory_size, uint32_t movie_size,
                   uint32_t simulated_speed);
int32_t RingService(InputRecord* in);
uint32_t RingSuspend(InputRecord* in, uint32_t flags);

}  // namespace vexil
