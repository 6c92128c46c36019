// The shape every DSP-side monitor with both halves shares: three pins
// ("DSP 2 GUI - Out", "DSP 2 GUI - In", the module's own input), a DSP half
// that hands each input state change over to the panel, and a panel half
// that reads "DSP 2 GUI - In" (its panel pin 1) and shows it as one line.
//
// MonitorDsp<HandOver, Input> is told by two value rules (value_rules.h, or
// an input description with the same members): the type of the hand-over
// pins and the module's input. They are the same rule but in the list
// monitor, whose 16-bit list input is handed over as a 32-bit integer. A
// text input is handed over with request 21 instead of a pin change.
#pragma once

#include "framework/dsp_module.h"
#include "framework/pin_table.h"
#include "framework/value_display.h"
#include "modules/dsp/value_rules.h"

#include <string>

namespace qem {

// The list choices of an input description, or null when it has none.
template <class Input>
constexpr const char* choicesOf() {
    if constexpr (requires { Input::pinChoices; }) return Input::pinChoices;
    else return nullptr;
}

template <class HandOver, class Input = HandOver>
class MonitorDsp : public DspModule {
public:
    using DspModule::DspModule;

    // Nothing to compute per sample: the idle function only.
    void open() override {
        setProcessFunction(idleProcess());
        DspModule::open();
    }

    bool getPinProperties(std::int32_t index, PinProperties* p) override {
        return describePin(kPins, index, {&out_, &panelIn_, &in_}, p);
    }

    // [dsp] Any change of any input: hand the current value over, also when
    // it repeats. The host has written the value before the event.
    void onPinStateChanged(DspPin&) override {
        if constexpr (Input::dataType == DataText) {
            // A host that left the text pointer null gets the empty text.
            out_ = in_ != nullptr ? in_ : "";
            callHost(DspReqSendText, 0, 0, const_cast<char*>(out_));
        } else {
            out_ = in_; // a 16-bit list value widens with its sign
            pinAt(0).sendState(getSampleClock(), StateChanged);
        }
    }

private:
    static constexpr PinRow kPins[] = {
        {.direction = DirOut, .dataType = HandOver::dataType, .name = kDspToGuiOutName, .flags = PinFlagsDspToGuiOut},
        {.direction = DirIn, .dataType = HandOver::dataType, .name = kDspToGuiInName, .flags = PinFlagsDspToGuiIn},
        {.direction = DirIn, .dataType = Input::dataType, .name = Input::pinName, .defaultValue = Input::pinDefault,
         .listChoices = choicesOf<Input>(), .flags = PinFlagsInput},
    };

    typename HandOver::Variable out_{};     // "DSP 2 GUI - Out": what the host carries to the panel
    typename HandOver::Variable panelIn_{}; // "DSP 2 GUI - In": the panel's; never touched here
    typename Input::Variable in_{};         // the module's input, written by the host
};

// The panel of a DSP value monitor: the value the DSP half handed over,
// shown by the rule's text; the rule's default text until then and when the
// input is gone.
template <class Rule>
class MonitorPanel : public ValueDisplay {
public:
    static constexpr std::int32_t kInPin = 1; // "DSP 2 GUI - In"

    using ValueDisplay::ValueDisplay;

    // The first text, without a repaint.
    void onStart(bool) override {
        lastValue_ = {};
        replaceText(Rule::defaultText);
    }
    // Whichever pin the host names, the value is on "DSP 2 GUI - In".
    void onPinValueChanged(PanelPin) override {
        lastValue_ = Rule::read(pin(kInPin));
        replaceTextAndRepaint(Rule::text(lastValue_));
    }
    void onInputGone(HostWord) override {
        lastValue_ = {};
        replaceTextAndRepaint(Rule::defaultText);
    }

    const typename Rule::Value& lastValue() const { return lastValue_; }

private:
    typename Rule::Value lastValue_{};
};

} // namespace qem
