// Where the closing picture comes from: the built-in movie the program
// carries.
#pragma once

#include <cstdint>
#include <span>

namespace vexil {

// The built-in closing picture: the movie's bytes, which the program keeps
// followed by the zero bytes a movie in memory needs.
std::span<const uint8_t> BuiltInClosingPicture();

}  // namespace vexil
