// The engine's last-error text: one process-wide 255-byte buffer that every
// failure fills and the player shows in its error box.
#pragma once

namespace vexil {

constexpr int kLastErrorSize = 255;

// The current text ("" when none).
const char* LastError();
// Copies at most 254 characters of `text` and terminates.
void SetLastErrorText(const char* text);
void ClearLastError();
// Whether the text is empty.
bool LastErrorEmpty();

// The messages the engine sets.
inline constexpr const char kErrNotVexil[] = "Not a Vexil file.";
inline constexpr const char kErrNoFrames[] = "The file doesn't contain any compressed frames yet.";
inline constexpr const char kErrCorruptHeader[] = "The file has a corrupt header.";
inline constexpr const char kErrReadingHeader[] = "Error reading Vexil header.";
inline constexpr const char kErrBadFrameSizes[] = "This file has bad frame size data.";
inline constexpr const char kErrOpeningFile[] = "Error opening file.";
inline constexpr const char kErrOutOfMemory[] = "Out of memory.";

}  // namespace vexil
