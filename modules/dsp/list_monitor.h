// The list monitor: a DSP list value shown as its number and its name from
// the module's own, fixed list ("3 - Three"; "42 - ???" for a value the list
// does not name).
#pragma once

#include "framework/value_display.h"
#include "modules/dsp/dsp_monitor.h"
#include "modules/dsp/list_choices.h"
#include "modules/dsp/value_rules.h"

#include <cstdint>

namespace qem {

// The module's input: a DSP list pin declaring the list it is shown with.
struct ListInput {
    using Variable = std::int16_t; // a DataList variable is 16 bits wide
    static constexpr PinDataType dataType = DataList;
    static constexpr const char* pinName = "List";
    static constexpr const char* pinDefault = "0";
    static constexpr const char* pinChoices = kDefaultListChoices;
};

// The value is handed over as a 32-bit integer.
using ListMonitorDsp = MonitorDsp<IntRule, ListInput>;

class ListMonitorPanel : public ValueDisplay {
public:
    static constexpr std::int32_t kInPin = 1;   // "DSP 2 GUI - In"
    static constexpr std::int32_t kListPin = 2; // "List", with the choices the DSP half declared

    using ValueDisplay::ValueDisplay;

    void onStart(bool) override { replaceText(numberAndChoice(*this, kListPin, 0, lastValue_)); }
    // Whichever pin the host names, the value is on "DSP 2 GUI - In".
    void onPinValueChanged(PanelPin) override {
        replaceTextAndRepaint(numberAndChoice(*this, kListPin, pin(kInPin).getInt(), lastValue_));
    }
    void onInputGone(HostWord) override { replaceTextAndRepaint(numberAndChoice(*this, kListPin, 0, lastValue_)); }

    float lastValue() const { return lastValue_; }

private:
    float lastValue_ = 0; // the last value, the form its name is looked up by
};

} // namespace qem
