// Both halves of "QEM Show MIDI", made through the deliverable's own exports
// and driven through their host records as a host would: the pin table, the
// DSP filter and hand-off, the panel's filter and "No Input" rules, and the
// two halves joined by a host's routing.
#include "modules/midi/midi_monitor.h"
#include "modules/midi/midi_text.h"
#include "tests/support/fake_host.h"
#include "tests/support/halves.h"

#if !defined(_WIN32)
#include "framework/platform/recording_dc.h"
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" void* QEM_CDECL makeModule(std::int32_t index, std::int32_t type, qem::HostCallback callback,
                                      qem::HostWord hostValue);

namespace qem {
namespace {

using test::DspHalf;
using test::FakeHost;
using test::PanelHalf;
using test::Request;

constexpr std::int32_t kNoteOn = 0x00643C90; // shown and forwarded in every mode
const std::string kNoteOnText = "Ch:1|St:NoteOn|Key:60 (C4)|Vel:100";

// --- DSP half -------------------------------------------------------------------

// One DSP half made by the library's makeModule, as a host makes it; the
// host writes the running mode into its bound variable.
class DspRig {
public:
    explicit DspRig(bool openNow = true) {
        host.pinCount = 4;
        host.sampleClock = 1000;
        if (openNow) half.open();
    }

    PinProperties props(std::int32_t i) {
        PinProperties p;
        half.describe(i, p);
        return p;
    }
    MidiMonitorDsp& dsp() { return half.as<MidiMonitorDsp>(); }
    std::int32_t out() { return half.variableAs<std::int32_t>(0); }
    void setMode(std::int16_t mode) { half.variableAs<std::int16_t>(3) = mode; }
    void midi(std::int32_t message, std::int32_t time = 5) { half.midi(message, time, 0x1234); }
    std::vector<Request> pinStates() const {
        std::vector<Request> out;
        for (const Request& r : host.requests)
            if (r.op == DspReqPinState) out.push_back(r);
        return out;
    }

    FakeHost host{FakeHost::Half::Dsp};
    DspHalf half = DspHalf::make(&makeModule, host.callback(), 0);
};

TEST(MidiMonitorDsp, PinTable) {
    DspRig rig(false);
    const struct {
        const char* name;
        std::int32_t direction, dataType, flags;
        const char* defaultValue;
        const char* choices;
        bool hasVariable;
    } rows[] = {
        {"DSP 2 GUI - Out", DirOut, DataInt, 0x30100, "0", nullptr, true},
        {"DSP 2 GUI - In", DirIn, DataInt, 0x30500, "0", nullptr, true},
        {"MIDI", DirIn, DataMidi, 0x20000, nullptr, nullptr, false},
        {"Running Mode", DirSetting, DataList, 0x28400, "1", "Show All=0,Hide Timing,Hide System", true},
    };
    // The record is prefilled with a sentinel: what a pin does not have is
    // never written, nor is the reserved word.
    void* const sentinel = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xA5A5A5A5A5A5A5A5ull));
    for (std::int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        PinProperties p;
        std::memset(&p, 0xA5, sizeof p);
        ASSERT_EQ(rig.half.op(DspOpGetPinProperties, i, 0, &p), 1);
        EXPECT_STREQ(p.name, rows[i].name);
        EXPECT_EQ(p.direction, rows[i].direction);
        EXPECT_EQ(p.dataType, rows[i].dataType);
        EXPECT_EQ(p.flags, rows[i].flags);
        if (rows[i].hasVariable) EXPECT_NE(p.variable, sentinel);
        else EXPECT_EQ(p.variable, sentinel);
        if (rows[i].defaultValue) EXPECT_STREQ(p.defaultValue, rows[i].defaultValue);
        else EXPECT_EQ(static_cast<const void*>(p.defaultValue), sentinel);
        if (rows[i].choices) EXPECT_STREQ(p.listChoices, rows[i].choices);
        else EXPECT_EQ(static_cast<const void*>(p.listChoices), sentinel);
        EXPECT_EQ(static_cast<std::uint32_t>(p.reserved), 0xA5A5A5A5u);
    }
    for (std::int32_t i : {4, 5, -1}) {
        PinProperties p{};
        EXPECT_EQ(rig.half.op(DspOpGetPinProperties, i, 0, &p), 0) << i;
    }
    // The running mode is a 16-bit list value, "Hide Timing" until the host writes it.
    EXPECT_EQ(*static_cast<std::int16_t*>(rig.props(3).variable), HideTiming);
}

TEST(MidiMonitorDsp, OpenInstallsAnEmptyProcessAndReportsZero) {
    DspRig rig(false);
    *static_cast<std::int32_t*>(rig.props(1).variable) = 55;
    const ProcessEntry before = rig.half.record()->process;
    rig.host.sampleClock = 4321;
    rig.half.open();

    EXPECT_EQ(rig.host.ops(), (std::vector<std::int32_t>{DspReqProcessChanged, DspReqPinCount, DspReqSampleClock,
                                                         DspReqPinState}));
    const Request& state = rig.host.requests.back();
    EXPECT_EQ(state.index, 0);
    EXPECT_EQ(state.value, StateChanged);
    EXPECT_EQ(reinterpret_cast<HostWord>(state.ptr), 4321);
    EXPECT_EQ(rig.out(), 0);
    EXPECT_EQ(*static_cast<std::int32_t*>(rig.props(1).variable), 0);

    // The module's own processing function: installed, and it does nothing.
    EXPECT_NE(rig.half.record()->process, before);
    EXPECT_EQ(rig.half.record()->process, rig.dsp().processFunction().entry);
    rig.host.clear();
    rig.half.process(0, 256);
    EXPECT_TRUE(rig.host.requests.empty());

    // DSP pins: "DSP 2 GUI - Out", "MIDI", "Running Mode"; the panel-only pin takes no place.
    EXPECT_EQ(rig.dsp().pinAt(0).variable, rig.props(0).variable);
    EXPECT_EQ(rig.dsp().pinAt(1).variable, nullptr);
    EXPECT_NE(rig.dsp().pinAt(1).module, nullptr);
    EXPECT_EQ(rig.dsp().pinAt(2).variable, rig.props(3).variable);
    EXPECT_EQ(rig.dsp().pinAt(3).module, nullptr);
}

struct FilterCase {
    std::int16_t mode;
    std::uint32_t message;
    bool forwarded;
};

TEST(MidiMonitorDsp, FiltersByRunningMode) {
    const FilterCase cases[] = {
        // Hide Timing: only the MIDI clock with both data bytes 0 is dropped.
        {HideTiming, 0x000000F8, false},
        {HideTiming, 0x000100F8, true},
        {HideTiming, 0x010000F8, true},
        {HideTiming, 0x000000FE, true},
        {HideTiming, 0x000000FA, true},
        {HideTiming, 0x000000FF, true},
        {HideTiming, 0x001043F0, true},
        {HideTiming, kNoteOn, true},
        // Hide System: every status 0xF0..0xFF, system exclusive included.
        {HideSystem, 0x001043F0, false},
        {HideSystem, 0x000035F1, false},
        {HideSystem, 0x000000F8, false},
        {HideSystem, 0x00FFFFFE, false},
        {HideSystem, 0x000000FF, false},
        {HideSystem, 0x004000EF, true},
        {HideSystem, 0x0000007F, true},
        {HideSystem, kNoteOn, true},
        // Show All, and values outside the list, pass everything.
        {ShowAll, 0x000000F8, true},
        {ShowAll, 0x000000FE, true},
        {ShowAll, 0x001043F0, true},
        {ShowAll, kNoteOn, true},
        {5, 0x000000F8, true},
        {5, 0x001043F0, true},
        {5, 0x000000FF, true},
        {5, kNoteOn, true},
        {-1, 0x000000F8, true},
        {3, 0x000000F0, true},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " message 0x" << std::hex << c.message);
        DspRig rig;
        rig.setMode(c.mode);
        const std::int32_t previous = 0x00207FB1;
        rig.midi(previous);
        ASSERT_EQ(rig.out(), previous);
        rig.host.clear();
        rig.host.sampleClock = 777;

        rig.midi(static_cast<std::int32_t>(c.message), /*time*/ 12);
        if (c.forwarded) {
            EXPECT_EQ(rig.out(), static_cast<std::int32_t>(c.message));
            EXPECT_EQ(rig.host.ops(), (std::vector<std::int32_t>{DspReqSampleClock, DspReqPinState}));
            const std::vector<Request> states = rig.pinStates();
            ASSERT_EQ(states.size(), 1u);
            const Request& r = states[0];
            EXPECT_EQ(r.index, 0);
            EXPECT_EQ(r.value, StateChanged);
            EXPECT_EQ(reinterpret_cast<HostWord>(r.ptr), 777); // the sample clock, not the event's time
        } else {
            EXPECT_EQ(rig.out(), previous);
            EXPECT_TRUE(rig.host.requests.empty());
        }
    }
}

TEST(MidiMonitorDsp, EveryAcceptedMessageOfABlockIsReported) {
    DspRig rig;
    rig.setMode(ShowAll);
    rig.host.clear();
    const std::int32_t messages[] = {0x00403C90, 0x000000F8, 0x00403C90, 0x00003C80};
    std::int32_t clock = 2000;
    for (std::int32_t m : messages) {
        rig.host.sampleClock = clock++;
        rig.midi(m);
    }
    const std::vector<Request> states = rig.pinStates();
    ASSERT_EQ(states.size(), 4u); // repeated values included
    for (int i = 0; i < 4; ++i) EXPECT_EQ(reinterpret_cast<HostWord>(states[i].ptr), 2000 + i);
    EXPECT_EQ(rig.out(), 0x00003C80);
}

TEST(MidiMonitorDsp, RunningModeChangeSendsNothingAndActsOnTheNextMessage) {
    DspRig rig;
    rig.host.clear();
    rig.midi(0xF8); // default Hide Timing
    EXPECT_TRUE(rig.host.requests.empty());

    rig.setMode(ShowAll);
    rig.half.pinEvent(2, StateChanged, 10); // DSP pin 2 is "Running Mode"
    EXPECT_TRUE(rig.host.requests.empty());
    EXPECT_EQ(rig.dsp().pinAt(2).state, StateStatic);

    rig.midi(0xF8);
    EXPECT_EQ(rig.out(), 0xF8);
    EXPECT_EQ(rig.pinStates().size(), 1u);
}

TEST(MidiMonitorDsp, DestructionReportsZero) {
    DspRig rig;
    rig.midi(kNoteOn);
    // The host reads the variable while the change is reported.
    const auto* outVar = static_cast<const std::int32_t*>(rig.props(0).variable);
    std::vector<std::int32_t> seen;
    rig.host.answer = [&](const Request& r) -> std::optional<HostWord> {
        if (r.op == DspReqPinState) seen.push_back(*outVar);
        return std::nullopt;
    };
    rig.host.clear();
    rig.host.sampleClock = 9999;
    rig.half.close();
    EXPECT_EQ(rig.host.ops(), (std::vector<std::int32_t>{DspReqSampleClock, DspReqPinState}));
    EXPECT_EQ(seen, std::vector<std::int32_t>{0});
    EXPECT_EQ(rig.host.requests.back().index, 0);
    EXPECT_EQ(rig.host.requests.back().value, StateChanged);
    EXPECT_EQ(reinterpret_cast<HostWord>(rig.host.requests.back().ptr), 9999);
}

TEST(MidiMonitorDsp, NeverOpenedOrWithoutHostSendsNoPinState) {
    {
        DspRig rig(false);
        rig.midi(kNoteOn); // no pins bound yet: nothing to report on
        rig.half.close();
        EXPECT_EQ(rig.host.count(DspReqPinState), 0);
    }
    {
        // No callback at all: nothing is sent, nothing breaks.
        DspHalf half = DspHalf::make(&makeModule, nullptr, 0);
        ASSERT_TRUE(half.made());
        half.open();
        half.midi(kNoteOn);
        EXPECT_EQ(half.close(), 1);
    }
}

// --- Panel half -----------------------------------------------------------------

class PanelRig {
public:
    MidiMonitorPanel& panel() { return half.as<MidiMonitorPanel>(); }
    const std::string& text() { return half.text(); }
    void start(HostWord flag = 0) { half.op(PanelOpStart, flag); }
    // The host delivers message on panel pin 1 and mode on panel pin 2.
    void deliver(std::int32_t message, std::int32_t mode, std::int32_t changedPin = 1) {
        host.values[1] = message;
        host.values[2] = mode;
        half.changed(changedPin);
    }

    FakeHost host;
    PanelHalf half = PanelHalf::make(&makeModule, host.callback(), 0);
};

TEST(MidiMonitorPanel, ConstructionRequestsAndEmptyText) {
    PanelRig rig;
    ASSERT_EQ(rig.host.requests.size(), 3u);
    EXPECT_TRUE(rig.host.requests[0].is(PanelReqSetup11, 0, 0));
    EXPECT_TRUE(rig.host.requests[1].is(PanelReqSetup3, 100, 30));
    EXPECT_TRUE(rig.host.requests[2].is(PanelReqSetup4, 1, 0));
    EXPECT_EQ(rig.text(), "");
}

TEST(MidiMonitorPanel, StartClearsBothPinsWithoutRepaint) {
    for (HostWord flag : {0, 1, 2}) {
        SCOPED_TRACE(flag);
        PanelRig rig;
        rig.start();
        rig.deliver(kNoteOn, HideTiming);
        ASSERT_EQ(rig.text(), kNoteOnText);
        rig.host.clear();

        rig.start(flag);
        ASSERT_EQ(rig.host.requests.size(), 2u);
        EXPECT_TRUE(rig.host.requests[0].is(PanelReqSetValue, 1, 0));
        EXPECT_TRUE(rig.host.requests[1].is(PanelReqSetValue, 0, 0));
        EXPECT_EQ(rig.text(), kNoInputText);
        EXPECT_EQ(rig.panel().lastMessage(), 0);
    }
}

struct PanelCase {
    std::int32_t mode;
    std::uint32_t message;
    bool shown;
};

TEST(MidiMonitorPanel, ShowsOrKeepsTheTextByItsRunningMode) {
    std::vector<PanelCase> cases;
    for (std::uint32_t status = 0xF0; status <= 0xFF; ++status) {
        cases.push_back({HideTiming, status, status < 0xF8});     // all real-time messages hidden
        cases.push_back({HideTiming, status | 0x00010100, status < 0xF8});
        cases.push_back({HideSystem, status, false});
        cases.push_back({HideSystem, status | 0x00101000, false});
        cases.push_back({ShowAll, status, true});
        cases.push_back({5, status, true});
    }
    for (std::int32_t mode : std::initializer_list<std::int32_t>{ShowAll, HideTiming, HideSystem, 5, -1}) {
        cases.push_back({mode, 0x007F40B0, true});
        cases.push_back({mode, 0x004000EF, true});
        cases.push_back({mode, 0x0000007F, true});
    }
    for (const PanelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " message 0x" << std::hex << c.message);
        PanelRig rig;
        rig.start();
        rig.deliver(kNoteOn, c.mode);
        ASSERT_EQ(rig.text(), kNoteOnText);
        rig.host.clear();

        const auto message = static_cast<std::int32_t>(c.message);
        rig.deliver(message, c.mode);
        EXPECT_EQ(rig.text(), c.shown ? formatMidiMessage(message) : kNoteOnText);
        EXPECT_EQ(rig.panel().lastMessage(), message); // hidden or not
        EXPECT_EQ(rig.panel().runningMode(), c.mode);
        // Reads the running mode, then the message, then asks for a paint: always.
        ASSERT_EQ(rig.host.requests.size(), 3u);
        EXPECT_TRUE(rig.host.requests[0].is(PanelReqGetValue, 2, 0));
        EXPECT_TRUE(rig.host.requests[1].is(PanelReqGetValue, 1, 0));
        EXPECT_TRUE(rig.host.requests[2].is(PanelReqRepaint, 0, 0));
    }
}

TEST(MidiMonitorPanel, MessageZeroShowsNoInputInEveryMode) {
    for (std::int32_t mode : std::initializer_list<std::int32_t>{ShowAll, HideTiming, HideSystem, 5}) {
        PanelRig rig;
        rig.start();
        rig.deliver(kNoteOn, mode);
        rig.host.clear();
        rig.deliver(0, mode);
        EXPECT_EQ(rig.text(), kNoInputText) << mode;
        EXPECT_EQ(rig.host.count(PanelReqRepaint), 1) << mode;
    }
}

TEST(MidiMonitorPanel, InputGoneShowsNoInputAndKeepsTheLastMessage) {
    PanelRig rig;
    rig.start();
    rig.deliver(kNoteOn, HideTiming);
    rig.host.clear();
    rig.half.gone(1);
    EXPECT_EQ(rig.text(), kNoInputText);
    EXPECT_EQ(rig.host.ops(), std::vector<std::int32_t>{PanelReqRepaint});
    EXPECT_EQ(rig.panel().lastMessage(), kNoteOn);
}

TEST(MidiMonitorPanel, AnyPinChangeRerunsTheUpdate) {
    PanelRig rig;
    rig.start();
    rig.deliver(0x000000FE, HideTiming); // active sensing: hidden by the panel
    EXPECT_EQ(rig.text(), kNoInputText);
    rig.deliver(0x000000FE, ShowAll, /*changedPin*/ 2); // the running mode changed
    EXPECT_EQ(rig.text(), "SYSTEM: Active Sensing");
    rig.deliver(kNoteOn, ShowAll, /*changedPin*/ 0);
    EXPECT_EQ(rig.text(), kNoteOnText);
}

#if !defined(_WIN32)
TEST(MidiMonitorPanel, PaintsTheWholeLineFromTheLeft) {
    PanelRig rig;
    rig.start();
    rig.deliver(0x007F26B0, ShowAll); // a long controller line
    auto dc = std::make_unique<gdi::RecordingDc>();
    PaintInfo info{40, 0, 0, {}}; // far narrower than the line
    rig.half.paint(reinterpret_cast<HostWord>(dc.get()), &info);
    const gdi::RecordedOp* text = nullptr;
    for (int i = 0; i < dc->opCount; ++i)
        if (dc->ops[i].kind == gdi::RecTextOut) text = &dc->ops[i];
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->a, kTextX);
    EXPECT_STREQ(text->text, "Ch:1|St:CntrChange|Cntr:38 (Data Entry Slider LSB)|Value:127");
    EXPECT_EQ(text->textLength, static_cast<int>(std::strlen(text->text)));
}
#endif

// --- Both halves through a host's routing ---------------------------------------

// One host serving both halves: it answers the DSP half's requests, carries
// each reported "DSP 2 GUI - Out" value to panel pin 1 and tells the panel,
// and holds the running mode at panel pin 2, as the reference host does.
class Joined {
public:
    explicit Joined(std::int16_t mode) {
        host.answer = [this](const Request& r) -> std::optional<HostWord> {
            if (r.record != dspRecord) return std::nullopt;
            switch (r.op) {
            case DspReqPinCount: return 4;
            case DspReqSampleClock: return clock;
            case DspReqPinState: pending.push_back(*outVar); return 0;
            default: return 0;
            }
        };
        outVar = &dsp.variableAs<std::int32_t>(0);
        dsp.variableAs<std::int16_t>(3) = mode;
        host.values[2] = mode;
        panel.start();
        dsp.open();
        route();
    }
    void midi(std::int32_t message) {
        dsp.midi(message, clock);
        ++clock;
        route();
    }
    void closeDsp() {
        dsp.close();
        route();
    }
    const std::string& text() { return panel.text(); }

    FakeHost host;
    DspHalf dsp = DspHalf::make(&makeModule, host.callback(), 0);
    PanelHalf panel = PanelHalf::make(&makeModule, host.callback(), 0);

private:
    void route() {
        for (std::int32_t v : pending) {
            host.values[1] = v;
            panel.changed(1);
        }
        pending.clear();
    }
    void* dspRecord = dsp.record(); // still the DSP half's while it closes
    const std::int32_t* outVar = nullptr;
    std::int32_t clock = 0;
    std::vector<std::int32_t> pending;
};

TEST(MidiMonitorJoined, RunningModesEndToEndAndNoInputWhenTheDspHalfGoes) {
    const std::int32_t stream[] = {kNoteOn, 0x000000F8, 0x000000FE, 0x001043F0, 0x007F40B0};
    const std::string noteOn = kNoteOnText, clock = "SYSTEM: MIDI Clock", sensing = "SYSTEM: Active Sensing",
                      sysex = "SYSTEM: Begin SysEx|Vender ID:67|Data:16",
                      hold = "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:127 (On)";
    const struct {
        std::int16_t mode;
        std::vector<std::string> texts; // after each message of the stream
    } rows[] = {
        {ShowAll, {noteOn, clock, sensing, sysex, hold}},
        {HideTiming, {noteOn, noteOn, noteOn, sysex, hold}}, // the panel hides active sensing
        {HideSystem, {noteOn, noteOn, noteOn, noteOn, hold}},
        {5, {noteOn, clock, sensing, sysex, hold}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        Joined j(row.mode);
        EXPECT_EQ(j.text(), kNoInputText); // the report of open carries 0
        for (std::size_t i = 0; i < std::size(stream); ++i) {
            j.midi(stream[i]);
            EXPECT_EQ(j.text(), row.texts[i]) << "after message " << i;
        }
        j.closeDsp();
        EXPECT_EQ(j.text(), kNoInputText);
    }
}

} // namespace
} // namespace qem
