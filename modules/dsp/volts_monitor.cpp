#include "modules/dsp/volts_monitor.h"

#include "framework/pin_table.h"

namespace qem {
namespace {

constexpr PinRow kPins[] = {
    {.direction = DirOut, .dataType = DataFloat, .name = kDspToGuiOutName, .flags = PinFlagsDspToGuiOut},
    {.direction = DirIn, .dataType = DataFloat, .name = kDspToGuiInName, .flags = PinFlagsDspToGuiIn},
    {.direction = DirIn, .dataType = DataAudio, .name = "Volts", .flags = PinFlagsInput},
};

constexpr std::int32_t kVoltsPin = 1; // the DSP pin index of "Volts"

} // namespace

std::int32_t VoltsMonitorDsp::reportPeriodFor(float sampleRate) {
    const float period = sampleRate * kPeriodFactor;
    // Rates that make no period (zero, negative, NaN) tick every sample
    // rather than endlessly at one; rates beyond the clock's range saturate.
    if (!(period >= 1.0f)) return 1;
    if (period >= 2147483648.0f) return INT32_MAX;
    return static_cast<std::int32_t>(period);
}

bool VoltsMonitorDsp::getPinProperties(std::int32_t index, PinProperties* p) {
    return describePin(kPins, index, {&out_, &panelIn_, &input_}, p);
}

void VoltsMonitorDsp::open() {
    setProcessFunction(processFor<VoltsMonitorDsp, &VoltsMonitorDsp::settleProcess>());
    DspModule::open();
    sampleCount_ = 0;
    sum_ = 0;
    timerIdle_ = true;
    reportPeriod_ = reportPeriodFor(getSampleRate());
    countdown_ = 0;
    out_ = 0;
}

void VoltsMonitorDsp::onPinStateChanged(DspPin& pin) {
    if (&pin != &pinAt(kVoltsPin)) return;
    if (pin.state == StateStreaming) {
        setProcessFunction(processFor<VoltsMonitorDsp, &VoltsMonitorDsp::accumulateProcess>());
        if (timerIdle_) { // a chain that still runs goes on
            timerIdle_ = false;
            scheduleTick();
        }
        return;
    }
    countdown_ = getBlockSize();
    out_ = firstSample() * kVoltFactor;
    report();
    setProcessFunction(processFor<VoltsMonitorDsp, &VoltsMonitorDsp::settleProcess>());
}

// One dependent single-precision addition per sample, in order: the sum is
// rounded to single precision after every sample, as the mean relies on.
void VoltsMonitorDsp::addSamples(std::int32_t offset, std::int32_t count) {
    if (input_ == nullptr || count <= 0) return; // no buffer yet: nothing to add
    const float* samples = input_ + offset;
    float sum = sum_;
    for (std::int32_t i = 0; i < count; ++i) sum += samples[i];
    sum_ = sum;
    // Wraps rather than overflows in a host that processes a settled module
    // for days; a wrapped count reads as none at the next tick.
    sampleCount_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(sampleCount_) + static_cast<std::uint32_t>(count));
}

void VoltsMonitorDsp::accumulateProcess(std::int32_t offset, std::int32_t count) { addSamples(offset, count); }

void VoltsMonitorDsp::settleProcess(std::int32_t offset, std::int32_t count) {
    addSamples(offset, count);
    countdown_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(countdown_) - static_cast<std::uint32_t>(count));
    if (countdown_ > 0) return;
    countdown_ = getBlockSize();
    timerIdle_ = true;
    out_ = firstSample() * kVoltFactor;
    report();
    callHost(DspReqIdle);
}

void VoltsMonitorDsp::reportTick() {
    if (sampleCount_ > 0) out_ = (sum_ / static_cast<float>(sampleCount_)) * kVoltFactor;
    else out_ = firstSample() * kVoltFactor;
    report();
    sampleCount_ = 0;
    sum_ = 0;
    if (!timerIdle_) {
        scheduleTick();
        return;
    }
    callHost(DspReqIdle); // the chain ends here
}

void VoltsMonitorDsp::report() { pinAt(0).sendState(getSampleClock(), StateChanged); }

void VoltsMonitorDsp::scheduleTick() {
    const auto due = static_cast<std::uint32_t>(getSampleClock()) + static_cast<std::uint32_t>(reportPeriod_);
    scheduleCall(static_cast<std::int32_t>(due), operationFor<VoltsMonitorDsp, &VoltsMonitorDsp::reportTick>());
}

// Position 0 of the block buffer, whatever the offset of the current call;
// 0 before the host has given a buffer.
float VoltsMonitorDsp::firstSample() const { return input_ != nullptr ? input_[0] : 0.0f; }

} // namespace qem
