#include "player/command_line.h"

#include <vexil/version.h>

namespace vexil {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool AllBlank(const std::string& text) {
  for (char c : text)
    if (!IsBlank(c)) return false;
  return true;
}

bool NamesMovieFile(const std::string& argument, bool (*file_exists)(const char*)) {
  if (argument.empty()) return false;
  if (file_exists(argument.c_str()) || file_exists((argument + ".vxl").c_str())) return true;
  size_t bar = argument.find('|');
  return bar != std::string::npos && bar > 0 && file_exists(argument.substr(0, bar).c_str());
}

}  // namespace

std::string_view SkipProgramName(std::string_view line) {
  size_t pos = 0;
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    pos = close == std::string_view::npos ? line.size() : close + 1;
  } else {
    while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  return line.substr(pos);
}

RawCommandLine RebuildCommandLine(const std::vector<std::string>& arguments,
                                  bool (*file_exists)(const char* name)) {
  RawCommandLine raw;
  bool names_only = false;
  for (const std::string& argument : arguments) {
    if (!names_only && argument == "--") {
      names_only = true;
      continue;
    }
    // As a blank command text brings the help box, so does a blank argument,
    // rather than a movie with an empty name.
    if (AllBlank(argument)) continue;
    if (names_only || NamesMovieFile(argument, file_exists)) {
      raw.movie_names.push_back(argument);
      continue;
    }
    bool quote = false;
    for (char c : argument) quote = quote || IsBlank(c);
    if (!raw.text.empty()) raw.text += ' ';
    raw.text += quote ? '"' + argument + '"' : argument;
  }
  return raw;
}

ProgramRequest FindProgramRequest(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument == "-h" || argument == "--help") return ProgramRequest::kHelp;
    if (argument == "-V" || argument == "--version") return ProgramRequest::kVersion;
  }
  return ProgramRequest::kPlay;
}

std::string VersionText() {
  return std::string("vexilplay ") + VEXIL_VERSION_STRING + "\n";
}

}  // namespace vexil
