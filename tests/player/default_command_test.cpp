// The default command block in Windows program files: found through the
// resource tree, read and patched as UTF-16, and damaged files refused
// without reading outside them.
#include "player/default_command.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vexil {
namespace {

void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width) {
  if (bytes.size() < at + width) bytes.resize(at + width);
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

constexpr size_t kHeader = 0x80;
constexpr size_t kResources = 0x200;  // file offset of the resource section
constexpr uint32_t kResourcesRva = 0x1000;
constexpr size_t kStrings = 0x58;  // the string block within the resources

// A program file with one section holding the resources: strings of block 2
// (ids 16 to 31), the first `length` characters of `~`.
std::vector<uint8_t> Program(bool wide, uint32_t block_id = 2, uint32_t length = 512) {
  std::vector<uint8_t> b(kResources, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put(b, 0x3C, kHeader, 4);
  Put(b, kHeader, 0x4550, 4);
  const size_t coff = kHeader + 4;
  const size_t optional = coff + 20;
  const size_t directories = wide ? 112 : 96;
  const size_t optional_size = directories + 16 * 8;
  Put(b, coff, wide ? 0x8664 : 0x14C, 2);
  Put(b, coff + 2, 1, 2);
  Put(b, coff + 16, optional_size, 2);
  Put(b, optional, wide ? 0x20B : 0x10B, 2);
  Put(b, optional + directories - 4, 16, 4);
  const uint32_t data_size = 2 + 2 * length + 15 * 2;
  const uint32_t resources_size = static_cast<uint32_t>(kStrings + data_size);
  Put(b, optional + directories + 16, kResourcesRva, 4);
  Put(b, optional + directories + 20, resources_size, 4);
  const size_t section = optional + optional_size;
  const char name[8] = ".rsrc";
  for (int i = 0; i < 8; ++i) b[section + i] = static_cast<uint8_t>(name[i]);
  Put(b, section + 8, resources_size, 4);
  Put(b, section + 12, kResourcesRva, 4);
  Put(b, section + 16, resources_size, 4);
  Put(b, section + 20, kResources, 4);
  // Type 6 (strings) -> name `block_id` -> language 0x409 -> data.
  const uint32_t kDirectory = 0x80000000u;
  Put(b, kResources + 0x0E, 1, 2);
  Put(b, kResources + 0x10, 6, 4);
  Put(b, kResources + 0x14, kDirectory | 0x18, 4);
  Put(b, kResources + 0x18 + 0x0E, 1, 2);
  Put(b, kResources + 0x28, block_id, 4);
  Put(b, kResources + 0x2C, kDirectory | 0x30, 4);
  Put(b, kResources + 0x30 + 0x0E, 1, 2);
  Put(b, kResources + 0x40, 0x409, 4);
  Put(b, kResources + 0x44, 0x48, 4);
  Put(b, kResources + 0x48, kResourcesRva + kStrings, 4);
  Put(b, kResources + 0x4C, data_size, 4);
  Put(b, kResources + kStrings, length, 2);
  for (uint32_t i = 0; i < length; ++i) Put(b, kResources + kStrings + 2 + 2 * i, '~', 2);
  Put(b, kResources + kStrings + 2 + 2 * length + 15 * 2 - 2, 0, 2);
  return b;
}

TEST(DefaultCommandResource, FoundReadAndPatchedAsUtf16) {
  for (bool wide : {false, true}) {
    std::vector<uint8_t> program = Program(wide);
    const platform::DefaultCommandBlock block = platform::FindDefaultCommandBlock(program.data(), program.size());
    EXPECT_EQ(block.offset, static_cast<int64_t>(kResources + kStrings + 2)) << wide;
    EXPECT_EQ(block.char_bytes, 2u);
    EXPECT_EQ(platform::ReadDefaultCommandBlock(program.data(), program.size()), std::string(512, '~'));

    const std::vector<uint8_t> before = program;
    EXPECT_FALSE(platform::WriteDefaultCommandBlock(program.data(), program.size(), std::string(512, 'a')));
    EXPECT_EQ(program, before);
    ASSERT_TRUE(platform::WriteDefaultCommandBlock(program.data(), program.size(), ":97280 /l /j"));
    const std::string text = platform::ReadDefaultCommandBlock(program.data(), program.size());
    EXPECT_EQ(text, ":97280 /l /j" + std::string(500, '~'));
    EXPECT_EQ(DefaultCommandFromBlock(text), ":97280 /l /j");
    // Character, zero byte, character: the string resource's encoding.
    EXPECT_EQ(program[block.offset], ':');
    EXPECT_EQ(program[block.offset + 1], 0);
    EXPECT_EQ(program[block.offset + 2], '9');
    // Only the 1024 bytes of the characters changed.
    for (size_t i = 0; i < program.size(); ++i) {
      if (i < static_cast<size_t>(block.offset) || i >= static_cast<size_t>(block.offset) + 1024) {
        ASSERT_EQ(program[i], before[i]) << i;
      }
    }
  }
}

TEST(DefaultCommandResource, OtherStringsAreNotTheBlock) {
  const std::vector<uint8_t> other_block = Program(false, 3);
  EXPECT_EQ(platform::FindDefaultCommandBlock(other_block.data(), other_block.size()).offset, -1);
  const std::vector<uint8_t> shorter = Program(false, 2, 511);
  EXPECT_EQ(platform::FindDefaultCommandBlock(shorter.data(), shorter.size()).offset, -1);
  EXPECT_EQ(platform::ReadDefaultCommandBlock(shorter.data(), shorter.size()), "");
  std::vector<uint8_t> copy = shorter;
  EXPECT_FALSE(platform::WriteDefaultCommandBlock(copy.data(), copy.size(), "x"));
  EXPECT_EQ(copy, shorter);
}

// Every cut and every byte set to extremes: found at the same place or not at
// all, and never a read outside the file (the sanitizers watch).
TEST(DefaultCommandResource, DamagedFilesAreRefused) {
  const std::vector<uint8_t> program = Program(false);
  const int64_t good = platform::FindDefaultCommandBlock(program.data(), program.size()).offset;
  for (size_t size = 0; size <= program.size(); ++size) {
    std::vector<uint8_t> cut(program.begin(), program.begin() + size);
    const int64_t found = platform::FindDefaultCommandBlock(cut.data(), cut.size()).offset;
    EXPECT_TRUE(found == -1 || (found == good && size >= static_cast<size_t>(good) + 1024)) << size;
  }
  for (size_t at = 0; at < kResources + kStrings + 2; ++at) {
    for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
      std::vector<uint8_t> damaged = program;
      damaged[at] = value;
      const platform::DefaultCommandBlock block = platform::FindDefaultCommandBlock(damaged.data(), damaged.size());
      if (block.offset != -1) {
        ASSERT_LE(static_cast<size_t>(block.offset) + 1024, damaged.size()) << at;
        EXPECT_EQ(platform::ReadDefaultCommandBlock(damaged.data(), damaged.size()).size(), 512u);
      }
    }
  }
}

}  // namespace
}  // namespace vexil
