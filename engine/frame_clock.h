// The frame clock: when the next frame is due, late frames, stepping to the
// next packet, pause, and the per-frame bookkeeping for the statistics.
// Player thread, except FrameDone (the decode driver's finish).
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;

// Fetches packet n (1-based; 0 is taken as 1) into frame_data.
void FetchFrame(MovieHandle* movie, uint32_t n);

}  // namespace vexil
