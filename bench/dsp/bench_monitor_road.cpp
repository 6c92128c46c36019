// One value's whole road through the reference host: the host writes the
// DSP input and sends the pin-state event; the DSP half hands the value
// over; the host routes it to panel pin 1 and calls op 7; the panel reads
// it and builds its text (for the list monitor, with a list lookup) and
// asks for a repaint. "+paint" adds the host's paint of the new text.
//
//   cmake --build build/dsp-native --target bench_monitor_road
//   build/dsp-native/bench/dsp/bench_monitor_road
//
// The host records every request it serves, so the iterations are bounded
// to keep that record small.
#include "host/library.h"
#include "host/session.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <memory>
#include <string>

namespace {

using namespace qem;
using namespace qem::host;

struct Module {
    const char* path;
    const char* input;
    host::PinValue a, b; // alternated, so every step is a real change
};

std::int32_t bits(float f) { return std::bit_cast<std::int32_t>(f); }

const Module kFloat{QEM_SHOW_F, "Float", {bits(0.1f), {}}, {bits(-2.5f), {}}};
const Module kInt{QEM_SHOW_I, "Int", {-5, {}}, {2147483647, {}}};
const Module kText{QEM_SHOW_T, "Text", {0, "Hello, patch"}, {0, "a second line"}};
const Module kList{QEM_SHOW_L, "List", {3, {}}, {100, {}}};

void road(benchmark::State& state, const Module& m, bool paint) {
    std::unique_ptr<Library> lib = Library::load(m.path);
    Trace trace; // off
    SessionOptions options;
    options.autoPaint = paint;
    Session session(*lib, trace, options);
    session.start(false);
    Pin* pin = session.findPin(m.input);
    if (pin == nullptr) {
        state.SkipWithError("no input pin");
        return;
    }
    bool flip = false;
    for (auto _ : state) {
        session.setValue(*pin, flip ? m.b : m.a, StateChanged);
        session.settle();
        flip = !flip;
    }
    if (!paint) session.paint(); // for the label: what the panel shows at the end
    state.SetLabel(session.shownText());
}

constexpr int kIterations = 20000;

BENCHMARK_CAPTURE(road, float, kFloat, false)->Iterations(kIterations);
BENCHMARK_CAPTURE(road, float_paint, kFloat, true)->Iterations(kIterations);
BENCHMARK_CAPTURE(road, int, kInt, false)->Iterations(kIterations);
BENCHMARK_CAPTURE(road, text, kText, false)->Iterations(kIterations);
BENCHMARK_CAPTURE(road, list, kList, false)->Iterations(kIterations);
BENCHMARK_CAPTURE(road, list_paint, kList, true)->Iterations(kIterations);

} // namespace

BENCHMARK_MAIN();
