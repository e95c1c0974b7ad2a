// A program file's default command block (ELF section or PE string resource)
// looked up in raw bytes, as `vexil embed` and the player do with a program
// file they are given; then a command written into a copy and read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "player/default_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vexil;
  std::vector<uint8_t> program(data, data + size);  // exact size: overreads are caught
  const platform::DefaultCommandBlock block = platform::FindDefaultCommandBlock(program.data(), program.size());
  const std::string text = platform::ReadDefaultCommandBlock(program.data(), program.size());
  if (block.offset < 0) {
    if (!text.empty()) __builtin_trap();
    return 0;
  }
  const std::string command = "/L2 /Z " + std::to_string(size);
  if (platform::WriteDefaultCommandBlock(program.data(), program.size(), command)) {
    // A damaged file's block may overlap its own headers, so the write can
    // move or hide it; where it is still found, it holds the command.
    const platform::DefaultCommandBlock again = platform::FindDefaultCommandBlock(program.data(), program.size());
    const std::string back =
        DefaultCommandFromBlock(platform::ReadDefaultCommandBlock(program.data(), program.size()));
    if (again.offset == block.offset && again.char_bytes == block.char_bytes && back != command)
      __builtin_trap();
  }
  return 0;
}
