// Pictures the synth command draws: the demo movie's frames (a lively scene
// with a lot of motion, smooth areas, sharp edges and text, so every block
// kind of the encoder has work) and the player's built-in closing picture.
#pragma once

#include <cstdint>

#include "encoder/picture.h"

namespace vexil::tools {

// The demo's beat: the balls bounce on it, the music's drum plays on it.
constexpr double kDemoBeatSeconds = 0.5;

// Frame `frame` of the demo at `fps` frames per second.
Picture DemoFrame(uint32_t width, uint32_t height, uint32_t frame, uint32_t fps);

constexpr uint32_t kClosingWidth = 224;
constexpr uint32_t kClosingHeight = 252;
Picture ClosingPicture();

}  // namespace vexil::tools
