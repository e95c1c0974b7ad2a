// The progress line of long work (decode, encode, synth): one line on
// standard error, rewritten in place, with the total and the time left. Only
// on a terminal: a pipe or a file gets none, nor does --quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vexil::tools {

// "decode: frame 120 of 200 (60%), 0:05 left"; without a total (0) just
// "encode: frame 120"; `finished` gives the time taken instead of the time left.
std::string FormatProgress(const std::string& what, uint64_t done, uint64_t total, double seconds,
                           bool finished);

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

class Progress {
 public:
  Progress(std::string what, uint64_t total, bool quiet);
  ~Progress() { Finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void set_total(uint64_t total) { total_ = total; }
  // Shows `done` steps; rewrites the line at most a few times a second.
  void Update(uint64_t done);
  // Shows the last count (with the time taken when all is done) and ends
  // the line. Nothing when nothing was shown.
  void Finish();

 private:
  void Show(bool finished);

  using Clock = std::chrono::steady_clock;
  std::string what_;
  uint64_t total_;
  uint64_t done_ = 0;
  bool enabled_;
  bool shown_ = false;
  size_t width_ = 0;  // of the line shown last, to blank what a shorter line leaves
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_{};
};

}  // namespace vexil::tools
