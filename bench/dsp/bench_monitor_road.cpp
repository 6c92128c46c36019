// One value's whole road through the reference host: the host writes the
// DSP input and sends the pin-state event; the DSP half hands the value
// over; the host routes it to panel pin 1 and calls op 7; the panel reads
// it, builds its text (for the list monitor, with a list lookup) and asks
// for a repaint; "+paint" adds the host's paint of the new text. The
// requests are let go after each value, as the scenario runner does.
//
// The baseline is the same road with the cheapest host that can carry it:
// the two halves of the same deliverable wired directly (the DSP half's
// pin change copied into the panel's pin, op 7 called at once; the paint on
// the same canvas), so the ratio is what the reference host adds: its
// routing, its event queue, its answers and its record of each request.
// Both must leave the same text on the panel, or the program fails.
//
//   tools/bench   (or: build/bench/bench/dsp/bench_monitor_road)
#include "bench/support/bench_table.h"
#include "host/canvas.h"
#include "host/library.h"
#include "host/session.h"
#include "host/text.h"

#include <bit>
#include <cstring>
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
    if (pin == nullptr) return state.SkipWithError("no input pin");
    bool flip = false;
    for (auto _ : state) {
        session.setValue(*pin, flip ? m.b : m.a, StateChanged);
        session.settle();
        session.forgetRequestsBefore(session.requests().size());
        flip = !flip;
    }
    // For the label: what the panel shows for the first value.
    session.setValue(*pin, m.a, StateChanged);
    session.settle();
    session.paint();
    state.SetLabel(session.shownText());
}

BENCHMARK_CAPTURE(road, float, kFloat, false);
BENCHMARK_CAPTURE(road, float_paint, kFloat, true);
BENCHMARK_CAPTURE(road, int, kInt, false);
BENCHMARK_CAPTURE(road, text, kText, false);
BENCHMARK_CAPTURE(road, list, kList, false);
BENCHMARK_CAPTURE(road, list_paint, kList, true);

// --- the halves wired directly ----------------------------------------------

// The host's part reduced to what the road needs: the DSP half's hand-over
// (a pin change, or a text for the text monitor) lands in the panel's pin 1,
// the list pin answers with its described choices, and a repaint request
// paints at once on the same kind of canvas the host uses.
struct Direct {
    DspHostRecord* dsp = nullptr;
    GuiHostRecord* panel = nullptr;
    std::int32_t type = DataFloat; // of the module's input
    void* out = nullptr;           // the DSP half's "DSP 2 GUI - Out"
    void* in = nullptr;            // its input
    std::int32_t panelIn = 0;      // the panel's pin 1
    std::string panelText;         // the same for the text monitor
    std::u16string choices;        // the list pin's
    bool repaint = false;
    std::unique_ptr<Canvas> canvas = Canvas::create();
};
Direct* gDirect = nullptr;
std::int32_t gClock = 0;

HostWord QEM_CDECL directHost(void* record, std::int32_t op, HostWord index, HostWord value, void* ptr, float) {
    Direct& d = *gDirect;
    if (record == d.dsp) {
        switch (op) {
        case DspReqSampleClock: return ++gClock;
        case DspReqPinCount: return 3;
        case DspReqPinState:
            if (index == 0) std::memcpy(&d.panelIn, d.out, 4);
            return 0;
        case DspReqSendText:
            if (index == 0) d.panelText = static_cast<const char*>(ptr);
            return 0;
        default: return 0;
        }
    }
    switch (op) {
    case PanelReqGetValue:
        if (ptr != nullptr) std::memcpy(ptr, &d.panelIn, 4);
        return 0;
    case PanelReqGetText: return reinterpret_cast<HostWord>(d.panelText.c_str());
    case PanelReqGetChoices: {
        if (ptr == nullptr || value <= 0) return 0;
        const std::size_t n = std::min<std::size_t>(d.choices.size(), static_cast<std::size_t>(value) - 1);
        std::memcpy(ptr, d.choices.data(), n * sizeof(char16_t));
        static_cast<char16_t*>(ptr)[n] = 0;
        return static_cast<HostWord>(n);
    }
    case PanelReqRepaint: d.repaint = true; return 0;
    case PanelReqFont:
        if (ptr != nullptr) {
            FontInfo info{};
            info.hostWord0 = d.canvas->fontHeight();
            info.backgroundColour = -1;
            std::memcpy(ptr, &info, sizeof info);
        }
        return d.canvas->font();
    default: return 0;
    }
}

void direct(benchmark::State& state, const Module& m, bool paint) {
    std::unique_ptr<Library> lib = Library::load(m.path);
    Direct d;
    gDirect = &d;
    d.dsp = static_cast<DspHostRecord*>(lib->makeModule()(0, ModuleTypeDsp, &directHost, 1));
    d.panel = static_cast<GuiHostRecord*>(lib->makeModule()(0, ModuleTypePanel, &directHost, 2));
    PinProperties p{};
    d.dsp->dispatcher(d.dsp, DspOpGetPinProperties, 0, 0, &p, 0);
    d.out = p.variable;
    d.dsp->dispatcher(d.dsp, DspOpGetPinProperties, 2, 0, &p, 0);
    d.in = p.variable;
    d.type = p.dataType;
    if (p.listChoices != nullptr) d.choices = ansiToWide(p.listChoices);
    d.dsp->dispatcher(d.dsp, DspOpOpen, 0, 0, nullptr, 0);
    d.panel->dispatcher(d.panel, PanelOpStart, 0, 0, nullptr, 0);
    DspEvent ev{0, PinStateEvent, StateChanged, 0, 2, 0};
    auto step = [&](const host::PinValue& v, bool paintNow) {
        switch (d.type) { // as the host writes a variable of the type
        case DataText: *static_cast<const char**>(d.in) = v.text.c_str(); break;
        case DataList: *static_cast<std::int16_t*>(d.in) = static_cast<std::int16_t>(v.bits); break;
        default: std::memcpy(d.in, &v.bits, 4); break;
        }
        d.dsp->event(d.dsp->object, &ev);
        d.panel->dispatcher(d.panel, PanelOpPinValueChanged, 1, 0, nullptr, 0);
        if (paintNow && d.repaint) {
            d.repaint = false;
            PaintInfo info{};
            info.width = 100;
            HostWord dc = d.canvas->begin(100, 30, 0x303030);
            d.panel->dispatcher(d.panel, PanelOpPaint, dc, 0, &info, 0);
            d.canvas->end();
        }
    };
    bool flip = false;
    for (auto _ : state) {
        step(flip ? m.b : m.a, paint);
        flip = !flip;
    }
    step(m.a, true); // for the label: what the panel shows for the first value
    state.SetLabel(shownText(d.canvas->ops()));
    d.panel->dispatcher(d.panel, PanelOpClose, 0, 0, nullptr, 0);
    d.dsp->dispatcher(d.dsp, DspOpClose, 0, 0, nullptr, 0);
    gDirect = nullptr;
}
BENCHMARK_CAPTURE(direct, float, kFloat, false);
BENCHMARK_CAPTURE(direct, float_paint, kFloat, true);
BENCHMARK_CAPTURE(direct, int, kInt, false);
BENCHMARK_CAPTURE(direct, text, kText, false);
BENCHMARK_CAPTURE(direct, list, kList, false);
BENCHMARK_CAPTURE(direct, list_paint, kList, true);

} // namespace

int main(int argc, char** argv) {
    bench::Table t;
    t.run(argc, argv);
    const struct {
        const char* name;
        const char* what;
    } roads[] = {{"float", "a Float value"}, {"int", "an Int value"},  {"text", "a Text value"},
                 {"list", "a List value"},  {"float_paint", "a Float value, with paint"},
                 {"list_paint", "a List value, with paint"}};
    for (const auto& r : roads) {
        // Both roads end with the same text on the panel.
        const bench::Measure* host = t.find(std::string("road/") + r.name);
        const bench::Measure* wired = t.find(std::string("direct/") + r.name);
        if (host != nullptr && wired != nullptr && host->label != wired->label)
            t.fail(std::string(r.name) + ": the host's road ends with \"" + host->label + "\", the wired halves' with \"" +
                   wired->label + "\"");
        const bool paint = std::string(r.name).find("paint") != std::string::npos;
        t.ratio(std::string("Host road, ") + r.what + (paint ? "" : ", event in to text out"),
                std::string("road/") + r.name, "halves wired directly", std::string("direct/") + r.name,
                paint ? 1.5 : 10);
    }
    return t.finish();
}
