// The progress line of long work: its wording, and that it shows only on a
// terminal, never in a pipe or a file, nor with --quiet.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#endif

#include "tool_runner.h"
#include "tools/progress.h"

namespace vexil {
namespace {

TEST(ProgressLine, Wording) {
  const struct {
    uint64_t done, total;
    double seconds;
    bool finished;
    const char* line;
  } cases[] = {
      {0, 200, 0.0, false, "decode: frame 0 of 200 (0%)"},
      {50, 200, 5.0, false, "decode: frame 50 of 200 (25%), 0:15 left"},
      {120, 200, 30.0, false, "decode: frame 120 of 200 (60%), 0:20 left"},
      {1, 1000, 10.0, false, "decode: frame 1 of 1000 (0%), 2:46:30 left"},
      {200, 200, 61.4, true, "decode: frame 200 of 200 (100%), 1:01 taken"},
      {120, 0, 30.0, false, "decode: frame 120"},
      {120, 0, 30.0, true, "decode: frame 120, 0:30 taken"},
      {7, 4, 1.0, false, "decode: frame 7 of 4 (175%)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tools::FormatProgress("decode", c.done, c.total, c.seconds, c.finished), c.line);
  }
}

#ifndef _WIN32
// Runs the tool with its standard error on a pseudo-terminal (or on a pipe)
// and returns what it wrote there.
std::string StandardErrorOf(const std::vector<std::string>& arguments, bool terminal) {
  int reader = -1, writer = -1;
  if (terminal) {
    reader = posix_openpt(O_RDWR | O_NOCTTY);
    if (reader < 0 || grantpt(reader) != 0 || unlockpt(reader) != 0) return "no pseudo-terminal";
    writer = open(ptsname(reader), O_RDWR | O_NOCTTY);
  } else {
    int ends[2];
    if (pipe(ends) != 0) return "no pipe";
    reader = ends[0];
    writer = ends[1];
  }
  std::vector<const char*> argv{test::VexilTool().c_str()};
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(writer, STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execv(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  close(writer);
  std::string text;
  char buffer[4096];
  for (;;) {
    // A pseudo-terminal reports an error, not an end, once the child is gone.
    pollfd p{reader, POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0) break;
    const ssize_t n = read(reader, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(reader);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) text += "[failed]";
  return text;
}

TEST(ProgressLine, OnlyOnATerminal) {
  test::TempFile y4m("demo.y4m"), movie("demo.vxl"), decoded("decoded.y4m");
  const std::vector<std::string> synth{"synth", "demo",  "--seconds", "2",     "--size",
                                       "32x16", "--fps", "10",        "--y4m", y4m.path()};
  const std::vector<std::string> encode{"encode", y4m.path(), "-o", movie.path()};
  const std::vector<std::string> decode{"decode", movie.path(), "--y4m", decoded.path()};
  for (const auto& arguments : {synth, encode, decode}) {
    SCOPED_TRACE(arguments[0]);
    const std::string shown = StandardErrorOf(arguments, true);
    // The line starts with a carriage return and is rewritten in place (the
    // rest of a longer line blanked); the terminal turns the final line end
    // into \r\n. The line shown last has the whole count and the time taken.
    ASSERT_EQ(shown.find('\r'), 0u) << shown;
    const std::regex last("\r" + arguments[0] +
                          ": frame 20 of 20 \\(100%\\), [0-9]+:[0-9]{2} taken *\r\n$");
    EXPECT_TRUE(std::regex_search(shown, last)) << shown;
    EXPECT_EQ(StandardErrorOf(arguments, false), "");
    std::vector<std::string> quiet = arguments;
    quiet.push_back("--quiet");
    EXPECT_EQ(StandardErrorOf(quiet, true), "");
  }
}
#endif

}  // namespace
}  // namespace vexil
