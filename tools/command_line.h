// What every vexil command shares on its command line: the exit codes, the
// form of its messages, -h/--help and -V/--version, and reading its options.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tools/commands.h"

namespace vexil::tools {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the work failed (a file, a movie, writing)
constexpr int kExitUsage = 2;    // the command line was wrong; nothing was done

// "vexil 1.9": the project's version.
const char* VersionText();

// "-" names standard input or output.
bool IsStandardStream(const std::string& name);
// How messages name a file: "standard input" / "standard output" for "-".
std::string InputName(const std::string& name);
std::string OutputName(const std::string& name);

// "vexil: NAME: text" on standard error; returns kExitFailure.
int FileFailure(const std::string& name, const std::string& text);
// "vexil COMMAND: text" on standard error; returns kExitFailure.
int CommandFailure(const Command& command, const std::string& text);

// "usage: vexil NAME SYNOPSIS", then every further line.
void PrintUsage(const Command& command, FILE* out);
// The whole help of a command: usage and details.
void PrintHelp(const Command& command, FILE* out);

// A whole number from min to max, written in decimal and nothing else.
bool ParseNumber(const std::string& text, uint32_t min, uint32_t max, uint32_t* out);

// Reads one command's arguments in order. Options and other arguments may be
// mixed; "--" ends the options; "-" alone is an argument (a standard stream).
// -h/--help and -V/--version end the reading, with the help or the version
// on standard output. Typical use:
//
//   ArgumentReader args(command, argc, argv);
//   while (args.Next()) {
//     if (args.Value("-o", &out) || args.Flag("--quiet", &quiet) || args.Positional(&names))
//       continue;
//     args.Unknown();
//   }
//   if (args.ended()) return args.exit_code();
class ArgumentReader {
 public:
  ArgumentReader(const Command& command, int argc, char** argv);

  // Steps to the next argument. False at the end of the arguments, and once
  // the command should end (help or version shown, or a usage error).
  bool Next();

  // Whether the current argument is this option; sets *on.
  bool Flag(const char* option, bool* on);
  // Whether the current argument is this option; its value is the next
  // argument (a missing value is a usage error that calls it `what`).
  bool Value(const char* option, std::string* value, const char* what = "a value");
  // As Value, for a file name ("-": a standard stream).
  bool File(const char* option, std::string* name) { return Value(option, name, "a file name"); }
  // As Value, for a whole number from min to max.
  bool Number(const char* option, uint32_t min, uint32_t max, uint32_t* value);
  // Whether the current argument is not an option; appends it.
  bool Positional(std::vector<std::string>* list);
  // The current argument is an option this command does not know.
  void Unknown();
  // For commands without options of their own: reads every argument as a
  // name. False when the command ends here (return exit_code()).
  bool ReadNames(std::vector<std::string>* names);

  // Prints "vexil NAME: message" and the usage on standard error; ends the
  // reading with kExitUsage, which it returns.
  int UsageError(const std::string& message);

  // Help or version shown, or a usage error: return exit_code().
  bool ended() const { return ended_; }
  int exit_code() const { return exit_code_; }

 private:
  const Command& command_;
  int argc_;
  char** argv_;
  int at_ = -1;
  bool options_over_ = false;  // after "--"
  bool ended_ = false;
  int exit_code_ = kExitSuccess;
};

// Usage errors for outputs: at most one of the named outputs may be "-".
// `outputs` pairs an option (or "output") with its file name; returns the
// message, or "" when the outputs are fine.
std::string StandardStreamClash(const std::vector<std::pair<std::string, std::string>>& outputs,
                                const char* stream = "standard output");

}  // namespace vexil::tools
