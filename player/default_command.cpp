#include "player/default_command.h"

#include <array>

#include "player/command_text.h"

namespace vexil {
namespace {

constexpr std::array<char, kDefaultCommandBlockSize> FillBlock() {
  std::array<char, kDefaultCommandBlockSize> block{};
  for (char& c : block) c = kDefaultCommandFill;
  return block;
}

uint64_t ReadLE(const uint8_t* p, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

// Where the fields of the ELF header and of a section header lie, for the
// 32-bit and the 64-bit layout.
struct ElfLayout {
  int word;  // bytes of an address or offset
  size_t section_table, entry_size, entry_count, names_index;
  size_t name, type, offset, size;
};
constexpr ElfLayout kElf32 = {4, 0x20, 0x2E, 0x30, 0x32, 0x00, 0x04, 0x10, 0x14};
constexpr ElfLayout kElf64 = {8, 0x28, 0x3A, 0x3C, 0x3E, 0x00, 0x04, 0x18, 0x20};
constexpr uint32_t kSectionWithBits = 1;

}  // namespace

int64_t FindDefaultCommandBlock(const uint8_t* program, size_t size) {
  if (!program || size < 0x40 || program[0] != 0x7F || program[1] != 'E' || program[2] != 'L' ||
      program[3] != 'F' || program[5] != 1)
    return -1;
  const ElfLayout& elf = program[4] == 2 ? kElf64 : kElf32;
  if (program[4] != 1 && program[4] != 2) return -1;
  const uint64_t table = ReadLE(program + elf.section_table, elf.word);
  const uint64_t entry_size = ReadLE(program + elf.entry_size, 2);
  const uint64_t count = ReadLE(program + elf.entry_count, 2);
  const uint64_t names_index = ReadLE(program + elf.names_index, 2);
  if (entry_size < elf.size + elf.word || names_index >= count || table > size ||
      count > (size - table) / entry_size)
    return -1;
  auto entry = [&](uint64_t i) { return program + table + i * entry_size; };
  const uint8_t* names = entry(names_index);
  const uint64_t names_offset = ReadLE(names + elf.offset, elf.word);
  const uint64_t names_size = ReadLE(names + elf.size, elf.word);
  if (names_offset > size || names_size > size - names_offset) return -1;
  const std::string_view wanted(kDefaultCommandSection, sizeof kDefaultCommandSection);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* section = entry(i);
    const uint64_t name = ReadLE(section + elf.name, 4);
    if (name >= names_size || names_size - name < wanted.size()) continue;
    if (std::string_view(reinterpret_cast<const char*>(program + names_offset + name),
                         wanted.size()) != wanted)
      continue;
    const uint64_t offset = ReadLE(section + elf.offset, elf.word);
    const uint64_t bytes = ReadLE(section + elf.size, elf.word);
    if (ReadLE(section + elf.type, 4) != kSectionWithBits || bytes != kDefaultCommandBlockSize ||
        offset > size || bytes > size - offset)
      return -1;
    return static_cast<int64_t>(offset);
  }
  return -1;
}

// Its own section, kept by the linker, so that a tool can find the block and
// patch it in the file. Read through a volatile pointer so the compiler cannot
// fold the unpatched fill into the loader.
#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((section(".vexil_default_cmd"), used))
#endif
const std::array<char, kDefaultCommandBlockSize> g_default_command_block = FillBlock();

std::string DefaultCommandFromBlock(std::string_view block) {
  if (block.size() > kCommandTextLimit) block = block.substr(0, kCommandTextLimit);
  size_t end = block.find_first_of(std::string_view("~\0", 2));
  return std::string(block.substr(0, end));
}

std::string LoadDefaultCommand() {
  const volatile char* bytes = g_default_command_block.data();
  std::string block(kDefaultCommandBlockSize, '\0');
  for (size_t i = 0; i < kDefaultCommandBlockSize; ++i) block[i] = bytes[i];
  return DefaultCommandFromBlock(block);
}

}  // namespace vexil
