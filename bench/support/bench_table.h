// The summary every benchmark program ends with: one row per path, its
// cost beside its baseline's, both measured in the same run, the ratio and
// the aim. tools/bench gathers the rows of every program into one table.
//
// Measuring on a busy machine: each benchmark runs as several short
// repetitions, interleaved at random with the other benchmarks of the
// program, and a benchmark's cost is that of its fastest repetition (CPU
// time per iteration). Interference only ever adds time, so the fastest
// repetition is the closest to the path's own cost, and a path and its
// baseline are measured over the same stretch of the machine's life.
//
// A row is printed as one tab-separated line,
//   @row <path> <time> <baseline> <ratio> <aim> <ok|MISS>
// and the program's exit status is 0 when it could measure every row
// (whether or not the aims were met), 1 when a set-up check failed.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace qem::bench {

// operator new calls of this process so far (the library replaces it).
long allocations();

// What one benchmark measured: its fastest repetition.
struct Measure {
    double ns = 0;            // CPU time per unit (per iteration, or per counters["units"])
    double allocations = 0;   // counters["allocs"] per iteration, in that repetition
    std::map<std::string, double> counters; // that repetition's counters as reported
    std::string label;
};

class Table {
public:
    // Runs every registered benchmark with the defaults above (flags given
    // on the command line win). False when a benchmark failed, and its
    // error is printed.
    bool run(int argc, char** argv);

    // The measure of a benchmark by its name ("BM_X", "BM_X/16",
    // "capture/name"); null, with an error printed, when it did not run.
    const Measure* find(const std::string& name);

    // path / baseline at most `aim`.
    void ratio(const std::string& path, const std::string& pathBench, const std::string& baseline,
               const std::string& baselineBench, double aim);
    // path under `ns` per unit and no allocation; the baseline for scale.
    void under(const std::string& path, const std::string& pathBench, const std::string& baseline,
               const std::string& baselineBench, double ns);
    // A row of figures computed by the program.
    void row(const std::string& path, const std::string& time, const std::string& baseline, double ratio,
             const std::string& aim, bool ok);
    // Prints a note line under the rows (tools/bench shows it below the table).
    void note(const std::string& text);
    // A check of the program's own failed: printed, and the exit status is 1.
    void fail(const std::string& why);

    // Prints the rows; the exit status for main.
    int finish();

private:
    struct Row {
        std::string path, time, baseline, ratio, aim;
        bool ok;
    };
    std::map<std::string, Measure> measures_;
    std::vector<Row> rows_;
    std::vector<std::string> notes_;
    bool failed_ = false;
};

// "12.3 ns", "4.56 us", ... with three significant digits.
std::string timeText(double ns);
// "%.*g"-style figure with three significant digits.
std::string figure(double v);

} // namespace qem::bench
