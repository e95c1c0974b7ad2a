#include "tools/progress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vexil::tools {
namespace {

// m:ss, or h:mm:ss from an hour on.
std::string Duration(double seconds) {
  const auto s = static_cast<uint64_t>(seconds < 0 ? 0 : seconds + 0.5);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(s / 3600),
                  static_cast<unsigned>(s / 60 % 60), static_cast<unsigned>(s % 60));
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(s / 60),
                  static_cast<unsigned>(s % 60));
  }
  return text;
}

constexpr auto kInterval = std::chrono::milliseconds(200);

}  // namespace

std::string FormatProgress(const std::string& what, uint64_t done, uint64_t total, double seconds,
                           bool finished) {
  std::string line = what + ": frame " + std::to_string(done);
  if (total) {
    line += " of " + std::to_string(total) + " (" + std::to_string(done * 100 / total) + "%)";
  }
  if (finished) return line + ", " + Duration(seconds) + " taken";
  if (total && done && done < total)
    line += ", " + Duration(seconds * static_cast<double>(total - done) / done) + " left";
  return line;
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr));
#else
  return isatty(STDERR_FILENO);
#endif
}

Progress::Progress(std::string what, uint64_t total, bool quiet)
    : what_(std::move(what)), total_(total), enabled_(!quiet && StandardErrorIsTerminal()) {}

void Progress::Update(uint64_t done) {
  done_ = done;
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (shown_ && now - last_ < kInterval) return;
  last_ = now;
  Show(false);
}

void Progress::Finish() {
  if (!enabled_ || !shown_) return;
  // Work that stopped early keeps its count of the total.
  Show(total_ == 0 || done_ >= total_);
  std::fputc('\n', stderr);
  enabled_ = false;
}

void Progress::Show(bool finished) {
  if (total_ && done_ > total_) total_ = done_;  // the total was an estimate
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const std::string line = FormatProgress(what_, done_, total_, seconds, finished);
  std::fprintf(stderr, "\r%s%*s", line.c_str(),
               static_cast<int>(width_ > line.size() ? width_ - line.size() : 0), "");
  std::fflush(stderr);
  width_ = line.size();
  shown_ = true;
}

}  // namespace vexil::tools
