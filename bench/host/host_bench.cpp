// What the reference host costs as a session grows: one event through its
// queue with 10 to 100,000 events pending (a MIDI file's schedule), a
// second of audio cut into stretches by MIDI events against real time, and
// the host's memory over a session of ten million requests.
//
//   tools/bench   (or: build/bench/bench/host/host_bench)
#include "bench/support/bench_table.h"
#include "host/library.h"
#include "host/session.h"

#include <malloc.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

namespace qem::host {
namespace {

// N MIDI messages, one a sample from the next on, then the clock runs over
// them: each is queued among those still pending, taken from the front in
// its turn and delivered, cutting the block there. The MIDI monitor's DSP
// half reports each to its panel, which writes its line.
void BM_EventQueue(benchmark::State& state) {
    const auto pending = static_cast<std::int64_t>(state.range(0));
    auto lib = Library::load(QEM_SHOW_M);
    Trace quiet;
    SessionOptions options;
    options.autoPaint = false;
    std::unique_ptr<Session> session;
    for (auto _ : state) {
        state.PauseTiming();
        if (!session || session->clock() > 0x7FFFFFFF - 2 * pending) { // a fresh clock before it runs out
            session = std::make_unique<Session>(*lib, quiet, options);
            session->start(false);
        }
        state.ResumeTiming();
        const std::int64_t from = session->clock() + 1;
        for (std::int64_t t = 0; t < pending; ++t) session->sendMidi(from + t, 0x90 | ((t & 0x7F) << 8) | (100 << 16));
        session->advanceTo(from + pending);
        session->forgetRequestsBefore(session->requests().size()); // as playback does
    }
    state.counters["units"] = static_cast<double>(pending); // the time per event
}
BENCHMARK(BM_EventQueue)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000);

// One second at 44100 Hz in blocks of the given size, a MIDI message every
// 100 samples: each cuts its block, each stretch is one processing call.
void BM_SecondOfAudioWithMidi(benchmark::State& state) {
    auto lib = Library::load(QEM_SHOW_M);
    Trace quiet;
    SessionOptions options;
    options.blockSize = static_cast<int>(state.range(0));
    options.autoPaint = false;
    for (auto _ : state) {
        Session session(*lib, quiet, options);
        session.start(false);
        for (int t = 0; t < 44100; t += 100) session.sendMidi(t, 0x90 | (60 << 8) | (100 << 16));
        session.advance(44100);
        benchmark::DoNotOptimize(session.clock());
    }
}
BENCHMARK(BM_SecondOfAudioWithMidi)->Arg(64)->Arg(1024);

// The heap in use: what the allocator has handed out and not got back.
double heapMiB() {
    struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

// The heap after every million of ten million requests of a Float monitor
// session (four a value: the clock, the pin change, the panel's read, its
// repaint), beyond what it held at the start. `forget`: let the requests go
// after each value, as the scenario runner does after each step.
std::vector<double> memoryCurve(const Library& lib, std::size_t limit, bool forget) {
    Trace quiet;
    SessionOptions options;
    options.autoPaint = false;
    options.requestLogLimit = limit;
    std::vector<double> curve;
    const double base = heapMiB();
    {
        Session session(lib, quiet, options);
        session.start(false);
        Pin* pin = session.findPin("Float");
        float v = 0;
        for (std::size_t next = 1000000; next <= 10000000; next += 1000000) {
            while (session.requests().size() < next) {
                session.setValue(*pin, PinValue{std::bit_cast<std::int32_t>(v += 0.5f), {}}, StateChanged);
                session.settle();
                if (forget) session.forgetRequestsBefore(session.requests().size());
            }
            curve.push_back(heapMiB() - base);
        }
    }
    return curve;
}

std::string curveText(const std::vector<double>& c) {
    std::string s;
    for (double v : c) s += (s.empty() ? "" : " ") + qem::bench::figure(v);
    return s;
}

} // namespace
} // namespace qem::host

int main(int argc, char** argv) {
    using namespace qem;
    bench::Table t;
    t.run(argc, argv);
    t.ratio("Host event queue, one event among 100000 pending", "BM_EventQueue/100000", "among 10",
            "BM_EventQueue/10", 5);
    t.ratio("Host event queue, one event among 10000 pending", "BM_EventQueue/10000", "among 10", "BM_EventQueue/10",
            4);
    for (int block : {64, 1024}) {
        if (const bench::Measure* m = t.find("BM_SecondOfAudioWithMidi/" + std::to_string(block)))
            t.row("Host, 1 s of audio in blocks of " + std::to_string(block) + ", a MIDI message every 100 samples",
                  bench::timeText(m->ns), "real time 1 s", m->ns / 1e9, "ratio <= 0.01", m->ns / 1e9 <= 0.01);
    }
    std::string queue = "event queue, ns per event at 10 100 1000 10000 100000 pending:";
    for (int n : {10, 100, 1000, 10000, 100000})
        if (const bench::Measure* m = t.find("BM_EventQueue/" + std::to_string(n))) queue += " " + bench::figure(m->ns);
    t.note(queue);

    auto lib = host::Library::load(QEM_SHOW_F);
    const std::vector<double> runner = host::memoryCurve(*lib, std::size_t(1) << 20, true);
    const std::vector<double> bounded = host::memoryCurve(*lib, std::size_t(1) << 20, false);
    const std::vector<double> all = host::memoryCurve(*lib, std::numeric_limits<std::size_t>::max(), false);
    const double growth = runner.back() - runner.front(), allGrowth = all.back() - all.front();
    t.row("Host memory from 1M to 10M requests, the scenario runner's way",
          "+" + bench::figure(growth) + " MiB", "all kept (as before) +" + bench::figure(allGrowth) + " MiB",
          growth / allGrowth, "growth < 1 MiB", growth < 1.0);
    // Its log reaches the limit (1048576) just after the first million.
    const double boundedGrowth = bounded.back() - bounded[1], allLater = all.back() - all[1];
    t.row("Host memory from 2M to 10M requests, a session that never lets go",
          "+" + bench::figure(boundedGrowth) + " MiB", "all kept (as before) +" + bench::figure(allLater) + " MiB",
          boundedGrowth / allLater, "growth < 1 MiB", boundedGrowth < 1.0);
    t.note("heap MiB after 1M, 2M, ... 10M requests: runner's way " + host::curveText(runner) + "; never let go " +
           host::curveText(bounded) + "; all kept " + host::curveText(all));
    return t.finish();
}
