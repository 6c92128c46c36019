#include "bench/support/bench_table.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qem::bench {
namespace {

std::atomic<long> gAllocations{0};

// Keeps the fastest repetition of every benchmark.
class Collector : public benchmark::BenchmarkReporter {
public:
    explicit Collector(std::map<std::string, Measure>& measures) : measures_(measures) {}
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration) continue;
            std::string name = r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args);
            if (r.error_occurred) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), r.error_message.c_str());
                failed = true;
                continue;
            }
            if (r.iterations <= 0) continue;
            double units = 1;
            if (auto u = r.counters.find("units"); u != r.counters.end() && u->second.value > 0) units = u->second.value;
            Measure m;
            m.ns = r.cpu_accumulated_time * 1e9 / static_cast<double>(r.iterations) / units;
            if (auto a = r.counters.find("allocs"); a != r.counters.end())
                m.allocations = a->second.value / static_cast<double>(r.iterations);
            for (const auto& [key, c] : r.counters) m.counters[key] = c.value;
            m.label = r.report_label;
            auto it = measures_.find(name);
            if (it == measures_.end() || m.ns < it->second.ns) measures_[name] = m;
        }
    }
    void Finalize() override {}
    bool failed = false;

private:
    std::map<std::string, Measure>& measures_;
};

bool hasFlag(int argc, char** argv, const char* flag) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return true;
    return false;
}

} // namespace

long allocations() { return gAllocations.load(std::memory_order_relaxed); }

std::string figure(double v) {
    char buf[32];
    if (v == std::floor(v) && std::fabs(v) < 1e6) std::snprintf(buf, sizeof buf, "%.0f", v);
    else if (v != 0 && std::fabs(v) < 0.01) std::snprintf(buf, sizeof buf, "%.1e", v);
    else if (std::fabs(v) < 10) std::snprintf(buf, sizeof buf, "%.2f", v);
    else if (std::fabs(v) < 100) std::snprintf(buf, sizeof buf, "%.1f", v);
    else std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
}

std::string timeText(double ns) {
    if (ns < 1e3) return figure(ns) + " ns";
    if (ns < 1e6) return figure(ns / 1e3) + " us";
    if (ns < 1e9) return figure(ns / 1e6) + " ms";
    return figure(ns / 1e9) + " s";
}

bool Table::run(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::vector<std::string> defaults;
    if (!hasFlag(argc, argv, "--benchmark_repetitions")) defaults.push_back("--benchmark_repetitions=12");
    if (!hasFlag(argc, argv, "--benchmark_min_time")) defaults.push_back("--benchmark_min_time=0.02");
    if (!hasFlag(argc, argv, "--benchmark_enable_random_interleaving"))
        defaults.push_back("--benchmark_enable_random_interleaving=true");
    for (std::string& d : defaults) args.push_back(d.data());
    int n = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data())) std::exit(64);
    Collector collector(measures_);
    benchmark::RunSpecifiedBenchmarks(&collector);
    benchmark::Shutdown();
    failed_ = failed_ || collector.failed;
    return !collector.failed;
}

const Measure* Table::find(const std::string& name) {
    auto it = measures_.find(name);
    if (it != measures_.end()) return &it->second;
    std::fprintf(stderr, "no measure of %s (filtered out, or it failed)\n", name.c_str());
    failed_ = true;
    return nullptr;
}

void Table::ratio(const std::string& path, const std::string& pathBench, const std::string& baseline,
                  const std::string& baselineBench, double aim) {
    const Measure* p = find(pathBench);
    const Measure* b = find(baselineBench);
    if (p == nullptr || b == nullptr) return;
    const double r = p->ns / b->ns;
    row(path, timeText(p->ns), baseline + " " + timeText(b->ns), r, "ratio <= " + figure(aim), r <= aim);
}

void Table::under(const std::string& path, const std::string& pathBench, const std::string& baseline,
                  const std::string& baselineBench, double ns) {
    const Measure* p = find(pathBench);
    const Measure* b = find(baselineBench);
    if (p == nullptr || b == nullptr) return;
    std::string time = timeText(p->ns) + ", " + figure(p->allocations) + " allocs";
    row(path, time, baseline + " " + timeText(b->ns), p->ns / b->ns, "< " + timeText(ns) + ", 0 allocs",
        p->ns < ns && p->allocations == 0);
}

void Table::row(const std::string& path, const std::string& time, const std::string& baseline, double ratio,
                const std::string& aim, bool ok) {
    rows_.push_back({path, time, baseline, figure(ratio), aim, ok});
}

void Table::note(const std::string& text) { notes_.push_back(text); }

void Table::fail(const std::string& why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    failed_ = true;
}

int Table::finish() {
    for (const Row& r : rows_)
        std::printf("@row\t%s\t%s\t%s\t%s\t%s\t%s\n", r.path.c_str(), r.time.c_str(), r.baseline.c_str(),
                    r.ratio.c_str(), r.aim.c_str(), r.ok ? "ok" : "MISS");
    for (const std::string& n : notes_) std::printf("@note\t%s\n", n.c_str());
    std::fflush(stdout);
    return failed_ ? 1 : 0;
}

} // namespace qem::bench

// Every allocation of the process is counted.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete" // malloc and free behind new and delete
void* operator new(std::size_t size) {
    qem::bench::gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
