// The vexil command-line tool: inspect, decode, snapshot, encode and embed movies.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/command_line.h"
#include "tools/commands.h"

namespace vexil::tools {
namespace {

int RunHelp(const Command& command, int argc, char** argv);

const Command kHelpCommand{"help", "[COMMAND]", "list the commands, or show one command's help",
                           "With a command's name, the same as vexil COMMAND --help.\n", RunHelp};

// In the order "vexil help" lists them: the commands a user needs first.
const Command* const kCommands[] = {&kInfoCommand,   &kDecodeCommand, &kFrameCommand,
                                    &kEncodeCommand, &kSynthCommand,  &kSampleCommand,
                                    &kEmbedCommand,  &kHelpCommand};

const Command* Find(const char* name) {
  for (const Command* c : kCommands) {
    if (std::strcmp(c->name, name) == 0) return c;
  }
  return nullptr;
}

void ListCommands(FILE* out) {
  std::fputs(
      "usage: vexil COMMAND [ARGUMENTS]\n"
      "       vexil -h | --help | -V | --version\n"
      "\n"
      "Inspect, decode, snapshot, encode and embed Vexil movies.\n"
      "\n"
      "commands:\n",
      out);
  for (const Command* c : kCommands) std::fprintf(out, "  %-8s %s\n", c->name, c->summary);
  std::fputs(
      "\n"
      "Every command takes -h/--help for its options. A file name of - means standard\n"
      "input or standard output. Exit status: 0 success, 1 failure, 2 wrong usage.\n",
      out);
}

int RunHelp(const Command& command, int argc, char** argv) {
  ArgumentReader args(command, argc, argv);
  std::vector<std::string> names;
  if (!args.ReadNames(&names)) return args.exit_code();
  if (names.empty()) {
    ListCommands(stdout);
    return kExitSuccess;
  }
  if (names.size() > 1) return args.UsageError("one command at a time");
  const Command* c = Find(names[0].c_str());
  if (!c) return args.UsageError("no command named '" + names[0] + "'");
  PrintHelp(*c, stdout);
  return kExitSuccess;
}

}  // namespace
}  // namespace vexil::tools

int main(int argc, char** argv) {
  using namespace vexil::tools;
  if (argc < 2) {
    ListCommands(stderr);
    return kExitUsage;
  }
  const std::string first = argv[1];
  if (first == "-h" || first == "--help") {
    ListCommands(stdout);
    return kExitSuccess;
  }
  if (first == "-V" || first == "--version") {
    std::printf("%s\n", VersionText());
    return kExitSuccess;
  }
  if (const Command* c = Find(argv[1])) return c->run(*c, argc - 2, argv + 2);
  std::fprintf(stderr, "vexil: unknown command '%s'\n", argv[1]);
  ListCommands(stderr);
  return kExitUsage;
}
