// The shape every DSP-side monitor with both halves shares: three pins
// ("DSP 2 GUI - Out", "DSP 2 GUI - In", the module's own input), a DSP half
// that hands each input state change over to the panel, and a panel half
// that reads "DSP 2 GUI - In" (panel pin 1) and shows it as one line.
//
// A monitor is described by a traits struct M:
//
//   using Wire           type of the "DSP 2 GUI - Out"/"In" variables
//   using Input          type of the input pin's variable
//   wireType, inputType  their PinDataType
//   inputName            the input pin's name
//   inputDefault         its default value as text (never null)
//   inputChoices         list choices of a DataList input, else null
//   using Last           the panel's last value (NoLastValue for none)
//   restText(panel)      the text after onStart and after onInputGone
//   show(panel, last)    reads the panel's pin 1, updates last, returns the text
//
// A DataText input is handed over with request 21 instead of a pin change.
#pragma once

#include "framework/dsp_module.h"
#include "framework/value_display.h"

#include <string>

namespace qem {

// The Last of a monitor that keeps no value of its own.
struct NoLastValue {};

template <class M>
class MonitorDsp : public DspModule {
public:
    using DspModule::DspModule;

    // [main] Nothing to compute per sample: the idle function only.
    void open() override {
        setProcessFunction(idleProcess());
        DspModule::open();
    }

    // [main] Writes only the fields the pin uses; the host zeroed the rest.
    bool getPinProperties(std::int32_t index, PinProperties* p) override {
        if (p == nullptr) return false;
        switch (index) {
        case 0:
            p->variable = &out_;
            p->direction = DirOut;
            p->dataType = M::wireType;
            p->name = "DSP 2 GUI - Out";
            p->flags = PinFlagsDspToGuiOut;
            return true;
        case 1:
            p->variable = &panelIn_;
            p->direction = DirIn;
            p->dataType = M::wireType;
            p->name = "DSP 2 GUI - In";
            p->flags = PinFlagsDspToGuiIn;
            return true;
        case 2:
            p->variable = &in_;
            p->direction = DirIn;
            p->dataType = M::inputType;
            p->name = M::inputName;
            p->defaultValue = M::inputDefault;
            p->listChoices = M::inputChoices;
            p->flags = PinFlagsInput;
            return true;
        default:
            return false;
        }
    }

    // [dsp] Any change of any input: hand the current value over, also when
    // it repeats. The host has written the value before the event.
    void onPinStateChanged(DspPin&) override {
        if constexpr (M::inputType == DataText) {
            // A host that left the text pointer null gets the empty text.
            out_ = in_ != nullptr ? in_ : "";
            callHost(DspReqSendText, 0, 0, const_cast<char*>(out_));
        } else {
            out_ = in_; // a 16-bit list value widens with its sign
            pinAt(0).sendState(getSampleClock(), StateChanged);
        }
    }

private:
    typename M::Wire out_{};     // "DSP 2 GUI - Out": what the host carries to the panel
    typename M::Wire panelIn_{}; // "DSP 2 GUI - In": the panel's; never touched here
    typename M::Input in_{};     // the module's input, written by the host
};

template <class M>
class MonitorPanel : public ValueDisplay {
public:
    MonitorPanel(HostCallback callback, HostWord hostValue) : ValueDisplay(callback, hostValue) {}

    // [panel] The first text, without a repaint.
    void onStart(bool) override {
        last_ = {};
        setText(M::restText(*this));
    }
    // [panel] Whichever pin the host names, the value is on pin 1.
    void onPinValueChanged(PanelPin) override { showText(M::show(*this, last_)); }
    void onInputGone(HostWord) override {
        last_ = {};
        showText(M::restText(*this));
    }

    const typename M::Last& lastValue() const { return last_; }

private:
    [[no_unique_address]] typename M::Last last_{};
};

} // namespace qem
