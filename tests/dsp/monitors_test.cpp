// The five DSP-side monitors driven in-process the way the host drives
// them: through their host records' dispatcher and event entries.
#include "modules/dsp/list_monitor.h"
#include "modules/dsp/value_monitors.h"
#include "modules/dsp/volts_monitor.h"

#include "framework/platform/recording_dc.h"
#include "framework/plugin_entry.h"
#include "tests/support/fake_host.h"
#include "tests/support/halves.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace qem {
namespace {

using test::DspHalf;
using test::FakeHost;
using test::PanelHalf;

std::u16string widen(const char* s) {
    std::u16string w;
    for (; *s != 0; ++s) w += static_cast<char16_t>(static_cast<unsigned char>(*s));
    return w;
}

// --- the DSP half ------------------------------------------------------------

struct PinRow {
    const char* module;
    std::function<DspHalf(FakeHost&)> make;
    std::int32_t index;
    bool exists;
    const char* name = nullptr;
    std::int32_t direction = 0;
    std::int32_t dataType = 0;
    const char* defaultValue = nullptr; // null: not set
    const char* listChoices = nullptr;  // null: not set
    std::int32_t flags = 0;
};

template <class Dsp>
DspHalf makeDsp(FakeHost& host) {
    return DspHalf::make<Dsp>(host);
}

TEST(MonitorPins, DescriptionsOfAllSix) {
    auto f = &makeDsp<FloatMonitorDsp>;
    auto i = &makeDsp<IntMonitorDsp>;
    auto b = &makeDsp<BoolMonitorDsp>;
    auto t = &makeDsp<TextMonitorDsp>;
    auto l = &makeDsp<ListMonitorDsp>;
    auto v = &makeDsp<VoltsMonitorDsp>;
    const char* out = "DSP 2 GUI - Out";
    const char* in = "DSP 2 GUI - In";
    const PinRow rows[] = {
        {"Float", f, 0, true, out, DirOut, DataFloat, nullptr, nullptr, 0x30100},
        {"Float", f, 1, true, in, DirIn, DataFloat, nullptr, nullptr, 0x30500},
        {"Float", f, 2, true, "Float", DirIn, DataFloat, "0.", nullptr, 0x20000},
        {"Float", f, 3, false},
        {"Float", f, -1, false},
        {"Int", i, 0, true, out, DirOut, DataInt, nullptr, nullptr, 0x30100},
        {"Int", i, 1, true, in, DirIn, DataInt, nullptr, nullptr, 0x30500},
        {"Int", i, 2, true, "Int", DirIn, DataInt, "0", nullptr, 0x20000},
        {"Int", i, 3, false},
        {"Bool", b, 0, true, out, DirOut, DataBool, nullptr, nullptr, 0x30100},
        {"Bool", b, 1, true, in, DirIn, DataBool, nullptr, nullptr, 0x30500},
        {"Bool", b, 2, true, "Bool", DirIn, DataBool, "0", nullptr, 0x20000},
        {"Bool", b, 3, false},
        {"Text", t, 0, true, out, DirOut, DataText, nullptr, nullptr, 0x30100},
        {"Text", t, 1, true, in, DirIn, DataText, nullptr, nullptr, 0x30500},
        {"Text", t, 2, true, "Text", DirIn, DataText, "", nullptr, 0x20000},
        {"Text", t, 3, false},
        {"List", l, 0, true, out, DirOut, DataInt, nullptr, nullptr, 0x30100},
        {"List", l, 1, true, in, DirIn, DataInt, nullptr, nullptr, 0x30500},
        {"List", l, 2, true, "List", DirIn, DataList, "0", kDefaultListChoices, 0x20000},
        {"List", l, 3, false},
        {"Volts", v, 0, true, out, DirOut, DataFloat, nullptr, nullptr, 0x30100},
        {"Volts", v, 1, true, in, DirIn, DataFloat, nullptr, nullptr, 0x30500},
        {"Volts", v, 2, true, "Volts", DirIn, DataAudio, nullptr, nullptr, 0x20000},
        {"Volts", v, 3, false},
    };
    // The record is prefilled with a sentinel: a description writes what its
    // pin has and nothing else, never the reserved word.
    const char* const sentinel = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(0xA5A5A5A5A5A5A5A5ull));
    FakeHost host(FakeHost::Half::Dsp);
    auto text = [&](const char* s) {
        return s == sentinel ? std::string("not written") : s != nullptr ? std::string("\"") + s + "\"" : "null";
    };
    for (const PinRow& row : rows) {
        SCOPED_TRACE(std::string(row.module) + " pin " + std::to_string(row.index));
        DspHalf dsp = row.make(host);
        PinProperties p, before;
        std::memset(&p, 0xA5, sizeof p);
        before = p;
        ASSERT_EQ(dsp.op(DspOpGetPinProperties, row.index, 0, &p), row.exists ? 1 : 0);
        if (!row.exists) {
            EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
            continue;
        }
        EXPECT_NE(p.variable, nullptr);
        EXPECT_NE(p.variable, sentinel);
        EXPECT_STREQ(p.name, row.name);
        EXPECT_EQ(p.direction, row.direction);
        EXPECT_EQ(p.dataType, row.dataType);
        EXPECT_EQ(text(p.defaultValue), row.defaultValue ? text(row.defaultValue) : "not written");
        EXPECT_EQ(text(p.listChoices), row.listChoices ? text(row.listChoices) : "not written");
        EXPECT_EQ(p.flags, row.flags);
        EXPECT_EQ(p.reserved, before.reserved);
    }
}

TEST(MonitorPins, EachPinHasAVariableOfItsOwn) {
    FakeHost host(FakeHost::Half::Dsp);
    DspHalf dsp = DspHalf::make<ListMonitorDsp>(host);
    void* a = dsp.variable(0);
    void* b = dsp.variable(1);
    void* c = dsp.variable(2);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_NE(a, c);
    // The 32-bit out value must not overlap the 16-bit input.
    auto lo = [](void* p) { return reinterpret_cast<std::uintptr_t>(p); };
    EXPECT_TRUE(lo(a) + 4 <= lo(c) || lo(c) + 2 <= lo(a));
}

// One member of the family, as the forwarding tests see it.
template <class DspT, class InT, class OutT>
struct Member {
    using Dsp = DspT;
    using In = InT;
    using Out = OutT;
};
struct FloatMember : Member<FloatMonitorDsp, float, float> {
    static constexpr float kIn = 0.1f, kOut = 0.1f;
};
struct IntMember : Member<IntMonitorDsp, std::int32_t, std::int32_t> {
    static constexpr std::int32_t kIn = INT32_MIN, kOut = INT32_MIN;
};
struct BoolMember : Member<BoolMonitorDsp, std::uint8_t, std::uint8_t> {
    static constexpr std::uint8_t kIn = 2, kOut = 2; // the byte goes over as it is
};
struct ListMember : Member<ListMonitorDsp, std::int16_t, std::int32_t> {
    static constexpr std::int16_t kIn = -32768;
    static constexpr std::int32_t kOut = -32768; // widened with its sign
};

template <class M>
class ForwardingMonitor : public ::testing::Test {
protected:
    ForwardingMonitor() {
        host.pinCount = 2; // "DSP 2 GUI - In" is the panel's: two DSP pins
        dsp.op(DspOpOpen);
        host.clear();
    }
    typename M::In& input() { return *static_cast<typename M::In*>(dsp.variable(2)); }
    typename M::Out output() { return *static_cast<typename M::Out*>(dsp.variable(0)); }

    FakeHost host{FakeHost::Half::Dsp};
    DspHalf dsp = DspHalf::make<typename M::Dsp>(host);
};

using ForwardingMembers = ::testing::Types<FloatMember, IntMember, BoolMember, ListMember>;
TYPED_TEST_SUITE(ForwardingMonitor, ForwardingMembers);

TYPED_TEST(ForwardingMonitor, AStateChangeHandsTheValueOverWithTheClock) {
    this->input() = TypeParam::kIn;
    this->host.sampleClock = 4410;
    this->dsp.pinEvent(1, StateChanged, 4410);
    EXPECT_EQ(this->output(), TypeParam::kOut);
    ASSERT_EQ(this->host.ops(), (std::vector<std::int32_t>{DspReqSampleClock, DspReqPinState}));
    const test::Request& sent = this->host.requests[1];
    EXPECT_TRUE(sent.is(DspReqPinState, 0, StateChanged));
    EXPECT_EQ(reinterpret_cast<HostWord>(sent.ptr), 4410);
    EXPECT_EQ(sent.opt, 0.0f);
    EXPECT_EQ(sent.record, this->dsp.record());
}

TYPED_TEST(ForwardingMonitor, EveryNotificationIsForwardedEvenWithoutANewValue) {
    this->input() = TypeParam::kIn;
    this->dsp.pinEvent(1, StateChanged);
    this->dsp.pinEvent(1, StateChanged);   // the same value again
    this->dsp.pinEvent(1, StateStreaming); // other states too
    this->dsp.pinEvent(1, StateStatic);    // e.g. a pin that stops streaming
    this->dsp.pinEvent(0, StateChanged);   // and whichever pin it names
    EXPECT_EQ(this->host.count(DspReqPinState), 5);
    EXPECT_EQ(this->output(), TypeParam::kOut);
}

TYPED_TEST(ForwardingMonitor, OpenInstallsTheIdleFunctionOnly) {
    FakeHost& host = this->host;
    host.pinCount = 2;
    DspHalf fresh = DspHalf::make<typename TypeParam::Dsp>(host);
    ProcessEntry empty = fresh.record()->process;
    host.clear();
    fresh.op(DspOpOpen);
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{DspReqProcessChanged, DspReqPinCount}));
    EXPECT_NE(fresh.record()->process, empty);
    host.clear();
    fresh.process(0, 64);
    EXPECT_EQ(host.ops(), std::vector<std::int32_t>{DspReqIdle});
}

class TextMonitorDspTest : public ::testing::Test {
protected:
    TextMonitorDspTest() {
        host.pinCount = 2;
        dsp.op(DspOpOpen);
        host.clear();
    }
    const char*& input() { return *static_cast<const char**>(dsp.variable(2)); }
    const char* output() { return *static_cast<const char**>(dsp.variable(0)); }

    FakeHost host{FakeHost::Half::Dsp};
    DspHalf dsp = DspHalf::make<TextMonitorDsp>(host);
};

TEST_F(TextMonitorDspTest, HandsTheTextPointerOverWithRequest21) {
    const char* text = "hello, world";
    input() = text;
    dsp.pinEvent(1, StateChanged);
    ASSERT_EQ(host.ops(), std::vector<std::int32_t>{DspReqSendText}); // no clock, no pin change
    const test::Request& r = host.requests[0];
    EXPECT_TRUE(r.is(DspReqSendText, 0, 0));
    EXPECT_EQ(r.ptr, text);
    EXPECT_EQ(r.opt, 0.0f);
    EXPECT_EQ(output(), text);
    dsp.pinEvent(1, StateChanged);
    EXPECT_EQ(host.count(DspReqSendText), 2);
}

TEST_F(TextMonitorDspTest, ANullTextGoesOverAsTheEmptyText) {
    input() = nullptr;
    dsp.pinEvent(1, StateChanged);
    ASSERT_EQ(host.requests.size(), 1u);
    ASSERT_NE(host.requests[0].ptr, nullptr);
    EXPECT_STREQ(static_cast<const char*>(host.requests[0].ptr), "");
    ASSERT_NE(output(), nullptr);
    EXPECT_STREQ(output(), "");
}

// --- the panel half ------------------------------------------------------------

struct PanelModule {
    const char* name;
    std::function<PanelHalf(FakeHost&)> make;
    const char* defaultText;
    std::int32_t readOp; // the request that reads pin 1
};

template <class Panel>
PanelHalf makePanel(FakeHost& host) {
    return PanelHalf::make<Panel>(host);
}

const PanelModule kFloat{"Float", &makePanel<FloatMonitorPanel>, "0.", PanelReqGetValue};
const PanelModule kInt{"Int", &makePanel<IntMonitorPanel>, "0", PanelReqGetValue};
const PanelModule kBool{"Bool", &makePanel<BoolMonitorPanel>, "FALSE", PanelReqGetValue};
const PanelModule kText{"Text", &makePanel<TextMonitorPanel>, "", PanelReqGetText};
const PanelModule kList{"List", &makePanel<ListMonitorPanel>, "0 - Zero", PanelReqGetValue};
const PanelModule* const kPanels[] = {&kFloat, &kInt, &kBool, &kText, &kList};

// A host that holds the list monitor's declared choices for panel pin 2.
void holdDeclaredList(FakeHost& host) { host.choices[2] = widen(kDefaultListChoices); }

TEST(MonitorPanel, StartShowsTheDefaultTextWithoutRepaintAndInputGoneRepaints) {
    for (const PanelModule* m : kPanels) {
        SCOPED_TRACE(m->name);
        FakeHost host;
        holdDeclaredList(host);
        PanelHalf panel = m->make(host);
        EXPECT_EQ(panel.text(), "");
        EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{PanelReqSetup11, PanelReqSetup3, PanelReqSetup4}));
        host.clear();
        panel.op(PanelOpStart, 0);
        EXPECT_EQ(panel.text(), m->defaultText);
        EXPECT_EQ(host.count(PanelReqRepaint), 0);

        host.values[1] = 7;
        host.texts[1] = "seven";
        panel.op(PanelOpPinValueChanged, 1);
        EXPECT_NE(panel.text(), m->defaultText);
        host.clear();
        panel.op(PanelOpInputGone, 3);
        EXPECT_EQ(panel.text(), m->defaultText);
        EXPECT_EQ(host.count(PanelReqRepaint), 1);
        EXPECT_EQ(host.requests.back().op, PanelReqRepaint); // after the text is in place
        // A restart (pins exist) shows the default text again.
        panel.op(PanelOpStart, 1);
        EXPECT_EQ(panel.text(), m->defaultText);
    }
}

struct ValueRow {
    const PanelModule* module;
    std::function<void(FakeHost&)> setPin1;
    std::string text;
};

TEST(MonitorPanel, ValuesOnPin1BecomeText) {
    auto value = [](std::int32_t v) { return [v](FakeHost& h) { h.values[1] = v; }; };
    auto real = [](float f) { return [f](FakeHost& h) { h.setFloat(1, f); }; };
    auto text = [](std::string s) { return [s](FakeHost& h) { h.texts[1] = s; }; };
    const ValueRow rows[] = {
        {&kFloat, real(0.1f), "0.1000000015"},
        {&kFloat, real(-2.5f), "-2.5"},
        {&kFloat, real(1e10f), "1.e+010"},
        {&kFloat, real(-0.0f), "0."},
        {&kFloat, value(static_cast<std::int32_t>(0xFFC00000u)), "-1.#IND"},
        {&kInt, value(INT32_MIN), "-2147483648"},
        {&kInt, value(INT32_MAX), "2147483647"},
        {&kInt, value(-5), "-5"},
        {&kBool, value(1), "TRUE"},
        {&kBool, value(-1), "TRUE"},
        {&kBool, value(256), "TRUE"}, // all four bytes count, not just the low one
        {&kBool, value(INT32_MIN), "TRUE"},
        {&kBool, value(0), "FALSE"},
        {&kText, text("hello"), "hello"},
        {&kText, text(""), ""},
        {&kText, text("  spaced \t out  "), "  spaced \t out  "},
        {&kText, text(std::string(300, 'w')), std::string(300, 'w')},
        {&kText, text("caf\xE9"), "caf\xE9"},
        {&kList, value(3), "3 - Three"},
        {&kList, value(20), "20 - Twenty"},
        {&kList, value(100), "100 - One Hundred"},
        {&kList, value(0), "0 - Zero"},
        {&kList, value(11), "11 - ???"},
        {&kList, value(42), "42 - ???"},
        {&kList, value(-1), "-1 - ???"},
        {&kList, value(32767), "32767 - ???"},
        {&kList, value(-32768), "-32768 - ???"},
        {&kList, value(INT32_MAX), "2147483647 - ???"}, // its float key saturates
        {&kList, value(INT32_MIN), "-2147483648 - ???"},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(std::string(row.module->name) + " -> " + row.text);
        FakeHost host;
        holdDeclaredList(host);
        PanelHalf panel = row.module->make(host);
        panel.op(PanelOpStart, 0);
        row.setPin1(host);
        host.clear();
        panel.op(PanelOpPinValueChanged, 1);
        EXPECT_EQ(panel.text(), row.text);
        EXPECT_EQ(host.count(PanelReqRepaint), 1);
        EXPECT_EQ(host.requests.back().op, PanelReqRepaint);
        ASSERT_FALSE(host.requests.empty());
        EXPECT_EQ(host.requests[0].op, row.module->readOp);
        EXPECT_EQ(host.requests[0].index, 1);
    }
}

TEST(MonitorPanel, ReadsPin1WhicheverPinTheHostNames) {
    for (const PanelModule* m : kPanels) {
        SCOPED_TRACE(m->name);
        FakeHost host;
        holdDeclaredList(host);
        PanelHalf panel = m->make(host);
        panel.op(PanelOpStart, 0);
        for (std::int32_t p : {0, 2, 9}) {
            host.values[p] = 50 + p; // other pins hold other values
            host.texts[p] = "pin " + std::to_string(p);
        }
        host.values[1] = 1;
        host.texts[1] = "one";
        panel.op(PanelOpPinValueChanged, 1);
        const std::string shown = panel.text();
        for (HostWord named : {0, 2, 9}) {
            host.clear();
            panel.op(PanelOpPinValueChanged, named);
            ASSERT_FALSE(host.requests.empty());
            EXPECT_EQ(host.requests[0].index, 1) << named;
            EXPECT_EQ(host.count(PanelReqRepaint), 1) << named;
            EXPECT_EQ(panel.text(), shown) << named;
        }
    }
}

TEST(MonitorPanel, TheSameValueTwiceRepaintsTwice) {
    FakeHost host;
    PanelHalf panel = PanelHalf::make<FloatMonitorPanel>(host);
    panel.op(PanelOpStart, 0);
    host.setFloat(1, 1.0f);
    host.clear();
    panel.op(PanelOpPinValueChanged, 1);
    panel.op(PanelOpPinValueChanged, 1);
    EXPECT_EQ(host.count(PanelReqRepaint), 2);
    EXPECT_EQ(panel.text(), "1.");
}

TEST(MonitorPanel, TextAnsweredWithNullShowsEmpty) {
    FakeHost host;
    PanelHalf panel = PanelHalf::make<TextMonitorPanel>(host);
    panel.op(PanelOpStart, 0);
    host.texts[1] = "before";
    panel.op(PanelOpPinValueChanged, 1);
    ASSERT_EQ(panel.text(), "before");
    host.nullText = true;
    host.clear();
    panel.op(PanelOpPinValueChanged, 1);
    EXPECT_EQ(panel.text(), "");
    EXPECT_EQ(host.count(PanelReqRepaint), 1);
}

TEST(MonitorPanel, LastValuesFollowTheShownValue) {
    {
        FakeHost host;
        PanelHalf panel = PanelHalf::make<BoolMonitorPanel>(host);
        panel.op(PanelOpStart, 0);
        host.values[1] = 256;
        panel.op(PanelOpPinValueChanged, 1);
        EXPECT_EQ(panel.as<BoolMonitorPanel>().lastValue(), 1); // stored as one byte 1
        panel.op(PanelOpInputGone, 0);
        EXPECT_EQ(panel.as<BoolMonitorPanel>().lastValue(), 0);
    }
    {
        FakeHost host;
        holdDeclaredList(host);
        PanelHalf panel = PanelHalf::make<ListMonitorPanel>(host);
        panel.op(PanelOpStart, 0);
        host.values[1] = 16777217;
        panel.op(PanelOpPinValueChanged, 1);
        EXPECT_EQ(panel.as<ListMonitorPanel>().lastValue(), 16777216.0f);
        EXPECT_EQ(panel.text(), "16777217 - ???"); // the number is the exact value
        panel.op(PanelOpInputGone, 0);
        EXPECT_EQ(panel.as<ListMonitorPanel>().lastValue(), 0.0f);
    }
}

TEST(ListMonitorPanelTest, NamesComeFromTheHostsListOfPin2AtEveryLookup) {
    FakeHost host;
    host.choices[2] = u"Ichi=1,Ni,San";
    PanelHalf panel = PanelHalf::make<ListMonitorPanel>(host);
    host.clear();
    panel.op(PanelOpStart, 0);
    EXPECT_EQ(panel.text(), "0 - ???");
    host.values[1] = 3;
    panel.op(PanelOpPinValueChanged, 1);
    EXPECT_EQ(panel.text(), "3 - San");
    host.choices[2] = u"Drei=3";
    panel.op(PanelOpPinValueChanged, 1);
    EXPECT_EQ(panel.text(), "3 - Drei");
    panel.op(PanelOpInputGone, 0);
    EXPECT_EQ(panel.text(), "0 - ???");
    int lookups = 0;
    for (const test::Request& r : host.requests) {
        if (r.op != PanelReqGetChoices) continue;
        ++lookups;
        EXPECT_TRUE(r.is(PanelReqGetChoices, 2, 1000));
    }
    EXPECT_EQ(lookups, 4); // start, two changes, input gone: nothing cached
}

TEST(ListMonitorPanelTest, AHostWithoutAListShowsNumbersOnly) {
    FakeHost host; // no choices for pin 2
    PanelHalf panel = PanelHalf::make<ListMonitorPanel>(host);
    panel.op(PanelOpStart, 0);
    EXPECT_EQ(panel.text(), "0 - ???");
    host.values[1] = 5;
    panel.op(PanelOpPinValueChanged, 1);
    EXPECT_EQ(panel.text(), "5 - ???");
}

#if !defined(_WIN32)
TEST(MonitorPanel, PaintDrawsNothingBeforeStartAndTheValueAfter) {
    FakeHost host;
    PanelHalf panel = PanelHalf::make<IntMonitorPanel>(host);
    auto dc = std::make_unique<gdi::RecordingDc>();
    PaintInfo info{};
    info.width = 100;
    auto drawn = [&]() {
        dc->clearOps();
        panel.op(PanelOpPaint, reinterpret_cast<HostWord>(dc.get()), 0, &info);
        std::string out;
        for (int k = 0; k < dc->opCount; ++k)
            if (dc->ops[k].kind == gdi::RecTextOut) out += dc->ops[k].text;
        return out;
    };
    EXPECT_EQ(drawn(), "");
    panel.op(PanelOpStart, 0);
    EXPECT_EQ(drawn(), "0");
    host.values[1] = -42;
    panel.op(PanelOpPinValueChanged, 1);
    EXPECT_EQ(drawn(), "-42");
}
#endif

// --- one value's road, DSP half to panel half ---------------------------------

TEST(MonitorRoad, AListValueCrossesFromInputToPanelText) {
    std::int32_t carried = 0;
    {
        FakeHost host(FakeHost::Half::Dsp);
        host.pinCount = 2;
        DspHalf dsp = DspHalf::make<ListMonitorDsp>(host);
        dsp.op(DspOpOpen);
        *static_cast<std::int16_t*>(dsp.variable(2)) = 20;
        dsp.pinEvent(1, StateChanged);
        ASSERT_EQ(host.count(DspReqPinState), 1);
        carried = *static_cast<std::int32_t*>(dsp.variable(0)); // what the host carries over
    }
    FakeHost host;
    holdDeclaredList(host);
    PanelHalf panel = PanelHalf::make<ListMonitorPanel>(host);
    panel.op(PanelOpStart, 0);
    host.values[1] = carried;
    panel.op(PanelOpPinValueChanged, 1);
    EXPECT_EQ(panel.text(), "20 - Twenty");
}

} // namespace
} // namespace qem
