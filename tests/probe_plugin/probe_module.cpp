// A test plug-in that exercises the framework through a real deliverable:
// a float output computed as A * B + C (which tells SSE single precision
// from x87 excess precision), a setting bound on both sides, and MIDI
// messages answered through a scheduled call after d1 samples.
#include "framework/plugin_entry.h"
#include "framework/value_display.h"

namespace {

using namespace qem;

class ProbeDsp : public DspModule {
public:
    using DspModule::DspModule;

    void open() override {
        setProcessFunction(idleProcess());
        DspModule::open();
    }

    bool getPinProperties(std::int32_t index, PinProperties* p) override {
        switch (index) {
        case 0: *p = {&out_, DirOut, DataFloat, "DSP 2 GUI - Out", nullptr, nullptr, PinFlagsDspToGuiOut, 0}; return true;
        case 1: *p = {&panelIn_, DirIn, DataFloat, "DSP 2 GUI - In", nullptr, nullptr, PinFlagsDspToGuiIn, 0}; return true;
        case 2: *p = {&a_, DirIn, DataFloat, "A", "0.", nullptr, PinFlagsInput, 0}; return true;
        case 3: *p = {&b_, DirIn, DataFloat, "B", "0.", nullptr, PinFlagsInput, 0}; return true;
        case 4: *p = {&c_, DirIn, DataFloat, "C", "0.", nullptr, PinFlagsInput, 0}; return true;
        case 5: *p = {&mode_, DirSetting, DataList, "Mode", "1", "Off=0,On", PinFlagsSetting, 0}; return true;
        case 6: *p = {nullptr, DirIn, DataMidi, "MIDI", nullptr, nullptr, PinFlagsInput, 0}; return true;
        default: return false;
        }
    }

    // In true single precision the product is rounded before the sum; x87
    // code would keep it in extended precision.
    void onPinStateChanged(DspPin&) override { report(a_ * b_ + c_); }

    void onMidiEvent(std::int32_t, std::int32_t message, std::int16_t) override {
        pending_ = message;
        scheduleCall(getSampleClock() + ((message >> 8) & 0xFF), operationFor<ProbeDsp, &ProbeDsp::fire>());
    }

private:
    void fire() { report(static_cast<float>(pending_) + static_cast<float>(mode_)); }
    void report(float v) {
        out_ = v;
        pinAt(0).sendState(getSampleClock(), StateChanged);
    }

    float out_ = 0;
    float panelIn_ = 0;
    float a_ = 0, b_ = 0, c_ = 0;
    std::int16_t mode_ = 0;
    std::int32_t pending_ = 0;
};

class ProbePanel : public ValueDisplay {
public:
    ProbePanel(HostCallback cb, HostWord hv) : ValueDisplay(cb, hv) { replaceText("built"); }
    void onStart(bool pinsExist) override { replaceText(pinsExist ? "probe again" : "probe"); }
    void onPinValueChanged(PanelPin) override { replaceTextAndRepaint(floatText(pin(1).getFloat())); }
    void onInputGone(HostWord) override { replaceTextAndRepaint("gone"); }
};

constexpr ModuleDescription kDescription{
    "QEM Test Probe", QEM_ABOUT("QEM Test Probe", "0.0.1", "Exercises the framework in tests."), 0, false};

} // namespace

QEM_MODULE(kDescription, ProbeDsp, ProbePanel)
