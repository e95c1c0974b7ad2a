// Running the built vexil tool from the tool tests: exit code, standard
// output and standard error, optionally fed a file on standard input and run
// in a folder of its own.
#pragma once

#include <string>
#include <vector>

#include "test_util.h"

namespace vexil::test {

inline const std::string& VexilTool() {
  static const std::string tool = BuiltProgram("tools/vexil");
  return tool;
}

struct ToolRun {
  int exit_code = -1;
  std::string out;  // standard output, as bytes
  std::string err;  // standard error
};

inline ToolRun RunVexil(const std::vector<std::string>& arguments, const std::string& input = "",
                        const std::string& folder = "") {
  TempFile out("stdout.bin");
  const ProgramOutcome o = RunProgram(VexilTool(), arguments, {input, out.path(), folder});
  const std::vector<uint8_t> bytes = ReadFileBytes(out.path());
  return {o.exit_code, std::string(bytes.begin(), bytes.end()), o.error_output};
}

// Text a program wrote, with Windows line ends made "\n".
inline std::string Unix(std::string text) {
  std::erase(text, '\r');
  return text;
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace vexil::test
