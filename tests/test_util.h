// Helpers shared by the test programs.
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <sys/wait.h>
#endif

namespace vexil::test {

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A file in a fresh temporary folder, removed with the object. Paths use the
// system's own separator: on Windows a '/' in a name would read as a switch.
class TempFile {
 public:
  explicit TempFile(const std::string& name = "movie.vxl") {
    namespace fs = std::filesystem;
    static std::atomic<uint32_t> serial{0};
    const fs::path base = fs::temp_directory_path();
    const uint64_t stamp =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // create_directory is false when the folder exists: another test program
    // may be using the same name at the same time.
    for (uint32_t attempt = 0;; ++attempt) {
      const uint64_t unique = stamp * 31 + (serial++) * 7919 + attempt;
      dir_ = base / ("vexil-test-" + std::to_string(unique % 100000000000ull));
      std::error_code ec;
      if (fs::create_directory(dir_, ec) || attempt > 1000) break;
    }
    path_ = (dir_ / name).string();
  }
  explicit TempFile(const std::vector<uint8_t>& bytes, const std::string& name = "movie.vxl")
      : TempFile(name) {
    Write(bytes);
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(const std::vector<uint8_t>& bytes) const { WriteFileBytes(path_, bytes); }
  const std::string& path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }
  std::string Sibling(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string VectorsDir() {
  return VEXIL_VECTORS_DIR;
}

// A program of this build, e.g. BuiltProgram("tools/vexil").
inline std::string BuiltProgram(const std::string& relative) {
#ifdef _WIN32
  std::string path = std::string(VEXIL_BINARY_DIR) + "/" + relative + ".exe";
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
#else
  return std::string(VEXIL_BINARY_DIR) + "/" + relative;
#endif
}

// Arguments written as one line; none of them may contain a blank.
inline std::vector<std::string> SplitAtBlanks(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while ((at = line.find_first_not_of(' ', at)) != std::string::npos) {
    const size_t end = line.find(' ', at);
    words.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end;
  }
  return words;
}

struct ProgramOutcome {
  int exit_code = -1;        // -1 when the program could not be run or did not end normally
  std::string error_output;  // standard error, line ends as "\n"
};

// Where a program started by RunProgram reads and writes; empty: the
// defaults (standard input inherited, standard output discarded, this
// process's working folder).
struct ProgramStreams {
  std::string input;   // a file for its standard input
  std::string output;  // a file for its standard output
  std::string folder;  // its working folder
};

// Runs a program with the arguments, its standard output discarded unless
// `streams` names a file for it.
inline ProgramOutcome RunProgram(const std::string& program,
                                 const std::vector<std::string>& arguments,
                                 const ProgramStreams& streams = {}) {
  ProgramOutcome outcome;
#ifdef _WIN32
  // The child's run-time splits its command line back into arguments by
  // these rules (and VexilPlay.exe reads the line itself).
  auto quote = [](const std::string& a) {
    if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : a) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      q.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      backslashes = 0;
      q += c;
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
  };
  // A path without a drive (this build's folders under Wine) names a file on the
  // current folder's drive: fix the drive before the child's folder is entered.
  const std::string started = std::filesystem::absolute(program).string();
  std::vector<std::string> quoted{quote(started)};
  for (const std::string& a : arguments) quoted.push_back(quote(a));
  std::vector<const char*> argv;
  for (const std::string& q : quoted) argv.push_back(q.c_str());
  argv.push_back(nullptr);
  // The child inherits the run-time's descriptors 1 and 2: point them at
  // nothing and at a file while it runs.
  TempFile errors("stderr.txt");
  std::fflush(stdout);
  std::fflush(stderr);
  const int saved_out = _dup(1), saved_err = _dup(2);
  // Standard input is switched only when a file is given.
  const bool feed = !streams.input.empty();
  const int saved_in = feed ? _dup(0) : -1;
  const int in_fd = feed ? _open(streams.input.c_str(), _O_RDONLY | _O_BINARY) : -1;
  const int out_fd = streams.output.empty()
                         ? _open("NUL", _O_WRONLY)
                         : _open(streams.output.c_str(),
                                 _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  const int err_fd =
      _open(errors.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  const std::filesystem::path here = std::filesystem::current_path();
  if ((!feed || in_fd >= 0) && out_fd >= 0 && err_fd >= 0) {
    if (!streams.folder.empty()) std::filesystem::current_path(streams.folder);
    if (feed) _dup2(in_fd, 0);
    _dup2(out_fd, 1);
    _dup2(err_fd, 2);
    errno = 0;
    const intptr_t code = _spawnv(_P_WAIT, started.c_str(), argv.data());
    // -1 is a start that failed (errno says why) or a program's own exit code.
    if (code == -1 && errno != 0)
      outcome.error_output = "(not started: " + std::string(std::strerror(errno)) + ")\n";
    if (feed) _dup2(saved_in, 0);
    _dup2(saved_out, 1);
    _dup2(saved_err, 2);
    std::filesystem::current_path(here);
    outcome.exit_code = static_cast<int>(code);
  }
  for (int fd : {in_fd, out_fd, err_fd, saved_in, saved_out, saved_err})
    if (fd >= 0) _close(fd);
  const std::vector<uint8_t> text = ReadFileBytes(errors.path());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    outcome.error_output += static_cast<char>(text[i]);
  }
#else
  auto quote = [](const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  };
  std::string command = streams.folder.empty() ? "" : "cd " + quote(streams.folder) + " && ";
  command += quote(program);
  for (const std::string& a : arguments) command += ' ' + quote(a);
  if (!streams.input.empty()) command += " <" + quote(streams.input);
  command +=
      " 2>&1 >" + (streams.output.empty() ? std::string("/dev/null") : quote(streams.output));
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.error_output.append(buffer, n);
  const int status = pclose(pipe);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  return outcome;
}

// Sets an environment variable for the object's lifetime (for the programs a
// test starts); the variable is removed afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::string& name, const std::string& value) : name_(name) {
#ifdef _WIN32
    _putenv((name + "=" + value).c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
  }
  ~ScopedEnvironment() {
#ifdef _WIN32
    _putenv((name_ + "=").c_str());
#else
    unsetenv(name_.c_str());
#endif
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
};

}  // namespace vexil::test
