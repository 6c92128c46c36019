// The four DSP value monitors: float, integer, boolean and text. One
// family, told by the traits below; everything else is MonitorDsp and
// MonitorPanel.
#pragma once

#include "framework/value_text.h"
#include "modules/dsp/dsp_monitor.h"

#include <cstdint>
#include <string>

namespace qem {

struct FloatMonitor {
    using Wire = float;
    using Input = float;
    static constexpr PinDataType wireType = DataFloat;
    static constexpr PinDataType inputType = DataFloat;
    static constexpr const char* inputName = "Float";
    static constexpr const char* inputDefault = "0.";
    static constexpr const char* inputChoices = nullptr;

    using Last = float;
    static std::string restText(GuiModule&) { return "0."; }
    static std::string show(GuiModule& panel, Last& last) {
        last = panel.pin(1).getFloat();
        return floatText(last);
    }
};

struct IntMonitor {
    using Wire = std::int32_t;
    using Input = std::int32_t;
    static constexpr PinDataType wireType = DataInt;
    static constexpr PinDataType inputType = DataInt;
    static constexpr const char* inputName = "Int";
    static constexpr const char* inputDefault = "0";
    static constexpr const char* inputChoices = nullptr;

    using Last = std::int32_t;
    static std::string restText(GuiModule&) { return "0"; }
    static std::string show(GuiModule& panel, Last& last) {
        last = panel.pin(1).getInt();
        return intText(last);
    }
};

struct BoolMonitor {
    using Wire = std::uint8_t; // one byte; nonzero is true
    using Input = std::uint8_t;
    static constexpr PinDataType wireType = DataBool;
    static constexpr PinDataType inputType = DataBool;
    static constexpr const char* inputName = "Bool";
    static constexpr const char* inputDefault = "0";
    static constexpr const char* inputChoices = nullptr;

    using Last = std::uint8_t; // 0 or 1
    static std::string restText(GuiModule&) { return "FALSE"; }
    static std::string show(GuiModule& panel, Last& last) {
        // All four bytes the host fills count: any nonzero bit is true.
        last = panel.pin(1).getInt() != 0 ? 1 : 0;
        return boolText(last);
    }
};

struct TextMonitor {
    using Wire = const char*; // a text the host owns
    using Input = const char*;
    static constexpr PinDataType wireType = DataText;
    static constexpr PinDataType inputType = DataText;
    static constexpr const char* inputName = "Text";
    static constexpr const char* inputDefault = "";
    static constexpr const char* inputChoices = nullptr;

    using Last = NoLastValue;
    static std::string restText(GuiModule&) { return {}; }
    // The bytes up to the terminator, as they came; a null answer is the
    // empty text.
    static std::string show(GuiModule& panel, Last&) { return panel.pin(1).getText(); }
};

using FloatMonitorDsp = MonitorDsp<FloatMonitor>;
using FloatMonitorPanel = MonitorPanel<FloatMonitor>;
using IntMonitorDsp = MonitorDsp<IntMonitor>;
using IntMonitorPanel = MonitorPanel<IntMonitor>;
using BoolMonitorDsp = MonitorDsp<BoolMonitor>;
using BoolMonitorPanel = MonitorPanel<BoolMonitor>;
using TextMonitorDsp = MonitorDsp<TextMonitor>;
using TextMonitorPanel = MonitorPanel<TextMonitor>;

} // namespace qem
