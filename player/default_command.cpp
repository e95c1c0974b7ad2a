#include "player/default_command.h"

#include <optional>

#include "platform/resources.h"
#include "player/command_text.h"

namespace vexil {

using platform::kDefaultCommandBlockSize;

// Its own section, kept by the linker, so that a tool can find the block and
// patch it in the file. Read through a volatile pointer so the compiler cannot
// fold the unpatched fill into the loader. (Windows programs carry the block
// as a string resource instead; this copy then only stands in for a program
// built without its resources, such as a test program.)
#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((section(".vexil_default_cmd"), used))
#endif
#if defined(__clang__)
// The address sanitizer must not pad it: the section is exactly the block.
__attribute__((no_sanitize("address")))
#endif
const std::array<char, kDefaultCommandBlockSize> g_default_command_block = platform::DefaultCommandFillBlock();

std::string DefaultCommandFromBlock(std::string_view block) {
  if (block.size() > kCommandTextLimit) block = block.substr(0, kCommandTextLimit);
  size_t end = block.find_first_of(std::string_view("~\0", 2));
  return std::string(block.substr(0, end));
}

std::string LoadDefaultCommand() {
  if (std::optional<std::string> text =
          platform::ProgramString(platform::kDefaultCommandResource, kDefaultCommandBlockSize))
    return DefaultCommandFromBlock(*text);
  const volatile char* bytes = g_default_command_block.data();
  std::string block(kDefaultCommandBlockSize, '\0');
  for (size_t i = 0; i < kDefaultCommandBlockSize; ++i) block[i] = bytes[i];
  return DefaultCommandFromBlock(block);
}

}  // namespace vexil
