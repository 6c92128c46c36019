// The voltage monitor's audio-thread cost: accumulateProcess per sample,
// called through the record as a host calls it, beside the physical limit,
// a plain loop doing the same serial single-precision sum (one dependent
// addition per sample) called through a function pointer per block. Both
// run in one process; the summary prints their ratio per block size, and
// counts the allocations and host requests made while streaming.
//
//   cmake --build build/native --target bench_volts
//   build/native/bench/dsp/bench_volts
#include "modules/dsp/volts_monitor.h"

#include "tests/support/halves.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<long> gAllocations{0};
std::atomic<long> gRequests{0};

qem::HostWord QEM_CDECL countingHost(void*, std::int32_t op, qem::HostWord, qem::HostWord, void*, float) {
    gRequests.fetch_add(1, std::memory_order_relaxed);
    return op == qem::DspReqPinCount ? 2 : 0;
}

// The baseline: what any per-block sum costs at least.
__attribute__((noinline)) void plainSum(float* sum, const float* samples, std::int32_t count) {
    float s = *sum;
    for (std::int32_t i = 0; i < count; ++i) s += samples[i];
    *sum = s;
}
void (*volatile gPlainSum)(float*, const float*, std::int32_t) = &plainSum;

std::vector<float> signal(std::size_t n) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<float>((i * 2654435761u) % 2001) / 1000.0f - 1.0f;
    return v;
}

void BM_AccumulateProcess(benchmark::State& state) {
    const auto block = static_cast<std::int32_t>(state.range(0));
    std::vector<float> buffer = signal(static_cast<std::size_t>(block));
    qem::test::DspHalf dsp(qem::makeHalf<qem::VoltsMonitorDsp>(&countingHost, 0));
    dsp.op(qem::DspOpSetBlockSize, 0, block);
    dsp.variableAs<const float*>(2) = buffer.data();
    dsp.open();
    dsp.pinEvent(1, qem::StateStreaming); // installs accumulateProcess, schedules one tick
    const long allocations = gAllocations.load(), requests = gRequests.load();
    for (auto _ : state) {
        dsp.process(0, block);
        benchmark::ClobberMemory();
    }
    const double samples = static_cast<double>(state.iterations()) * block;
    state.counters["allocs"] = static_cast<double>(gAllocations.load() - allocations);
    state.counters["requests"] = static_cast<double>(gRequests.load() - requests);
    state.counters["ns/sample"] = benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
}

void BM_PlainSerialSum(benchmark::State& state) {
    const auto block = static_cast<std::int32_t>(state.range(0));
    std::vector<float> buffer = signal(static_cast<std::size_t>(block));
    float sum = 0;
    for (auto _ : state) {
        gPlainSum(&sum, buffer.data(), block);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(sum);
    const double samples = static_cast<double>(state.iterations()) * block;
    state.counters["ns/sample"] = benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
}

BENCHMARK(BM_AccumulateProcess)->Arg(16)->Arg(64)->Arg(1024);
BENCHMARK(BM_PlainSerialSum)->Arg(16)->Arg(64)->Arg(1024);

// Keeps each run's nanoseconds per sample for the summary.
class Summary : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto it = r.counters.find("ns/sample");
            if (it != r.counters.end()) perSample[r.benchmark_name()] = it->second * 1e9; // seconds per sample
            auto a = r.counters.find("allocs");
            if (a != r.counters.end()) allocs += static_cast<long>(a->second.value);
            auto q = r.counters.find("requests");
            if (q != r.counters.end()) requests += static_cast<long>(q->second.value);
        }
    }
    std::map<std::string, double> perSample;
    long allocs = 0, requests = 0;
};

} // namespace

// Every allocation of the process is counted.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete" // malloc and free behind new and delete
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Summary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    std::printf("\naccumulateProcess against the plain serial sum (aim: ratio at most 1.2)\n");
    std::printf("%-8s %14s %14s %8s\n", "block", "module ns/smp", "plain ns/smp", "ratio");
    bool met = true;
    for (int block : {16, 64, 1024}) {
        const std::string n = "/" + std::to_string(block);
        auto m = summary.perSample.find("BM_AccumulateProcess" + n);
        auto p = summary.perSample.find("BM_PlainSerialSum" + n);
        if (m == summary.perSample.end() || p == summary.perSample.end()) continue;
        const double ratio = m->second / p->second;
        met = met && ratio <= 1.2;
        std::printf("%-8d %14.3f %14.3f %8.2f %s\n", block, m->second, p->second, ratio, ratio <= 1.2 ? "ok" : "MISS");
    }
    std::printf("allocations while streaming: %ld, host requests while streaming: %ld\n", summary.allocs,
                summary.requests);
    return met && summary.allocs == 0 && summary.requests == 0 ? 0 : 1;
}
