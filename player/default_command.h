// The default command: a 512-character block of `~` in the program file that
// `vexil embed` patches in place (a movie source and default switches, e.g.
// ":97280 /l /j", followed by the remaining `~` fill). On Linux the block is
// the whole of the read-only section named below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexil {

constexpr size_t kDefaultCommandBlockSize = 512;
constexpr char kDefaultCommandFill = '~';
inline constexpr const char kDefaultCommandSection[] = ".vexil_default_cmd";

// The default command of this program file.
std::string LoadDefaultCommand();

// File offset of the default command block in a program file's bytes (the
// section above of a 32- or 64-bit little-endian ELF file), or -1. The bytes
// are not trusted: a damaged file gives -1. A second copy of the fill may
// exist elsewhere (debug information), so tools must not just search for it.
int64_t FindDefaultCommandBlock(const uint8_t* program, size_t size);

// The command held by a block as the program loads it: at most 511
// characters, cut at the first `~` (and at a zero byte).
std::string DefaultCommandFromBlock(std::string_view block);

}  // namespace vexil
