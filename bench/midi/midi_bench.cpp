// The MIDI monitor's costs: one decoded line over a realistic mix of
// messages, and the DSP half per forwarded and per dropped message.
#include "modules/midi/midi_monitor.h"
#include "modules/midi/midi_text.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

extern "C" void* QEM_CDECL makeModule(std::int32_t index, std::int32_t type, qem::HostCallback callback,
                                      qem::HostWord hostValue);

namespace {

using namespace qem;

std::int32_t pack(unsigned status, unsigned d1 = 0, unsigned d2 = 0) {
    return static_cast<std::int32_t>(status | (d1 << 8) | (d2 << 16));
}

// What a played keyboard with a sequencer's clock sends: mostly notes and
// clocks, then controllers, pitch bend, pressure and the occasional rest.
std::vector<std::int32_t> realisticMix() {
    std::mt19937 rng(5);
    std::uniform_int_distribution<unsigned> data(0, 127), channel(0, 15), pick(0, 99);
    std::vector<std::int32_t> out;
    for (int i = 0; i < 4096; ++i) {
        const unsigned p = pick(rng), ch = channel(rng) & 3;
        if (p < 30) out.push_back(pack(0x90 | ch, data(rng), 1 + data(rng) % 127)); // note on
        else if (p < 45) out.push_back(pack(0x80 | ch, data(rng), 64));             // note off
        else if (p < 50) out.push_back(pack(0x90 | ch, data(rng), 0));              // note off as velocity 0
        else if (p < 70) out.push_back(pack(0xF8));                                 // clock
        else if (p < 80) out.push_back(pack(0xB0 | ch, data(rng), data(rng)));      // controllers, switches among them
        else if (p < 88) out.push_back(pack(0xE0 | ch, data(rng), data(rng)));      // pitch bend
        else if (p < 92) out.push_back(pack(0xD0 | ch, data(rng)));                 // channel pressure
        else if (p < 94) out.push_back(pack(0xA0 | ch, data(rng), data(rng)));      // key pressure
        else if (p < 95) out.push_back(pack(0xC0 | ch, data(rng)));                 // program change
        else if (p < 97) out.push_back(pack(0xFE));                                 // active sensing
        else if (p < 98) out.push_back(pack(0xF0, 0x43, 0x10));                     // SysEx start
        else if (p < 99) out.push_back(pack(0xF2, data(rng), data(rng)));           // song position
        else out.push_back(pack(0xFA + pick(rng) % 3));                            // start, continue, stop
    }
    return out;
}

void BM_FormatMidiMessage(benchmark::State& state) {
    const std::vector<std::int32_t> mix = realisticMix();
    std::size_t i = 0;
    for (auto _ : state) {
        std::string text = formatMidiMessage(mix[i]);
        benchmark::DoNotOptimize(text.data());
        i = (i + 1) & (mix.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatMidiMessage);

// A host that answers the clock and ignores the rest, as cheaply as a real one can.
HostWord QEM_CDECL quietHost(void*, std::int32_t op, HostWord, HostWord, void*, float) {
    static std::int32_t clock = 0;
    switch (op) {
    case DspReqSampleClock: return ++clock;
    case DspReqPinCount: return 4;
    default: return 0;
    }
}

// The DSP half's cost per MIDI event entering through its record; mode and
// message decide whether it is forwarded (pin report) or dropped.
void dspPerMessage(benchmark::State& state, std::int16_t mode, std::int32_t message) {
    auto* rec = static_cast<DspHostRecord*>(makeModule(0, ModuleTypeDsp, &quietHost, 0));
    rec->dispatcher(rec, DspOpOpen, 0, 0, nullptr, 0);
    PinProperties p{};
    rec->dispatcher(rec, DspOpGetPinProperties, 3, 0, &p, 0);
    *static_cast<std::int16_t*>(p.variable) = mode;
    DspEvent ev{0, MidiEvent, message, 0, 0, 0};
    for (auto _ : state) {
        rec->event(rec->object, &ev);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    rec->dispatcher(rec, DspOpClose, 0, 0, nullptr, 0);
}

void BM_DspForwarded(benchmark::State& state) { dspPerMessage(state, HideTiming, pack(0x90, 60, 100)); }
void BM_DspDropped(benchmark::State& state) { dspPerMessage(state, HideTiming, pack(0xF8)); }
void BM_DspDroppedHideSystem(benchmark::State& state) { dspPerMessage(state, HideSystem, pack(0xFE)); }
BENCHMARK(BM_DspForwarded);
BENCHMARK(BM_DspDropped);
BENCHMARK(BM_DspDroppedHideSystem);

// The panel's whole update for one message: two pin reads, the filter, the
// decoded line and the repaint request.
std::int32_t gPanelMessage = 0;
HostWord QEM_CDECL panelHost(void*, std::int32_t op, HostWord index, HostWord, void* ptr, float) {
    if (op == PanelReqGetValue && ptr != nullptr)
        *static_cast<std::int32_t*>(ptr) = index == 1 ? gPanelMessage : static_cast<std::int32_t>(ShowAll);
    return 0;
}

void BM_PanelUpdate(benchmark::State& state) {
    const std::vector<std::int32_t> mix = realisticMix();
    auto* rec = static_cast<GuiHostRecord*>(makeModule(0, ModuleTypePanel, &panelHost, 0));
    rec->dispatcher(rec, PanelOpStart, 0, 0, nullptr, 0);
    std::size_t i = 0;
    for (auto _ : state) {
        gPanelMessage = mix[i];
        rec->dispatcher(rec, PanelOpPinValueChanged, 1, 0, nullptr, 0);
        i = (i + 1) & (mix.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
    rec->dispatcher(rec, PanelOpClose, 0, 0, nullptr, 0);
}
BENCHMARK(BM_PanelUpdate);

} // namespace
