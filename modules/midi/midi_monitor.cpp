#include "modules/midi/midi_monitor.h"

#include "modules/midi/midi_text.h"

namespace qem {

const ModuleDescription kMidiMonitorDescription{
    "QEM Show MIDI",
    QEM_ABOUT_TWO_CONTACTS("QEM Show MIDI", "1.0.3",
                           "Shows value of incoming MIDI messages, with the option to strip out timing or all "
                           "system messages."),
    0, false};

namespace {
constexpr char kRunningModeChoices[] = "Show All=0,Hide Timing,Hide System";
} // namespace

// --- DSP half ---------------------------------------------------------------

MidiMonitorDsp::MidiMonitorDsp(HostCallback callback, HostWord hostValue) : DspModule(callback, hostValue) {}

MidiMonitorDsp::~MidiMonitorDsp() { report(0); }

bool MidiMonitorDsp::getPinProperties(std::int32_t index, PinProperties* p) {
    if (p == nullptr) return false;
    switch (index) {
    case 0: *p = {&out_, DirOut, DataInt, "DSP 2 GUI - Out", "0", nullptr, PinFlagsDspToGuiOut, 0}; return true;
    case 1: *p = {&in_, DirIn, DataInt, "DSP 2 GUI - In", "0", nullptr, PinFlagsDspToGuiIn, 0}; return true;
    case 2: *p = {nullptr, DirIn, DataMidi, "MIDI", nullptr, nullptr, PinFlagsInput, 0}; return true;
    case 3:
        *p = {&runningMode_, DirSetting, DataList, "Running Mode", "1", kRunningModeChoices, PinFlagsSetting, 0};
        return true;
    default: return false;
    }
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
    setText(kNoInputText);
    lastMessage_ = 0;
}

void MidiMonitorPanel::onInputGone(HostWord) { showText(kNoInputText); }

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
    if (lastMessage_ == 0) setText(kNoInputText);
    else if (shows(runningMode_, lastMessage_)) setText(formatMidiMessage(lastMessage_));
    requestRepaint(); // also when the text stayed as it was
}

} // namespace qem

QEM_MODULE(qem::kMidiMonitorDescription, qem::MidiMonitorDsp, qem::MidiMonitorPanel)
