// The console output of a benchmark program that measures our code beside
// another's, followed by ratio lines: for a pair of benchmarks, the median
// over the repetitions of the reference's time divided by ours, repetition i
// of one with repetition i of the other (measured in the same round with
// --benchmark_enable_random_interleaving), and the range of those ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace vexil {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}  // no colour codes in saved output

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      // The name as registered, with its arguments but without the suffixes
      // of the measuring options (real_time).
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      cpu_[name].push_back(run.GetAdjustedCPUTime());
      wall_[name].push_back(run.GetAdjustedRealTime());
    }
  }

  // Prints "label: Nx (median of R repetitions, low-highx)" for the reference
  // and our benchmark, on CPU time (other programs on a shared machine do not
  // count) or, for work spread over threads, wall time. Nothing when either
  // has not run.
  enum Clock { kCpu, kWall };
  void PrintRatio(const std::string& label, Clock clock, const std::string& reference,
                  const std::string& ours) const {
    const Times& times = clock == kCpu ? cpu_ : wall_;
    const auto r = times.find(reference);
    const auto o = times.find(ours);
    if (r == times.end() || o == times.end()) return;
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(r->second.size(), o->second.size()); ++i)
      ratios.push_back(r->second[i] / o->second[i]);
    if (ratios.empty()) return;
    std::sort(ratios.begin(), ratios.end());
    std::printf("%s: %.2fx (median of %zu repetitions, %.2f-%.2fx)\n", label.c_str(),
                ratios[ratios.size() / 2], ratios.size(), ratios.front(), ratios.back());
  }

 private:
  using Times = std::map<std::string, std::vector<double>>;
  Times cpu_, wall_;
};

}  // namespace vexil
