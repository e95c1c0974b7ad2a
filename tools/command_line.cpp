#include "tools/command_line.h"

#include <vexil/version.h>

#include <charconv>
#include <cstring>

namespace vexil::tools {

const char* VersionText() {
  return "vexil " VEXIL_VERSION_STRING;
}

bool IsStandardStream(const std::string& name) {
  return name == "-";
}

std::string InputName(const std::string& name) {
  return IsStandardStream(name) ? "standard input" : name;
}

std::string OutputName(const std::string& name) {
  return IsStandardStream(name) ? "standard output" : name;
}

int FileFailure(const std::string& name, const std::string& text) {
  std::fprintf(stderr, "vexil: %s: %s\n", name.c_str(), text.c_str());
  return kExitFailure;
}

int CommandFailure(const Command& command, const std::string& text) {
  std::fprintf(stderr, "vexil %s: %s\n", command.name, text.c_str());
  return kExitFailure;
}

void PrintUsage(const Command& command, FILE* out) {
  std::fprintf(out, "usage: vexil %s %s\n", command.name, command.synopsis);
}

void PrintHelp(const Command& command, FILE* out) {
  PrintUsage(command, out);
  std::fprintf(out, "\n%s\n\n%s", command.summary, command.details);
}

bool ParseNumber(const std::string& text, uint32_t min, uint32_t max, uint32_t* out) {
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || p != end || value < min || value > max) return false;
  *out = value;
  return true;
}

ArgumentReader::ArgumentReader(const Command& command, int argc, char** argv)
    : command_(command), argc_(argc), argv_(argv) {}

bool ArgumentReader::Next() {
  if (ended_ || ++at_ >= argc_) return false;
  if (options_over_) return true;
  const char* arg = argv_[at_];
  if (std::strcmp(arg, "--") == 0) {
    options_over_ = true;
    return Next();
  }
  if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
    PrintHelp(command_, stdout);
    ended_ = true;
    return false;
  }
  if (std::strcmp(arg, "-V") == 0 || std::strcmp(arg, "--version") == 0) {
    std::printf("%s\n", VersionText());
    ended_ = true;
    return false;
  }
  return true;
}

bool ArgumentReader::Flag(const char* option, bool* on) {
  if (options_over_ || std::strcmp(argv_[at_], option) != 0) return false;
  *on = true;
  return true;
}

bool ArgumentReader::Value(const char* option, std::string* value, const char* what) {
  if (options_over_ || std::strcmp(argv_[at_], option) != 0) return false;
  if (at_ + 1 >= argc_) {
    UsageError(std::string(option) + " needs " + what);
    return true;
  }
  *value = argv_[++at_];
  return true;
}

bool ArgumentReader::Number(const char* option, uint32_t min, uint32_t max, uint32_t* value) {
  std::string text;
  if (!Value(option, &text, "a whole number")) return false;
  if (!ended_ && !ParseNumber(text, min, max, value)) {
    UsageError(std::string(option) + " needs a whole number from " + std::to_string(min) + " to " +
               std::to_string(max) + ", not '" + text + "'");
  }
  return true;
}

bool ArgumentReader::Positional(std::vector<std::string>* list) {
  const char* arg = argv_[at_];
  if (!options_over_ && arg[0] == '-' && arg[1] != '\0') return false;
  list->push_back(arg);
  return true;
}

bool ArgumentReader::ReadNames(std::vector<std::string>* names) {
  while (Next()) {
    if (!Positional(names)) Unknown();
  }
  return !ended_;
}

void ArgumentReader::Unknown() {
  UsageError(std::string("unknown option ") + argv_[at_]);
}

int ArgumentReader::UsageError(const std::string& message) {
  std::fprintf(stderr, "vexil %s: %s\n", command_.name, message.c_str());
  PrintUsage(command_, stderr);
  std::fprintf(stderr, "(vexil %s --help tells more)\n", command_.name);
  ended_ = true;
  exit_code_ = kExitUsage;
  return kExitUsage;
}

std::string StandardStreamClash(const std::vector<std::pair<std::string, std::string>>& outputs,
                                const char* stream) {
  const std::string* first = nullptr;
  for (const auto& [option, name] : outputs) {
    if (!IsStandardStream(name)) continue;
    if (first) return *first + " and " + option + " cannot both use " + stream;
    first = &option;
  }
  return "";
}

}  // namespace vexil::tools
