// The voltage monitor's DSP half driven through its record as a host drives
// it: the report period from the sample rate, the chain of timed reports
// while the input streams, the settling report one block after it stops,
// and the single-precision sum.
#include "modules/dsp/volts_monitor.h"

#include "tests/support/fake_host.h"
#include "tests/support/halves.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

namespace qem {
namespace {

using test::DspHalf;
using test::FakeHost;
using test::Request;

TEST(VoltsReportPeriod, RateTimesTheSinglePrecisionFactorTruncated) {
    const std::pair<float, std::int32_t> cases[] = {
        {44100.0f, 2205}, {48000.0f, 2400}, {22050.0f, 1102}, {96000.0f, 4800}, {8000.0f, 400},
        {20.0f, 1},        // exactly one sample
        {19.0f, 1},        // less than one: still one, never a tick at the same sample
        {0.0f, 1},         {-44100.0f, 1}, {std::numeric_limits<float>::quiet_NaN(), 1},
        {std::numeric_limits<float>::infinity(), INT32_MAX}, {1e30f, INT32_MAX},
    };
    for (auto [rate, period] : cases) EXPECT_EQ(VoltsMonitorDsp::reportPeriodFor(rate), period) << rate;
}

// One DSP half with a host that owns the audio buffer of "Volts" and keeps
// the sample clock; the half's calls come back as the host hands them back.
class Volts : public ::testing::Test {
protected:
    static constexpr std::int32_t kBlock = 64;

    void SetUp() override {
        host.pinCount = 2; // "DSP 2 GUI - Out" and "Volts"
        out = &dsp.variableAs<float>(0);
        host.answer = [this](const Request& r) -> std::optional<HostWord> {
            if (r.op == DspReqPinState) reported.push_back(*out); // the host reads the variable
            return std::nullopt;
        };
        buffer.assign(kBlock, 0.0f);
        dsp.op(DspOpSetBlockSize, 0, kBlock);
    }
    void open(float rate = 44100.0f) {
        dsp.op(DspOpSetSampleRate, 0, 0, nullptr, rate);
        bindBuffer();
        dsp.open();
    }
    void bindBuffer() { dsp.variableAs<const float*>(2) = buffer.data(); }
    float outValue() const { return *out; }
    VoltsMonitorDsp& volts() { return dsp.as<VoltsMonitorDsp>(); }

    // count samples of value v processed at the current clock, in one call.
    void run(std::int32_t count, float v) {
        std::fill(buffer.begin(), buffer.end(), v);
        dsp.process(0, count);
        host.sampleClock += count;
    }
    // Delivers the calls scheduled so far whose time has come.
    void deliverDue() {
        std::vector<DspEvent> due;
        for (auto it = host.scheduled.begin(); it != host.scheduled.end();) {
            if (it->time <= host.sampleClock) {
                due.push_back(*it);
                it = host.scheduled.erase(it);
            } else {
                ++it;
            }
        }
        for (const DspEvent& e : due) dsp.deliver(e);
    }
    int count(std::int32_t op) const { return host.count(op); }

    FakeHost host{FakeHost::Half::Dsp};
    DspHalf dsp = DspHalf::make<VoltsMonitorDsp>(host);
    const float* out = nullptr;  // "DSP 2 GUI - Out"
    std::vector<float> buffer;
    std::vector<float> reported; // the out value at each report
};

TEST_F(Volts, OpenStartsSettledAndTheFirstProcessingCallReportsAtOnce) {
    open();
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{DspReqProcessChanged, DspReqPinCount}));
    EXPECT_EQ(volts().reportPeriod(), 2205);
    EXPECT_TRUE(volts().timerIdle());
    EXPECT_EQ(outValue(), 0.0f);
    host.clear();
    host.sampleClock = 10;
    buffer[0] = 0.3f;
    dsp.process(0, 16);
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{DspReqSampleClock, DspReqPinState, DspReqIdle}));
    EXPECT_TRUE(host.requests[1].is(DspReqPinState, 0, StateChanged));
    EXPECT_EQ(reinterpret_cast<HostWord>(host.requests[1].ptr), 10);
    EXPECT_EQ(reported, std::vector<float>{0.3f * 10.0f});
}

TEST_F(Volts, TheReportPeriodIsFixedAtOpen) {
    open(48000.0f);
    EXPECT_EQ(volts().reportPeriod(), 2400);
    dsp.op(DspOpSetSampleRate, 0, 0, nullptr, 22050.0f);
    EXPECT_EQ(volts().reportPeriod(), 2400);
    host.sampleClock = 100;
    dsp.pinEvent(1, StateStreaming);
    ASSERT_EQ(host.scheduled.size(), 1u);
    EXPECT_EQ(host.scheduled[0].time, 100 + 2400);
}

TEST_F(Volts, StreamingReportsTheMeanOfEachPeriodOnAChainOfTicks) {
    open(1280.0f); // a period of 64 samples: one block
    ASSERT_EQ(volts().reportPeriod(), 64);
    host.clear();
    dsp.pinEvent(1, StateStreaming);
    EXPECT_EQ(host.ops(), (std::vector<std::int32_t>{DspReqProcessChanged, DspReqSampleClock, DspReqScheduleCall}));
    const DspEvent tick = host.scheduled.at(0);
    EXPECT_EQ(tick.time, 64);
    EXPECT_EQ(tick.type, CallEvent);
    EXPECT_EQ(tick.value1, 0);
    EXPECT_EQ(tick.value2, 0);
    EXPECT_NE(tick.value3, 0);
    EXPECT_EQ(tick.reserved, 0);
    EXPECT_TRUE(reported.empty()) << "streaming reports only on its ticks";

    // 0.25 for a quarter, 0.75 for the rest: the mean is 0.625.
    run(16, 0.25f);
    run(48, 0.75f);
    EXPECT_EQ(volts().sampleCount(), 64);
    deliverDue();
    EXPECT_EQ(reported, std::vector<float>{6.25f});
    EXPECT_EQ(volts().sampleCount(), 0);
    EXPECT_EQ(volts().sum(), 0.0f);
    ASSERT_EQ(host.scheduled.size(), 1u) << "the next tick";
    EXPECT_EQ(host.scheduled[0].time, 128);
    run(64, -0.5f);
    deliverDue();
    EXPECT_EQ(reported.back(), -5.0f);
    EXPECT_EQ(count(DspReqIdle), 0);
}

TEST_F(Volts, AStaticInputReportsItsFirstSampleAtOnceAndAgainAfterOneBlock) {
    open();
    run(16, 0.0f); // the settling report of open
    reported.clear();
    host.clear();
    buffer.assign(kBlock, 1.0f);
    dsp.pinEvent(1, StateChanged);
    EXPECT_EQ(reported, std::vector<float>{10.0f});
    EXPECT_EQ(host.count(DspReqProcessChanged), 0) << "settling already";
    run(kBlock - 1, 1.0f);
    EXPECT_EQ(reported.size(), 1u) << "a block has not passed yet";
    run(1, 1.0f);
    EXPECT_EQ(reported, (std::vector<float>{10.0f, 10.0f}));
    EXPECT_EQ(host.requests.back().op, DspReqIdle);
    EXPECT_TRUE(volts().timerIdle());
}

TEST_F(Volts, TheFirstSampleOfTheBlockWhateverTheOffset) {
    open();
    buffer.assign(kBlock, -0.5f);
    buffer[0] = 0.125f;
    dsp.process(32, 16); // the offset of the call does not matter
    EXPECT_EQ(reported, std::vector<float>{1.25f});
    reported.clear();
    dsp.pinEvent(1, StateStatic);
    EXPECT_EQ(reported, std::vector<float>{1.25f});
}

TEST_F(Volts, LeavingAndReenteringStreamingBeforeTheSettlingReportKeepsOneChain) {
    open(1280.0f);
    dsp.pinEvent(1, StateStreaming);
    run(32, 1.0f);
    dsp.pinEvent(1, StateChanged); // stops: settling, the chain goes on
    run(16, 1.0f);
    dsp.pinEvent(1, StateStreaming); // again before the settling report
    EXPECT_EQ(host.count(DspReqScheduleCall), 1);
    EXPECT_FALSE(volts().timerIdle());
    run(16, 1.0f);
    deliverDue(); // the one chain's tick: the mean of all 64, settling ones included
    EXPECT_EQ(reported.back(), 10.0f);
    EXPECT_EQ(host.count(DspReqScheduleCall), 2);
}

TEST_F(Volts, TheChainEndsWithTheTickAfterTheSettlingReport) {
    open(1280.0f);
    dsp.pinEvent(1, StateStreaming);
    run(32, 0.5f);
    dsp.pinEvent(1, StateChanged);
    run(32, 0.5f); // not yet a block of settling
    deliverDue(); // the tick: timerIdle is still false, so it schedules the next
    EXPECT_EQ(host.scheduled.size(), 1u);
    run(32, 0.5f); // now the block has passed: the settling report
    EXPECT_TRUE(volts().timerIdle());
    const std::vector<std::int32_t> before = host.ops();
    run(32, 0.5f);
    deliverDue(); // the last tick reports and ends the chain
    const std::vector<std::int32_t> after = host.ops();
    EXPECT_EQ(std::vector<std::int32_t>(after.begin() + static_cast<std::ptrdiff_t>(before.size()), after.end()),
              (std::vector<std::int32_t>{DspReqSampleClock, DspReqPinState, DspReqIdle}));
    EXPECT_TRUE(host.scheduled.empty());
    EXPECT_EQ(reported.back(), 5.0f);
}

TEST_F(Volts, ATickWithNoSamplesReportsTheFirstSample) {
    open(1280.0f);
    dsp.pinEvent(1, StateStreaming);
    buffer.assign(kBlock, 0.0f);
    buffer[0] = -0.75f;
    host.sampleClock = 64;
    deliverDue(); // the host did not process the module since the last report
    EXPECT_EQ(reported, std::vector<float>{-7.5f});
}

TEST_F(Volts, BeforeTheHostSetsTheBufferNothingIsReadAndTheReportIs0) {
    dsp.op(DspOpSetSampleRate, 0, 0, nullptr, 1280.0f);
    dsp.open(); // the host has not pointed "Volts" at a buffer: it is null
    dsp.process(0, 16);
    dsp.pinEvent(1, StateStatic);
    dsp.pinEvent(1, StateStreaming);
    dsp.process(0, 64);
    host.sampleClock = 64;
    deliverDue();
    EXPECT_EQ(reported, (std::vector<float>{0.0f, 0.0f, 0.0f}));
}

TEST_F(Volts, TheSumIsSinglePrecisionAddedInOrder) {
    // 2205 samples of 0.1f: summed in single precision, rounded after every
    // addition, the sum is 220.504257 (worked out by rounding each of the
    // 2205 additions to a float by hand, independently of this code); a
    // wider accumulator would give 220.500003 and show "1.000000015".
    open();
    dsp.pinEvent(1, StateStreaming);
    for (int i = 0; i < 2205 / 45; ++i) run(45, 0.1f);
    host.sampleClock = 2205;
    deliverDue();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(reported[0]), std::bit_cast<std::uint32_t>(1.0000193119049072f))
        << reported[0];
}

TEST_F(Volts, StreamingBlocksAskTheHostNothing) {
    open();
    dsp.pinEvent(1, StateStreaming);
    host.clear();
    for (int i = 0; i < 100; ++i) run(kBlock, 0.5f);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(volts().sampleCount(), 100 * kBlock);
}

} // namespace
} // namespace qem
