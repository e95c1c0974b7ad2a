// The default command block of a program file: 512 characters of `~` that
// `vexil embed` patches in place (a movie source and default switches, e.g.
// ":97280 /l /j", followed by the remaining `~` fill). On Windows the block is
// string resource 16 of the program (UTF-16 in the file); on Linux it is the
// whole of the read-only section named below. The player reads its own block;
// the tool finds and writes the block of a program file's bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexil::platform {

constexpr size_t kDefaultCommandBlockSize = 512;
constexpr char kDefaultCommandFill = '~';
constexpr uint32_t kDefaultCommandResource = 16;
inline constexpr const char kDefaultCommandSection[] = ".vexil_default_cmd";

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

// A block as the linker lays it down: all fill.
constexpr std::array<char, kDefaultCommandBlockSize> DefaultCommandFillBlock() {
  std::array<char, kDefaultCommandBlockSize> block{};
  for (char& c : block) c = kDefaultCommandFill;
  return block;
}

}  // namespace vexil::platform
