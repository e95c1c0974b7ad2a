#include "platform/command_block.h"

#include <optional>
#include <utility>

namespace vexil::platform {
namespace {

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

int64_t FindElfBlock(const uint8_t* program, size_t size) {
  if (program[4] != 1 && program[4] != 2) return -1;
  const ElfLayout& elf = program[4] == 2 ? kElf64 : kElf32;
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

// A PE file's bytes, read with every offset checked against the file size.
class PeFile {
 public:
  PeFile(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  // Little-endian field of `width` bytes at `at`; nothing past the end.
  std::optional<uint64_t> Field(uint64_t at, int width) const {
    if (at > size_ || static_cast<uint64_t>(width) > size_ - at) return std::nullopt;
    return ReadLE(bytes_ + at, width);
  }

  // The file offset of the string resource block that holds string `id`,
  // and its size.
  std::optional<std::pair<uint64_t, uint64_t>> StringBlock(uint32_t id) {
    auto header = Field(0x3C, 4);
    if (!header || ReadLE(bytes_, 2) != 0x5A4D) return std::nullopt;  // "MZ"
    auto signature = Field(*header, 4);
    if (!signature || *signature != 0x4550) return std::nullopt;  // "PE\0\0"
    const uint64_t coff = *header + 4;
    auto section_count = Field(coff + 2, 2);
    auto optional_size = Field(coff + 16, 2);
    const uint64_t optional = coff + 20;
    auto magic = Field(optional, 2);
    if (!section_count || !optional_size || !magic) return std::nullopt;
    // The data directories follow the fixed fields, whose size differs
    // between 32- and 64-bit files; the resources are the third directory.
    uint64_t directories;
    if (*magic == 0x10B) {
      directories = 96;
    } else if (*magic == 0x20B) {
      directories = 112;
    } else {
      return std::nullopt;
    }
    auto directory_count = Field(optional + directories - 4, 4);
    if (!directory_count || *directory_count < 3 || *optional_size < directories + 3 * 8)
      return std::nullopt;
    auto resource_rva = Field(optional + directories + 2 * 8, 4);
    auto resource_size = Field(optional + directories + 2 * 8 + 4, 4);
    if (!resource_rva || !resource_size) return std::nullopt;
    sections_ = optional + *optional_size;
    section_count_ = *section_count;
    auto root = Locate(*resource_rva, *resource_size);
    if (!root) return std::nullopt;
    resources_ = *root;
    resources_size_ = *resource_size;

    // Type (strings), then name (block id / 16 + 1), then the first language.
    constexpr uint32_t kStringType = 6;
    auto by_type = Entry(0, kStringType);
    if (!by_type || !(*by_type & kSubdirectory)) return std::nullopt;
    auto by_name = Entry(*by_type & ~kSubdirectory, id / 16 + 1);
    if (!by_name || !(*by_name & kSubdirectory)) return std::nullopt;
    auto by_language = Entry(*by_name & ~kSubdirectory, std::nullopt);
    if (!by_language || (*by_language & kSubdirectory)) return std::nullopt;
    if (*by_language > resources_size_ || resources_size_ - *by_language < 8) return std::nullopt;
    auto data_rva = Field(resources_ + *by_language, 4);
    auto data_size = Field(resources_ + *by_language + 4, 4);
    if (!data_rva || !data_size) return std::nullopt;
    auto data = Locate(*data_rva, *data_size);
    if (!data) return std::nullopt;
    return std::make_pair(*data, *data_size);
  }

 private:
  static constexpr uint64_t kSubdirectory = 0x80000000u;

  // The file offset of `length` bytes at the relative virtual address `rva`,
  // when a section holds all of them in the file.
  std::optional<uint64_t> Locate(uint64_t rva, uint64_t length) const {
    for (uint64_t i = 0; i < section_count_; ++i) {
      const uint64_t entry = sections_ + i * 40;
      auto address = Field(entry + 12, 4);
      auto raw_size = Field(entry + 16, 4);
      auto raw_offset = Field(entry + 20, 4);
      if (!address || !raw_size || !raw_offset) return std::nullopt;
      if (rva < *address || rva - *address > *raw_size || length > *raw_size - (rva - *address))
        continue;
      const uint64_t offset = *raw_offset + (rva - *address);
      if (offset > size_ || length > size_ - offset) return std::nullopt;
      return offset;
    }
    return std::nullopt;
  }

  // The entry of a resource directory (at `directory` within the resources)
  // with the numeric id `id`, or its first entry; its offset word.
  std::optional<uint64_t> Entry(uint64_t directory, std::optional<uint32_t> id) const {
    if (directory > resources_size_ || resources_size_ - directory < 16) return std::nullopt;
    const uint64_t named = ReadLE(bytes_ + resources_ + directory + 12, 2);
    const uint64_t numbered = ReadLE(bytes_ + resources_ + directory + 14, 2);
    const uint64_t first = id ? named : 0;
    const uint64_t end = named + numbered;
    if ((resources_size_ - directory - 16) / 8 < end) return std::nullopt;
    for (uint64_t i = first; i < end; ++i) {
      const uint8_t* entry = bytes_ + resources_ + directory + 16 + i * 8;
      if (!id || ReadLE(entry, 4) == *id) return ReadLE(entry + 4, 4);
    }
    return std::nullopt;
  }

  const uint8_t* bytes_;
  size_t size_;
  uint64_t sections_ = 0, section_count_ = 0;
  uint64_t resources_ = 0, resources_size_ = 0;
};

int64_t FindPeBlock(const uint8_t* program, size_t size) {
  auto block = PeFile(program, size).StringBlock(kDefaultCommandResource);
  if (!block) return -1;
  // A block holds 16 strings, each a length word and that many UTF-16 units;
  // ours is the first and must be the whole 512 characters.
  const auto [offset, bytes] = *block;
  if (bytes < 2 + 2 * kDefaultCommandBlockSize ||
      ReadLE(program + offset, 2) != kDefaultCommandBlockSize)
    return -1;
  return static_cast<int64_t>(offset + 2);
}

}  // namespace

DefaultCommandBlock FindDefaultCommandBlock(const uint8_t* program, size_t size) {
  if (!program || size < 0x40) return {};
  if (program[0] == 0x7F && program[1] == 'E' && program[2] == 'L' && program[3] == 'F' &&
      program[5] == 1)
    return {FindElfBlock(program, size), 1};
  if (program[0] == 'M' && program[1] == 'Z') return {FindPeBlock(program, size), 2};
  return {};
}

std::string ReadDefaultCommandBlock(const uint8_t* program, size_t size) {
  const DefaultCommandBlock block = FindDefaultCommandBlock(program, size);
  if (block.offset < 0) return std::string();
  std::string text(kDefaultCommandBlockSize, '\0');
  for (size_t i = 0; i < kDefaultCommandBlockSize; ++i) {
    const uint64_t unit =
        ReadLE(program + block.offset + i * block.char_bytes, static_cast<int>(block.char_bytes));
    text[i] = unit > 0xFF ? '?' : static_cast<char>(unit);
  }
  return text;
}

bool WriteDefaultCommandBlock(uint8_t* program, size_t size, std::string_view command) {
  const DefaultCommandBlock block = FindDefaultCommandBlock(program, size);
  if (block.offset < 0 || command.size() >= kDefaultCommandBlockSize) return false;
  for (size_t i = 0; i < kDefaultCommandBlockSize; ++i) {
    const uint8_t c = static_cast<uint8_t>(i < command.size() ? command[i] : kDefaultCommandFill);
    uint8_t* at = program + block.offset + i * block.char_bytes;
    at[0] = c;
    if (block.char_bytes == 2) at[1] = 0;
  }
  return true;
}

}  // namespace vexil::platform
