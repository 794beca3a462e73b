// Our colour converters against libswscale, single threaded, on the same
// planes. Prints Google Benchmark's table, microseconds per picture
// for each side, and one line per case:
//   ratio colour/<case> <libswscale time / our time>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "conversion_cases.h"
#include "mpeg4/mean_time_reporter.h"

int main(int argc, char** argv) {
  std::vector<tlx::bench::ConversionCase> cases;
  tlx::bench::AddMpeg4ConversionCases(cases);
  if (cases.empty()) std::fprintf(stderr, "colour_convert_bench: no MPEG-4 cases (build the target bench_inputs)\n");
  tlx::bench::AddAvcConversionCases(cases);
  for (const tlx::bench::ConversionCase& c : cases) {
    const tlx::bench::ConversionCase* p = &c;
    benchmark::RegisterBenchmark(("ours/" + c.name).c_str(), [p](benchmark::State& state) {
      for (auto _ : state) p->ours();
    })->Unit(benchmark::kMicrosecond)->UseRealTime();
    benchmark::RegisterBenchmark(("libswscale/" + c.name).c_str(), [p](benchmark::State& state) {
      for (auto _ : state) p->reference();
    })->Unit(benchmark::kMicrosecond)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  tlx::mpeg4::bench::MeanTimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::vector<std::string> ratios;
  for (const tlx::bench::ConversionCase& c : cases) {
    const double ours = reporter.Seconds("ours/" + c.name) * 1e6;
    const double reference = reporter.Seconds("libswscale/" + c.name) * 1e6;
    if (ours <= 0 || reference <= 0) continue;
    std::printf("%s: ours %.1f µs/picture, libswscale %.1f µs/picture, ratio %.3f\n", c.name.c_str(), ours,
                reference, reference / ours);
    char line[256];
    std::snprintf(line, sizeof line, "ratio colour/%s %.3f", c.name.c_str(), reference / ours);
    ratios.push_back(line);
  }
  for (const std::string& line : ratios) std::printf("%s\n", line.c_str());
  return 0;
}
