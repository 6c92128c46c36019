// The voltage monitor's audio-thread cost: accumulateProcess per sample,
// called through the record as a host calls it, beside the physical limit,
// a plain loop doing the same serial single-precision sum (one dependent
// addition per sample) called through a function pointer per block. Both
// run in one process; a row per block size gives their ratio, with the
// allocations and host requests made while streaming.
//
//   tools/bench   (or: build/bench/bench/dsp/bench_volts)
#include "modules/dsp/volts_monitor.h"

#include "bench/support/bench_table.h"
#include "tests/support/halves.h"

#include <atomic>
#include <string>
#include <vector>

namespace {

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
    const long allocations = qem::bench::allocations(), requests = gRequests.load();
    for (auto _ : state) {
        dsp.process(0, block);
        benchmark::ClobberMemory();
    }
    state.counters["allocs"] = static_cast<double>(qem::bench::allocations() - allocations);
    state.counters["requests"] = static_cast<double>(gRequests.load() - requests);
    state.counters["units"] = block; // the time per sample
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
    state.counters["units"] = block;
}

BENCHMARK(BM_AccumulateProcess)->Arg(16)->Arg(64)->Arg(1024);
BENCHMARK(BM_PlainSerialSum)->Arg(16)->Arg(64)->Arg(1024);

} // namespace

int main(int argc, char** argv) {
    qem::bench::Table t;
    t.run(argc, argv);
    for (int block : {16, 64, 1024}) {
        const std::string n = "/" + std::to_string(block);
        const qem::bench::Measure* m = t.find("BM_AccumulateProcess" + n);
        const qem::bench::Measure* p = t.find("BM_PlainSerialSum" + n);
        if (m == nullptr || p == nullptr) continue;
        const double ratio = m->ns / p->ns;
        const double allocs = m->counters.at("allocs"), requests = m->counters.at("requests");
        t.row("Volts accumulateProcess per sample, blocks of " + std::to_string(block),
              qem::bench::timeText(m->ns) + ", " + qem::bench::figure(allocs) + " allocs, " +
                  qem::bench::figure(requests) + " requests",
              "plain serial float sum " + qem::bench::timeText(p->ns), ratio, "ratio <= 1.20, 0 allocs, 0 requests",
              ratio <= 1.2 && allocs == 0 && requests == 0);
    }
    return t.finish();
}
