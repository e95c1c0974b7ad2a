// The default command: a 512-character block of `~` in the program file that
// `vexil embed` patches in place (a movie source and default switches, e.g.
// ":97280 /l /j", followed by the remaining `~` fill). On Windows the block is
// string resource 16 of the program (UTF-16 in the file); on Linux it is the
// whole of the read-only section named below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexil {

constexpr size_t kDefaultCommandBlockSize = 512;
constexpr char kDefaultCommandFill = '~';
constexpr uint32_t kDefaultCommandResource = 16;
inline constexpr const char kDefaultCommandSection[] = ".vexil_default_cmd";

// The default command of this program file.
std::string LoadDefaultCommand();

// Where a program file keeps its default command block.
struct DefaultCommandBlock {
  int64_t offset = -1;      // file offset of the first character; -1: none
  uint32_t char_bytes = 1;  // 1 in the ELF section, 2 (UTF-16LE) in the string resource
};

// Finds the block in a program file's bytes: the section above of a 32- or
// 64-bit little-endian ELF file, or the string resource of a PE file (its
// 512 characters behind the length word). The bytes are not trusted: a
// damaged file gives offset -1. A second copy of the fill may exist elsewhere
// (debug information), so tools must not just search for it.
DefaultCommandBlock FindDefaultCommandBlock(const uint8_t* program, size_t size);

// The block's 512 characters as the file holds them (a UTF-16 unit above 0xFF
// reads as '?'); empty when the program has no block.
std::string ReadDefaultCommandBlock(const uint8_t* program, size_t size);

// Writes `command` and then fill to the block's end (bytes become UTF-16
// units of the same value in a string resource). False, changing nothing,
// when the program has no block or the command is longer than 511 characters.
bool WriteDefaultCommandBlock(uint8_t* program, size_t size, std::string_view command);

// The command held by a block as the program loads it: at most 511
// characters, cut at the first `~` (and at a zero byte).
std::string DefaultCommandFromBlock(std::string_view block);

}  // namespace vexil
