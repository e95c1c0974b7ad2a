// The sub-commands of the vexil tool. Each command's file registers itself:
//   static const vexil::tools::CommandRegistration kInfo{{"info", "MOVIE ...", RunInfo}};
#pragma once

#include <vector>

namespace vexil::tools {

struct Command {
  const char* name;
  const char* usage;  // arguments and a short description, shown by "vexil help"
  int (*run)(int argc, char** argv);  // argv holds the arguments after the command name
};

std::vector<Command>& Commands();

struct CommandRegistration {
  explicit CommandRegistration(const Command& command) { Commands().push_back(command); }
};

}  // namespace vexil::tools
