// The benchmark program: runs every registered benchmark, then prints the ratios that pairs of
// benchmarks register (a library path against the plain loop doing the same work).
#include "bench_ratio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct Ratio {
    std::string label;
    std::string measured;
    std::string baseline;
    double goal;
};

std::vector<Ratio>& Ratios() {
    static std::vector<Ratio> ratios;
    return ratios;
}

// Keeps the CPU time per iteration of every run (the machine is shared; wall time says less)
// while the console shows the runs as usual.
class Collector : public benchmark::ConsoleReporter {
  public:
    Collector() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            // With repetitions the median stands for the benchmark; else its one run does.
            // Named by function and arguments, without the repetition count.
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name += "/" + run.run_name.args;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[name] = run.GetAdjustedCPUTime();
            else if (run.run_type == Run::RT_Iteration)
                times[name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Time(const std::string& name) const {
        auto m = medians.find(name);
        if (m != medians.end())
            return m->second;
        auto t = times.find(name);
        return t != times.end() ? t->second : 0;
    }

  private:
    std::map<std::string, double> times;
    std::map<std::string, double> medians;
};

} // namespace

void RegisterRatio(const std::string& label, const std::string& measured, const std::string& baseline,
                   double goal) {
    Ratios().push_back({label, measured, baseline, goal});
}

int main(int argc, char** argv) {
    // Repetitions of the benchmarks take turns, so that a change of the machine's load in between
    // weighs on both sides of a ratio. Given first, so the command line can still turn it off.
    std::vector<char*> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    for (const Ratio& r : Ratios()) {
        double measured = collector.Time(r.measured);
        double baseline = collector.Time(r.baseline);
        if (measured <= 0 || baseline <= 0)
            continue; // filtered out
        double ratio = measured / baseline;
        std::printf("RATIO %s: %.2f (median CPU time %s / %s; goal at most %.2f)%s\n", r.label.c_str(), ratio,
                    r.measured.c_str(), r.baseline.c_str(), r.goal, ratio > r.goal ? " ABOVE GOAL" : "");
    }
    return 0;
}
