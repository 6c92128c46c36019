// The MIDI monitor's panel costs: one decoded line against the same line
// written with snprintf, over a realistic mix of messages (the set-up
// checks both give the same text for every message of it), and the
// panel's whole update for one message against its line alone.
//
//   tools/bench   (or: build/bench/bench/midi/midi_bench)
#include "bench/support/baselines.h"
#include "bench/support/bench_table.h"
#include "modules/midi/midi_monitor.h"
#include "modules/midi/midi_text.h"

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" void* QEM_CDECL makeModule(std::int32_t index, std::int32_t type, qem::HostCallback callback,
                                      qem::HostWord hostValue);

namespace {

using namespace qem;

const std::vector<std::int32_t> kMix = bench::realisticMidiMix(4096);

void lines(benchmark::State& state, std::string (*fn)(std::int32_t)) {
    for (std::int32_t m : kMix) {
        if (fn == &formatMidiMessage) break;
        std::string want = formatMidiMessage(m), got = fn(m);
        if (got != want) {
            char what[300];
            std::snprintf(what, sizeof what, "message 0x%06X: baseline \"%s\", formatMidiMessage \"%s\"",
                          static_cast<unsigned>(m), got.c_str(), want.c_str());
            return state.SkipWithError(what);
        }
    }
    std::size_t i = 0;
    for (auto _ : state) {
        std::string text = fn(kMix[i]);
        benchmark::DoNotOptimize(text.data());
        i = (i + 1) & (kMix.size() - 1);
    }
}
BENCHMARK_CAPTURE(lines, formatMidiMessage, &formatMidiMessage);
BENCHMARK_CAPTURE(lines, snprintf, &bench::midiTextBySnprintf);

// The panel's whole update for one message: two pin reads, the filter, the
// decoded line and the repaint request.
std::int32_t gPanelMessage = 0;
HostWord QEM_CDECL panelHost(void*, std::int32_t op, HostWord index, HostWord, void* ptr, float) {
    if (op == PanelReqGetValue && ptr != nullptr)
        *static_cast<std::int32_t*>(ptr) = index == 1 ? gPanelMessage : static_cast<std::int32_t>(ShowAll);
    return 0;
}

void BM_PanelUpdate(benchmark::State& state) {
    auto* rec = static_cast<GuiHostRecord*>(makeModule(0, ModuleTypePanel, &panelHost, 0));
    rec->dispatcher(rec, PanelOpStart, 0, 0, nullptr, 0);
    std::size_t i = 0;
    for (auto _ : state) {
        gPanelMessage = kMix[i];
        rec->dispatcher(rec, PanelOpPinValueChanged, 1, 0, nullptr, 0);
        i = (i + 1) & (kMix.size() - 1);
    }
    rec->dispatcher(rec, PanelOpClose, 0, 0, nullptr, 0);
}
BENCHMARK(BM_PanelUpdate);

} // namespace

int main(int argc, char** argv) {
    bench::Table t;
    t.run(argc, argv);
    t.ratio("formatMidiMessage, realistic mix", "lines/formatMidiMessage", "snprintf line", "lines/snprintf", 0.5);
    t.ratio("MIDI monitor panel, one message's whole update", "BM_PanelUpdate", "its line alone",
            "lines/formatMidiMessage", 2.0);
    return t.finish();
}
