// What the DSP halves that hand values over cost on the host's audio
// thread, each from its shipped deliverable and entered through its record
// as a host enters it: the Float monitor's whole pin-state event (the value
// read, the sample clock asked for, the pin change reported), and the MIDI
// monitor's per message, forwarded and dropped. The baseline is one empty
// host callback round trip, the least any request costs; the aim is under
// 100 ns and no allocation.
//
//   tools/bench   (or: build/bench/bench/dsp/bench_audio_thread)
#include "bench/support/bench_table.h"
#include "host/library.h"

#include <memory>

namespace {

using namespace qem;

long gRequests = 0;
std::int32_t gClock = 0;

// The cheapest host that can answer: the clock, the pin count, 0 for the rest.
HostWord QEM_CDECL minimalHost(void*, std::int32_t op, HostWord, HostWord, void*, float) {
    ++gRequests;
    switch (op) {
    case DspReqSampleClock: return ++gClock;
    case DspReqPinCount: return 4;
    default: return 0;
    }
}
HostCallback volatile gHost = &minimalHost;

// A DSP half made and opened as a host makes it, with its pin variables.
struct DspHalf {
    std::unique_ptr<host::Library> library;
    DspHostRecord* record = nullptr;
    void* variables[8] = {};
    bool counted = false; // the module's own allocations reach the counter

    explicit DspHalf(const char* path) : library(host::Library::load(path)) {
        const long before = bench::allocations();
        record = static_cast<DspHostRecord*>(library->makeModule()(0, ModuleTypeDsp, &minimalHost, 0));
        counted = bench::allocations() > before; // makeModule allocates the half
        record->dispatcher(record, DspOpSetSampleRate, 0, 0, nullptr, 44100.0f);
        record->dispatcher(record, DspOpSetBlockSize, 0, 64, nullptr, 0);
        for (int i = 0; i < 8; ++i) {
            PinProperties p{};
            if (record->dispatcher(record, DspOpGetPinProperties, i, 0, &p, 0) == 0) break;
            variables[i] = p.variable;
        }
        record->dispatcher(record, DspOpOpen, 0, 0, nullptr, 0);
    }
    ~DspHalf() { record->dispatcher(record, DspOpClose, 0, 0, nullptr, 0); }
};

void countPerIteration(benchmark::State& state, long allocations, long requests) {
    state.counters["allocs"] = static_cast<double>(bench::allocations() - allocations);
    state.counters["requests/event"] =
        benchmark::Counter(static_cast<double>(gRequests - requests), benchmark::Counter::kAvgIterations);
}

void BM_EmptyRoundTrip(benchmark::State& state) {
    DspHostRecord record{};
    const long allocations = bench::allocations(), requests = gRequests;
    for (auto _ : state) benchmark::DoNotOptimize(gHost(&record, DspReqIdle, 0, 0, nullptr, 0));
    countPerIteration(state, allocations, requests);
}
BENCHMARK(BM_EmptyRoundTrip);

// The host writes the input, then sends the pin-state event.
void BM_FloatPinState(benchmark::State& state) {
    DspHalf dsp(QEM_SHOW_F);
    if (!dsp.counted) return state.SkipWithError("the module's allocations are not counted");
    auto* input = static_cast<float*>(dsp.variables[2]);
    DspEvent ev{0, PinStateEvent, StateChanged, 0, 2, 0};
    float v = 0;
    const long allocations = bench::allocations(), requests = gRequests;
    for (auto _ : state) {
        *input = v += 0.25f;
        dsp.record->event(dsp.record->object, &ev);
        benchmark::ClobberMemory();
    }
    countPerIteration(state, allocations, requests);
}
BENCHMARK(BM_FloatPinState);

// The Running Mode decides: Hide Timing forwards a note and drops a clock.
void midiEvent(benchmark::State& state, std::int16_t mode, std::int32_t message) {
    DspHalf dsp(QEM_SHOW_M);
    if (!dsp.counted) return state.SkipWithError("the module's allocations are not counted");
    *static_cast<std::int16_t*>(dsp.variables[3]) = mode;
    DspEvent ev{0, MidiEvent, message, 0, 0, 0};
    const long allocations = bench::allocations(), requests = gRequests;
    for (auto _ : state) {
        dsp.record->event(dsp.record->object, &ev);
        benchmark::ClobberMemory();
    }
    countPerIteration(state, allocations, requests);
}
constexpr std::int16_t kHideTiming = 1;
BENCHMARK_CAPTURE(midiEvent, forwarded, kHideTiming, 0x90 | (60 << 8) | (100 << 16));
BENCHMARK_CAPTURE(midiEvent, dropped, kHideTiming, 0xF8);

} // namespace

int main(int argc, char** argv) {
    bench::Table t;
    t.run(argc, argv);
    const char* round = "empty host round trip";
    t.under("Float monitor DSP, pin-state event with its 2 requests", "BM_FloatPinState", round, "BM_EmptyRoundTrip",
            100);
    t.under("MIDI monitor DSP, a forwarded message (1 report)", "midiEvent/forwarded", round, "BM_EmptyRoundTrip", 100);
    t.under("MIDI monitor DSP, a dropped message", "midiEvent/dropped", round, "BM_EmptyRoundTrip", 100);
    return t.finish();
}
