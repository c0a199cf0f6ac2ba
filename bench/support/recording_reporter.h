#ifndef TARN_BENCH_SUPPORT_RECORDING_REPORTER_H
#define TARN_BENCH_SUPPORT_RECORDING_REPORTER_H

// Prints results as Google Benchmark's console reporter does and keeps each
// benchmark's real and CPU time per iteration by name, so a program can report the
// ratio of two benchmarks measured in the same run.

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace Tarn::Bench {

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const std::string name = run.run_name.function_name +
                                         (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
                times[name] = run.GetAdjustedRealTime();
                cpuTimes[name] = run.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }

    // Real time per iteration, in each benchmark's own unit, by function
    // name and arguments ("BM_Frame/16").
    std::map<std::string, double> times;
    // CPU time of the benchmark's thread per iteration, same keys and units.
    std::map<std::string, double> cpuTimes;
};

}  // namespace Tarn::Bench

#endif
