// The benchmark driver. Every benchmark is named "CASE/IMPL": IMPL is "xkit" for our code and
// the peer's name otherwise ("gmp", "openssl", "libcurl"...). After the usual console output
// a table gives, for every CASE, our time over each peer's time (below 1 means we are faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations == 0) continue;
      const bool isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !isMedian) continue;
      // The registered name: settings such as UseRealTime or a fixed iteration count add
      // suffixes to the full run name that are not part of CASE/IMPL.
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      const std::size_t slash = name.rfind('/');
      if (slash == std::string::npos) continue;
      Sample& sample = cases_[name.substr(0, slash)][name.substr(slash + 1)];
      if (isMedian || !sample.fromMedian) {
        sample.seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
        sample.fromMedian = isMedian;
      }
    }
  }

  void PrintRatios() const {
    bool header = false;
    for (const auto& [caseName, impls] : cases_) {
      const auto ours = impls.find("xkit");
      if (ours == impls.end()) continue;
      for (const auto& [impl, sample] : impls) {
        if (impl == "xkit" || sample.seconds <= 0) continue;
        if (!header) {
          std::printf("\n%-48s %-14s %14s %14s %8s\n", "case", "peer", "xkit", "peer", "ratio");
          header = true;
        }
        std::printf("%-48s %-14s %14s %14s %8.2f\n", caseName.c_str(), impl.c_str(),
                    Format(ours->second.seconds).c_str(), Format(sample.seconds).c_str(),
                    ours->second.seconds / sample.seconds);
      }
    }
    if (header) std::printf("ratio = xkit time / peer time (below 1: xkit is faster)\n");
  }

private:
  struct Sample {
    double seconds = 0;
    bool fromMedian = false;
  };

  static std::string Format(double seconds) {
    char text[32];
    if (seconds >= 1e-3) {
      std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    } else if (seconds >= 1e-6) {
      std::snprintf(text, sizeof text, "%.3f us", seconds * 1e6);
    } else {
      std::snprintf(text, sizeof text, "%.1f ns", seconds * 1e9);
    }
    return text;
  }

  std::map<std::string, std::map<std::string, Sample>> cases_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
