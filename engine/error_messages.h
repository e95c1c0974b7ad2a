// The messages the engine's operations leave in the caller's error text
// (platform/error_text.h) when they fail.
#pragma once

#include "platform/error_text.h"  // kErrOutOfMemory

namespace vexil {

inline constexpr const char kErrNotVexil[] = "Not a Vexil file.";
inline constexpr const char kErrNoFrames[] = "The file doesn't contain any compressed frames yet.";
inline constexpr const char kErrCorruptHeader[] = "The file has a corrupt header.";
inline constexpr const char kErrReadingHeader[] = "Error reading Vexil header.";
inline constexpr const char kErrBadFrameSizes[] = "This file has bad frame size data.";
inline constexpr const char kErrOpeningFile[] = "Error opening file.";

}  // namespace vexil
