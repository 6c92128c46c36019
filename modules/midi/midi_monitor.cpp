#include "modules/midi/midi_monitor.h"

#include "framework/pin_table.h"
#include "modules/midi/midi_text.h"

namespace qem {

namespace {
constexpr char kRunningModeChoices[] = "Show All=0,Hide Timing,Hide System";

constexpr PinRow kPins[] = {
    {.direction = DirOut, .dataType = DataInt, .name = kDspToGuiOutName, .defaultValue = "0",
     .flags = PinFlagsDspToGuiOut},
    {.direction = DirIn, .dataType = DataInt, .name = kDspToGuiInName, .defaultValue = "0",
     .flags = PinFlagsDspToGuiIn},
    {.direction = DirIn, .dataType = DataMidi, .name = "MIDI", .flags = PinFlagsInput},
    {.direction = DirSetting, .dataType = DataList, .name = "Running Mode", .defaultValue = "1",
     .listChoices = kRunningModeChoices, .flags = PinFlagsSetting},
};
} // namespace

// --- DSP half ---------------------------------------------------------------

MidiMonitorDsp::MidiMonitorDsp(HostCallback callback, HostWord hostValue) : DspModule(callback, hostValue) {}

MidiMonitorDsp::~MidiMonitorDsp() { report(0); }

bool MidiMonitorDsp::getPinProperties(std::int32_t index, PinProperties* p) {
    return describePin(kPins, index, {&out_, &in_, nullptr, &runningMode_}, p);
}

void MidiMonitorDsp::open() {
    setProcessFunction(processFor<MidiMonitorDsp, &MidiMonitorDsp::process>());
    DspModule::open();
    report(0);
    in_ = 0;
}

void MidiMonitorDsp::process(std::int32_t, std::int32_t) {}

bool MidiMonitorDsp::forwards(std::int32_t mode, std::int32_t message) {
    switch (mode) {
    case HideTiming: return message != 0xF8; // MIDI clock with both data bytes 0
    case HideSystem: return (message & 0xF0) != 0xF0;
    default: return true;
    }
}

void MidiMonitorDsp::onMidiEvent(std::int32_t, std::int32_t message, std::int16_t) {
    if (forwards(runningMode_, message)) report(message);
}

void MidiMonitorDsp::report(std::int32_t message) {
    out_ = message;
    pinAt(0).sendState(getSampleClock(), StateChanged);
}

// --- Panel half -------------------------------------------------------------

void MidiMonitorPanel::onStart(bool) {
    pin(kInPin).setInt(0);
    pin(kOutPin).setInt(0);
    replaceText(kNoInputText);
    lastMessage_ = 0;
}

void MidiMonitorPanel::onInputGone(HostWord) { replaceTextAndRepaint(kNoInputText); }

bool MidiMonitorPanel::shows(std::int32_t mode, std::int32_t message) {
    const std::int32_t status = message & 0xFF;
    switch (mode) {
    case HideTiming: return (status & 0xF8) != 0xF8; // every real-time message
    case HideSystem: return (status & 0xF0) != 0xF0;
    default: return true;
    }
}

void MidiMonitorPanel::onPinValueChanged(PanelPin) {
    runningMode_ = pin(kRunningModePin).getInt();
    lastMessage_ = pin(kInPin).getInt();
    if (lastMessage_ == 0) replaceText(kNoInputText);
    else if (shows(runningMode_, lastMessage_)) replaceText(formatMidiMessage(lastMessage_));
    requestRepaint(); // also when the text stayed as it was
}

} // namespace qem

QEM_MODULE(QEM_DESCRIPTION_TWO_CONTACTS("QEM Show MIDI", "1.0.3",
                                        "Shows value of incoming MIDI messages, with the option to strip out "
                                        "timing or all system messages."),
           qem::MidiMonitorDsp, qem::MidiMonitorPanel)
