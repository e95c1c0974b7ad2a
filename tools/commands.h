// The sub-commands of the vexil tool. Each command's file defines its
// `Command`; vexil.cpp lists them in the order "vexil help" shows them.
#pragma once

namespace vexil::tools {

struct Command {
  const char* name;
  // The arguments after "vexil NAME", for usage lines; continuation lines
  // start with "\n" and are indented to line up.
  const char* synopsis;
  const char* summary;  // one line for "vexil help"
  // The rest of "--help": what the command does, its options, notes.
  const char* details;
  int (*run)(const Command& command, int argc, char** argv);  // argv: after the name
};

extern const Command kInfoCommand;
extern const Command kDecodeCommand;
extern const Command kFrameCommand;
extern const Command kEncodeCommand;
extern const Command kSynthCommand;
extern const Command kSampleCommand;
extern const Command kEmbedCommand;

}  // namespace vexil::tools
