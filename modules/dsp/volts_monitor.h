// "QEM Show Volts": the mean of an audio input, in volts (the mean times
// ten), reported twenty times a second while the input streams and settled
// on the first sample of the block once it stops.
//
// Two states follow the input pin's state:
// - streaming: accumulateProcess sums the samples; a chain of reportTick
//   calls, each scheduled reportPeriod samples after the one before,
//   reports the mean of what was summed since the previous report;
// - settling: settleProcess still sums, and once a block's worth of samples
//   has passed it reports the buffer's first sample, ends the chain (its
//   next tick is its last) and tells the host it is idle.
// The panel is the float monitor's.
#pragma once

#include "framework/dsp_module.h"
#include "modules/dsp/value_monitors.h"

#include <cstdint>

namespace qem {

class VoltsMonitorDsp : public DspModule {
public:
    // The period factor: samples between reports per sample of rate, in
    // single precision (its value lies slightly above 0.05).
    static constexpr float kPeriodFactor = 0.05f;
    static constexpr float kVoltFactor = 10.0f;

    using DspModule::DspModule;

    void open() override;
    bool getPinProperties(std::int32_t index, PinProperties* props) override;
    void onPinStateChanged(DspPin& pin) override; // [dsp]

    // The samples between two timed reports at a sample rate: rate times the
    // period factor in single precision, truncated (2205 at 44100 Hz); at
    // least 1, so a chain never schedules its next tick for now.
    static std::int32_t reportPeriodFor(float sampleRate);

    // For tests and the host's view: what the module holds.
    float outValue() const { return out_; }
    std::int32_t reportPeriod() const { return reportPeriod_; }
    std::int32_t sampleCount() const { return sampleCount_; }
    float sum() const { return sum_; }
    bool timerIdle() const { return timerIdle_; }

private:
    void accumulateProcess(std::int32_t offset, std::int32_t count); // [dsp]
    void settleProcess(std::int32_t offset, std::int32_t count);     // [dsp]
    void reportTick();                                               // [dsp] a scheduled call
    void addSamples(std::int32_t offset, std::int32_t count);
    void report();
    void scheduleTick();
    float firstSample() const;

    float out_ = 0;                  // "DSP 2 GUI - Out": the last reported value, in volts
    float panelIn_ = 0;              // "DSP 2 GUI - In": the panel's; never touched here
    const float* input_ = nullptr;   // "Volts": the current block, kept up to date by the host
    std::int32_t reportPeriod_ = 0;  // samples between two timed reports, fixed at open
    std::int32_t sampleCount_ = 0;   // samples summed since the last report
    std::int32_t countdown_ = 0;     // samples left before the settling report
    float sum_ = 0;                  // their sum, in single precision
    bool timerIdle_ = true;          // no chain of timed reports is running
};

} // namespace qem
