// What the reference host costs per step, so long scenarios and MIDI file
// playback stay quick: one value through both halves to a paint, and a
// second of audio cut into stretches by MIDI events.
#include "host/library.h"
#include "host/session.h"

#include <benchmark/benchmark.h>

#include <bit>

namespace qem::host {
namespace {

// set A = v; the probe forwards A * B + C, the panel reads it, asks for a
// repaint, and the host paints: every request answered and recorded.
void BM_ValueToPaint(benchmark::State& state) {
    auto lib = Library::load(QEM_PROBE);
    Trace quiet;
    auto session = std::make_unique<Session>(*lib, quiet);
    session->start(false);
    Pin* a = session->findPin("A");
    float v = 0;
    int n = 0;
    for (auto _ : state) {
        session->setValue(*a, PinValue{std::bit_cast<std::int32_t>(v += 1.0f), {}}, StateChanged);
        session->settle();
        if (++n == 100000) { // keep the request log of one session bounded
            state.PauseTiming();
            session = std::make_unique<Session>(*lib, quiet);
            session->start(false);
            a = session->findPin("A");
            n = 0;
            state.ResumeTiming();
        }
    }
    benchmark::DoNotOptimize(session->shownText());
}
BENCHMARK(BM_ValueToPaint);

// One second at 44100 Hz in blocks of the given size, a MIDI message every
// 100 samples: each cuts its block, each stretch is one processing call.
void BM_SecondOfAudioWithMidi(benchmark::State& state) {
    auto lib = Library::load(QEM_FIXTURE_CLOCK);
    Trace quiet;
    SessionOptions options;
    options.blockSize = static_cast<int>(state.range(0));
    options.autoPaint = false;
    for (auto _ : state) {
        Session session(*lib, quiet, options);
        session.create(true, false);
        session.start(false);
        for (int t = 0; t < 44100; t += 100) session.sendMidi(t, 0x90);
        session.advance(44100);
        benchmark::DoNotOptimize(session.clock());
    }
    state.SetItemsProcessed(state.iterations() * 44100);
}
BENCHMARK(BM_SecondOfAudioWithMidi)->Arg(64)->Arg(1024);

} // namespace
} // namespace qem::host

BENCHMARK_MAIN();
