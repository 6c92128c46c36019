// The list monitor: a DSP list value shown as its number and its name from
// the module's own, fixed list ("3 - Three"; "42 - ???" for a value the list
// does not name).
#pragma once

#include "framework/value_text.h"
#include "modules/dsp/dsp_monitor.h"
#include "modules/dsp/list_choices.h"

#include <cstdint>
#include <string>

namespace qem {

struct ListMonitor {
    using Wire = std::int32_t;
    using Input = std::int16_t; // a DataList variable is 16 bits wide
    static constexpr PinDataType wireType = DataInt;
    static constexpr PinDataType inputType = DataList;
    static constexpr const char* inputName = "List";
    static constexpr const char* inputDefault = "0";
    static constexpr const char* inputChoices = kDefaultListChoices;

    // The host presents "List", with the choices declared above, as panel pin 2.
    static constexpr std::int32_t kListPin = 2;

    // The value as a float, the form the lookup key is taken from.
    using Last = float;
    static std::string restText(GuiModule& panel) { return intText(0) + choiceSuffix(panel, kListPin, 0); }
    static std::string show(GuiModule& panel, Last& last) {
        std::int32_t v = panel.pin(1).getInt();
        last = static_cast<float>(v);
        return intText(v) + choiceSuffix(panel, kListPin, choiceKey(last));
    }
};

using ListMonitorDsp = MonitorDsp<ListMonitor>;
using ListMonitorPanel = MonitorPanel<ListMonitor>;

} // namespace qem
