// Writing RGB pictures as PNG files (the frame tool and the headless display's
// frame dumps).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vexil::platform {

// Writes `height` rows of `width` pixels, 3 bytes (red, green, blue) each and
// rows packed, as an 8-bit RGB PNG. False when the file cannot be written.
bool WritePngRgb(const std::string& path, uint32_t width, uint32_t height, const uint8_t* rgb);
// The same into an open stream, which stays open (false when writing failed).
bool WritePngRgb(FILE* file, uint32_t width, uint32_t height, const uint8_t* rgb);

}  // namespace vexil::platform
