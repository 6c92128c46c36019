// The panel-only value monitors: a value that lives on a panel pin of the
// module's own, registered at a fresh start in the Gui direction (DirIn) or
// the RGui direction (DirOut), and shown by its value rule. The direction is
// the one difference between the two forms of a type, a constant given at
// construction. The DSP half of these deliverables is the bare one.
#pragma once

#include "framework/value_display.h"
#include "modules/dsp/value_rules.h"

namespace qem {

template <class Rule>
class GuiValuePanel : public ValueDisplay {
public:
    static constexpr std::int32_t kValuePin = 0; // the one pin it registers

    GuiValuePanel(HostCallback callback, HostWord hostValue, PinDirection pinDirection)
        : ValueDisplay(callback, hostValue), pinDirection_(pinDirection) {
        replaceText(Rule::constructionText);
    }

    // A fresh start registers the pin and sets it to the zero of its type;
    // with the pins existing nothing is written. Either way the panel shows
    // what the pin holds, without a repaint.
    void onStart(bool pinsExist) override {
        if (!pinsExist) {
            addPanelPin(Rule::dataType, pinDirection_, Rule::pinName);
            Rule::writeZero(pin(kValuePin));
        }
        replaceText(Rule::text(Rule::read(pin(kValuePin))));
    }
    // Whichever pin the host names, the value is on the panel's own pin.
    void onPinValueChanged(PanelPin) override { replaceTextAndRepaint(Rule::text(Rule::read(pin(kValuePin)))); }
    // The pin is neither read nor written.
    void onInputGone(HostWord) override { replaceTextAndRepaint(Rule::defaultText); }

    PinDirection pinDirection() const { return pinDirection_; }

private:
    const PinDirection pinDirection_;
};

using GuiFloatPanel = GuiValuePanel<FloatRule>;
using GuiIntPanel = GuiValuePanel<IntRule>;
using GuiBoolPanel = GuiValuePanel<BoolRule>;
using GuiTextPanel = GuiValuePanel<TextRule>;

} // namespace qem
