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

}  // namespace

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
