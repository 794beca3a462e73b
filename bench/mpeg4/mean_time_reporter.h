// Google Benchmark's console table, keeping the mean real time per iteration
// of every benchmark by its name, for the comparisons to print ratios from.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace tlx::mpeg4::bench {

class MeanTimeReporter : public benchmark::ConsoleReporter {
 public:
  MeanTimeReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
        seconds_[run.run_name.function_name] = run.real_accumulated_time / double(run.iterations);
    }
  }
  // Seconds per iteration; 0 for a benchmark that did not run.
  double Seconds(const std::string& name) const {
    const auto found = seconds_.find(name);
    return found == seconds_.end() ? 0 : found->second;
  }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace tlx::mpeg4::bench
