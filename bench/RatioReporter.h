#pragma once
// A console reporter that also remembers each benchmark's time per iteration,
// so a benchmark program can print "ours / reference" ratios at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orv::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    // Prints "label: ours X, reference Y, ratio ours/reference Z" for each
    // pair of benchmark function names; lower ratios mean we are faster.
    void printRatios(const std::vector<std::pair<std::string, std::string>>& pairs) const
    {
        std::printf("\n%-40s %14s %14s %10s\n", "comparison", "ours", "reference", "ours/ref");
        for (const auto& [ours, reference] : pairs) {
            auto a = times_.find(ours);
            auto b = times_.find(reference);
            if (a == times_.end() || b == times_.end() || b->second == 0)
                continue;
            std::printf("%-40s %14.0f %14.0f %10.2f\n", ours.c_str(), a->second, b->second,
                        a->second / b->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

// Runs the benchmarks the command line selects (all by default), then prints
// the ratio of each pair of benchmark function names, ours first.
inline void runPrintingRatios(int& argc, char** argv, const std::vector<std::pair<std::string, std::string>>& pairs)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios(pairs);
}

}  // namespace orv::bench
