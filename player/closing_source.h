// Where the closing picture comes from: the built-in movie the program
// carries.
#pragma once

#include <cstdint>
#include <span>

namespace vexil {

// The built-in closing picture and its trailing zero bytes; empty while the
// program carries none.
std::span<const uint8_t> BuiltInClosingPicture();

}  // namespace vexil
