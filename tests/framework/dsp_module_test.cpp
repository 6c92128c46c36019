#include "framework/dsp_module.h"
#include "tests/support/fake_host.h"

#include <gtest/gtest.h>

#include <vector>

namespace qem {
namespace {

using test::FakeHost;

// A DSP half that describes a chosen pin table and records its hooks.
class HookDsp : public DspModule {
public:
    struct Described {
        std::int32_t flags;
        void* variable;
    };
    std::vector<Described> table;
    std::vector<std::string> calls;
    std::int32_t stateSeen = -1;
    static inline int destroyed = 0;

    using DspModule::DspModule;
    ~HookDsp() override { ++destroyed; }

    bool getPinProperties(std::int32_t index, PinProperties* p) override {
        if (index < 0 || index >= static_cast<std::int32_t>(table.size())) return false;
        p->flags = table[index].flags;
        p->variable = table[index].variable;
        p->name = "pin";
        return true;
    }
    void onPinStateChanged(DspPin& pin) override {
        stateSeen = pin.state;
        calls.push_back("pin " + std::to_string(pin.index));
    }
    void onDspOp8() override { calls.push_back("op8"); }
    void onDspOp8Index(HostWord i) override { calls.push_back("op8 " + std::to_string(i)); }
    void onMidiEvent(std::int32_t time, std::int32_t message, std::int16_t extra) override {
        calls.push_back("midi " + std::to_string(time) + " " + std::to_string(message) + " " + std::to_string(extra));
    }
    void onDspOp12(HostWord value, HostWord index, void*) override {
        calls.push_back("op12 " + std::to_string(value) + " " + std::to_string(index));
    }
    void close() override { calls.push_back("close"); }
    void tick() { calls.push_back("tick"); }
};

HostWord dispatchTo(DspModule& m, std::int32_t op, HostWord index = 0, HostWord value = 0, void* ptr = nullptr,
                    float opt = 0) {
    DspHostRecord* r = m.record();
    return r->dispatcher(r, op, index, value, ptr, opt);
}

void sendEvent(DspModule& m, DspEvent event) { m.record()->event(m.record()->object, &event); }

struct DspFixture : ::testing::Test {
    FakeHost host{FakeHost::Half::Dsp};
    HookDsp* dsp = new HookDsp(host.callback(), 77);
    void TearDown() override {
        if (dsp != nullptr) dispatchTo(*dsp, DspOpClose);
    }
};

TEST_F(DspFixture, RecordAndDefaultsAfterConstruction) {
    const DspHostRecord& r = *dsp->record();
    EXPECT_EQ(r.magic, 0x5345504Cu);
    EXPECT_EQ(r.version, 1);
    EXPECT_EQ(r.hostValue, 77);
    EXPECT_EQ(r.object, static_cast<DspModule*>(dsp));
    EXPECT_EQ(r.reserved16, 0);
    for (std::int32_t w : r.reserved32) EXPECT_EQ(w, 0);
    EXPECT_NE(r.dispatcher, nullptr);
    EXPECT_NE(r.event, nullptr);
    EXPECT_EQ(r.process, DspModule::emptyProcess().entry);
    EXPECT_EQ(dsp->getSampleRate(), 44100.0f);
    EXPECT_EQ(dsp->getBlockSize(), 1024);
    EXPECT_TRUE(host.requests.empty());

    EXPECT_EQ(dispatchTo(*dsp, DspOpSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(dispatchTo(*dsp, DspOpSetBlockSize, 0, 256), 0);
    EXPECT_EQ(dsp->getSampleRate(), 48000.0f);
    EXPECT_EQ(dsp->getBlockSize(), 256);
}

TEST_F(DspFixture, DispatcherOpsAndResults) {
    dsp->table = {{0, nullptr}};
    PinProperties props{};
    EXPECT_EQ(dispatchTo(*dsp, DspOpGetPinProperties, 0, 0, &props), 1);
    EXPECT_EQ(dispatchTo(*dsp, DspOpGetPinProperties, 1, 0, &props), 0); // past the last pin

    dispatchTo(*dsp, DspOpHook8, 0);
    dispatchTo(*dsp, DspOpHook8, 3);
    dispatchTo(*dsp, DspOpHook12, 5, 9);
    EXPECT_EQ(dsp->calls, (std::vector<std::string>{"op8", "op8", "op8 3", "op12 9 5"}));

    for (std::int32_t op : {4, 5, 7, 9, 10, 11, 14, 99, -1}) EXPECT_EQ(dispatchTo(*dsp, op, 1, 1), 0) << op;

    auto* info = reinterpret_cast<const ProcessFunctionInfo*>(dispatchTo(*dsp, DspOpProcessInfo));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->one, 1);
    EXPECT_EQ(info->size, 16);
    EXPECT_EQ(info->function, &dsp->processFunction());
    EXPECT_EQ(info->zero, 0);
}

TEST_F(DspFixture, CloseRunsCloseThenDestroys) {
    int before = HookDsp::destroyed;
    EXPECT_EQ(dispatchTo(*dsp, DspOpClose), 1);
    dsp = nullptr;
    EXPECT_EQ(HookDsp::destroyed, before + 1);
}

TEST_F(DspFixture, OpenBindsAllButPanelOnlyPins) {
    float v0 = 0, v1 = 0, v2 = 0, v3 = 0;
    dsp->table = {{PinFlagsDspToGuiOut, &v0}, {PinFlagsDspToGuiIn, &v1}, {PinFlagsInput, &v2}, {PinFlagsSetting, &v3}};
    host.pinCount = 4;
    dispatchTo(*dsp, DspOpOpen);
    EXPECT_EQ(host.count(DspReqPinCount), 1);
    ASSERT_EQ(dsp->pinCount(), 4);
    EXPECT_EQ(dsp->pinAt(0).variable, &v0);
    EXPECT_EQ(dsp->pinAt(1).variable, &v2); // the panel-only pin takes no place
    EXPECT_EQ(dsp->pinAt(2).variable, &v3); // panel and DSP: bound
    EXPECT_EQ(dsp->pinAt(2).index, 2);
    EXPECT_EQ(dsp->pinAt(2).module, dsp);
    EXPECT_EQ(dsp->pinAt(3).module, nullptr); // the host holds one more than the module binds
    EXPECT_EQ(dsp->pinAt(3).variable, nullptr);
}

TEST_F(DspFixture, OpenStopsAtTheHostsPinCount) {
    float v[3] = {};
    dsp->table = {{0, &v[0]}, {0, &v[1]}, {0, &v[2]}};
    host.pinCount = 2;
    dispatchTo(*dsp, DspOpOpen);
    EXPECT_EQ(dsp->pinCount(), 2);
    EXPECT_EQ(dsp->pinAt(1).variable, &v[1]);
}

TEST_F(DspFixture, PinStateEvents) {
    float v[2] = {};
    dsp->table = {{0, &v[0]}, {0, &v[1]}};
    host.pinCount = 2;
    dispatchTo(*dsp, DspOpOpen);

    sendEvent(*dsp, {0, PinStateEvent, StateChanged, 0, 1, 0});
    EXPECT_EQ(dsp->stateSeen, StateChanged);
    EXPECT_EQ(dsp->pinAt(1).state, StateStatic); // a one-off change falls back to static

    sendEvent(*dsp, {0, PinStateEvent, StateStreaming, 0, 1, 0});
    EXPECT_EQ(dsp->pinAt(1).state, StateStreaming);

    // Events naming a pin the array does not hold are ignored.
    dsp->calls.clear();
    for (HostWord stray : {HostWord(2), HostWord(-1), HostWord(1000000)})
        sendEvent(*dsp, {0, PinStateEvent, StateChanged, 0, stray, 0});
    sendEvent(*dsp, {0, 7, 1, 2, 0, 0}); // unknown type
    EXPECT_TRUE(dsp->calls.empty());
}

TEST_F(DspFixture, EventsWithoutPinsAreIgnored) {
    host.pinCount = 0;
    dispatchTo(*dsp, DspOpOpen);
    sendEvent(*dsp, {0, PinStateEvent, StateChanged, 0, 0, 0});
    EXPECT_TRUE(dsp->calls.empty());
    dsp->pinAt(0).sendState(5, StateChanged); // a blank pin reports nothing
    EXPECT_EQ(host.count(DspReqPinState), 0);
}

TEST_F(DspFixture, MidiEventPassesTheLow16BitsOfValue2) {
    sendEvent(*dsp, {12, MidiEvent, 0x643C90, 0x12345678, 0, 0});
    sendEvent(*dsp, {13, MidiEvent, 0xF8, 0xFFFF, 0, 0});
    EXPECT_EQ(dsp->calls, (std::vector<std::string>{"midi 12 6569104 22136", "midi 13 248 -1"}));
}

TEST_F(DspFixture, RequestsOfTheBase) {
    float v = 0;
    dsp->table = {{0, &v}};
    host.pinCount = 1;
    host.sampleClock = 4410;
    dispatchTo(*dsp, DspOpOpen);
    host.clear();

    EXPECT_EQ(dsp->getSampleClock(), 4410);
    dsp->pinAt(0).sendState(4410, StateChanged);
    ASSERT_EQ(host.requests.size(), 2u);
    EXPECT_TRUE(host.requests[0].is(DspReqSampleClock, 0, 0));
    EXPECT_TRUE(host.requests[1].is(DspReqPinState, 0, StateChanged));
    EXPECT_EQ(reinterpret_cast<HostWord>(host.requests[1].ptr), 4410);
    EXPECT_EQ(host.requests[1].record, dsp->record());

    host.clear();
    dsp->scheduleCall(5000, DspModule::operationFor<HookDsp, &HookDsp::tick>());
    ASSERT_EQ(host.scheduled.size(), 1u);
    DspEvent e = host.scheduled[0];
    EXPECT_EQ(e.time, 5000);
    EXPECT_EQ(e.type, CallEvent);
    EXPECT_EQ(e.value1, 0);
    EXPECT_EQ(e.value2, 0);
    EXPECT_EQ(e.reserved, 0);
    EXPECT_TRUE(host.requests[0].is(DspReqScheduleCall, 0, 0));
    dsp->calls.clear();
    sendEvent(*dsp, e); // the host hands it back at its time
    EXPECT_EQ(dsp->calls, std::vector<std::string>{"tick"});
}

TEST_F(DspFixture, SetProcessFunctionTellsTheHostOnlyOfChanges) {
    dsp->setProcessFunction(DspModule::emptyProcess());
    EXPECT_EQ(host.count(DspReqProcessChanged), 0);

    dsp->setProcessFunction(DspModule::idleProcess());
    EXPECT_EQ(host.count(DspReqProcessChanged), 1);
    EXPECT_EQ(dsp->record()->process, DspModule::idleProcess().entry);
    dsp->setProcessFunction(DspModule::idleProcess());
    EXPECT_EQ(host.count(DspReqProcessChanged), 1);

    ProcessFunction tagged = DspModule::idleProcess();
    tagged.word2 = 5; // same code, other words: a change
    dsp->setProcessFunction(tagged);
    EXPECT_EQ(host.count(DspReqProcessChanged), 2);
}

TEST_F(DspFixture, IdleAndEmptyProcessing) {
    DspModule::emptyProcess().entry(dsp, 0, 64);
    EXPECT_TRUE(host.requests.empty());
    DspModule::idleProcess().entry(dsp, 0, 64);
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_TRUE(host.requests[0].is(DspReqIdle, 0, 0));
    EXPECT_EQ(host.requests[0].ptr, nullptr);
}

TEST(DspModule, WithoutCallbackNothingIsSentAndNoPinIsBound) {
    float v = 0;
    auto* dsp = new HookDsp(nullptr, 0);
    dsp->table = {{0, &v}};
    dispatchTo(*dsp, DspOpOpen);
    EXPECT_EQ(dsp->pinCount(), 0);
    EXPECT_EQ(dsp->getSampleClock(), 0);
    dsp->pinAt(0).sendState(0, StateChanged);
    dsp->scheduleCall(1, DspModule::operationFor<HookDsp, &HookDsp::tick>());
    dsp->setProcessFunction(DspModule::idleProcess());
    DspModule::idleProcess().entry(dsp, 0, 1);
    EXPECT_EQ(dispatchTo(*dsp, DspOpClose), 1);
}

TEST(BareDsp, DescribesNoPinsAndIdles) {
    FakeHost host{FakeHost::Half::Dsp};
    host.pinCount = 3;
    auto* dsp = new BareDsp(host.callback(), 0);
    PinProperties props{};
    EXPECT_EQ(dispatchTo(*dsp, DspOpGetPinProperties, 0, 0, &props), 0);
    dispatchTo(*dsp, DspOpOpen);
    EXPECT_EQ(dsp->record()->process, DspModule::idleProcess().entry);
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{DspReqProcessChanged, DspReqPinCount}));
    EXPECT_EQ(dsp->pinAt(0).module, nullptr);
    dispatchTo(*dsp, DspOpClose);
}

} // namespace
} // namespace qem
