// The vexil command-line tool: inspect, decode, snapshot, encode and embed movies.
#include <cstdio>
#include <string>

#include "tools/commands.h"

namespace vexil::tools {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

}  // namespace vexil::tools

namespace {

void Usage(FILE* out) {
  std::fputs("usage: vexil COMMAND ARGUMENTS\n", out);
  for (const vexil::tools::Command& c : vexil::tools::Commands())
    std::fprintf(out, "  vexil %s %s\n", c.name, c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    Usage(stdout);
    return 0;
  }
  for (const vexil::tools::Command& c : vexil::tools::Commands()) {
    if (command == c.name) return c.run(argc - 2, argv + 2);
  }
  std::fprintf(stderr, "vexil: unknown command '%s'\n", command.c_str());
  Usage(stderr);
  return 2;
}
