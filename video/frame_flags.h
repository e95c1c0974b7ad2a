// The flag bits the video decoder reads. They have the bit values of the
// movie's open-flags word (and, for VIDEO_ALPHA_PLANE, of its header-flags
// word), so the engine hands its words to the decoder unchanged.
#pragma once

#include <cstdint>

namespace vexil {

// Frame flags.
constexpr uint32_t FRAME_NO_SWITCH = 0x00000100;     // keep the current buffer: the caller switches
constexpr uint32_t FRAME_NO_LUMA = 0x00000200;       // skip the luma plane
constexpr uint32_t FRAME_OLD_REVISION = 0x00008000;  // no plane offset field; old colour coding
constexpr uint32_t FRAME_GRAYSCALE = 0x00020000;     // skip the chroma planes
constexpr uint32_t FRAME_ALPHA = 0x00100000;         // decode the alpha plane

// Movie flags: the frames carry alpha data (decoded or skipped by its length).
constexpr uint32_t VIDEO_ALPHA_PLANE = 0x00100000;

}  // namespace vexil
