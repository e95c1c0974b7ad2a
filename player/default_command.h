// The default command: a 512-character block of `~` in the program file that
// `vexil embed` patches in place (a movie source and default switches, e.g.
// ":97280 /l /j", followed by the remaining `~` fill). On Linux the block is
// the whole of the read-only section named below.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexil {

constexpr size_t kDefaultCommandBlockSize = 512;
constexpr char kDefaultCommandFill = '~';
inline constexpr const char kDefaultCommandSection[] = ".vexil_default_cmd";

// The default command of this program file.
std::string LoadDefaultCommand();

// The command held by a block as the program loads it: at most 511
// characters, cut at the first `~` (and at a zero byte).
std::string DefaultCommandFromBlock(std::string_view block);

}  // namespace vexil
