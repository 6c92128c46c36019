// "QEM Show MIDI": the latest MIDI message, decoded, on the panel.
//
// The DSP half filters the incoming messages by the running mode and hands
// each accepted one to the panel through "DSP 2 GUI - Out"; the panel reads
// it from "DSP 2 GUI - In", filters once more by its own reading of the
// running mode and shows the decoded line.
#pragma once

#include "framework/dsp_module.h"
#include "framework/plugin_entry.h"
#include "framework/value_display.h"

#include <cstdint>

namespace qem {

// Values of the "Running Mode" pin; any other value shows everything.
enum RunningMode : std::int32_t {
    ShowAll = 0,
    HideTiming = 1, // the default
    HideSystem = 2,
};

// The text the panel shows while no message is there.
inline constexpr char kNoInputText[] = "No Input";

class MidiMonitorDsp : public DspModule {
public:
    MidiMonitorDsp(HostCallback callback, HostWord hostValue);
    // Reports 0 on "DSP 2 GUI - Out", so the panel falls back to "No Input".
    ~MidiMonitorDsp() override;

    void open() override;
    bool getPinProperties(std::int32_t index, PinProperties* props) override;
    void onMidiEvent(std::int32_t time, std::int32_t message, std::int16_t extra) override; // [dsp]

    // Whether the DSP half passes message on under mode.
    static bool forwards(std::int32_t mode, std::int32_t message);

    std::int32_t outValue() const { return out_; }

private:
    void process(std::int32_t offset, std::int32_t count); // [dsp] nothing to compute
    void report(std::int32_t message);                     // [dsp]

    std::int32_t out_ = 0;          // pin 0 "DSP 2 GUI - Out": last accepted message, or 0
    std::int32_t in_ = 0;           // pin 1 "DSP 2 GUI - In": never read on this side
    std::int16_t runningMode_ = HideTiming; // pin 3 "Running Mode", written by the host
};

class MidiMonitorPanel : public ValueDisplay {
public:
    // Panel pins, by the numbering the host gives a module with both halves.
    static constexpr std::int32_t kOutPin = 0;
    static constexpr std::int32_t kInPin = 1;
    static constexpr std::int32_t kRunningModePin = 2;

    using ValueDisplay::ValueDisplay;

    void onStart(bool pinsExist) override;
    void onInputGone(HostWord index) override;
    void onPinValueChanged(PanelPin pin) override;

    // Whether the panel shows message under mode.
    static bool shows(std::int32_t mode, std::int32_t message);

    std::int32_t lastMessage() const { return lastMessage_; }
    std::int32_t runningMode() const { return runningMode_; }

private:
    std::int32_t lastMessage_ = 0; // the message last read from panel pin 1
    std::int32_t runningMode_ = 0; // the running mode last read from panel pin 2
};

} // namespace qem
