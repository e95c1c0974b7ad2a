// The default command: the command text the program carries in its default
// command block (platform/command_block.h), which `vexil embed` patches.
#pragma once

#include <string>
#include <string_view>

#include "platform/command_block.h"

namespace vexil {

// The default command of this program file.
std::string LoadDefaultCommand();

// The command held by a block as the program loads it: at most 511
// characters, cut at the first `~` (and at a zero byte).
std::string DefaultCommandFromBlock(std::string_view block);

}  // namespace vexil
