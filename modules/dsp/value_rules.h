// The value rules: how each value type of the family travels and shows,
// whichever pin it sits on. A rule knows its pin data type and the name a
// pin of its own carries, how a panel reads a pin of its type and writes its
// zero there, and its texts; the modules choose the pins. The DSP value
// monitors, the voltage monitor and the panel-only monitors all use these.
//
//   Value              what a panel keeps of it (its last value)
//   Variable           a DSP variable of this type, as the host writes it
//   dataType, pinName  the PinDataType and the name of a value pin
//   pinDefault         the default text of a DSP input pin of this type
//   defaultText        shown after a DSP monitor's start and whenever the
//                      input is gone
//   constructionText   a panel-only monitor's text until its first start
//   read(pin)          the pin's value, read from the host now [panel]
//   writeZero(pin)     sets the pin to the zero of the type [panel]
//   text(value)        the shown text of a value
#pragma once

#include "framework/gui_module.h"
#include "framework/value_text.h"

#include <cstdint>
#include <string>

namespace qem {

struct FloatRule {
    using Value = float;
    using Variable = float;
    static constexpr PinDataType dataType = DataFloat;
    static constexpr const char* pinName = "Float";
    static constexpr const char* pinDefault = "0.";
    static constexpr const char* defaultText = "0.";
    static constexpr const char* constructionText = "0.00";
    static Value read(PanelPin pin) { return pin.getFloat(); }
    static void writeZero(PanelPin pin) { pin.setFloat(0.0f); }
    static std::string text(Value v) { return floatText(v); }
};

struct IntRule {
    using Value = std::int32_t;
    using Variable = std::int32_t;
    static constexpr PinDataType dataType = DataInt;
    static constexpr const char* pinName = "Int";
    static constexpr const char* pinDefault = "0";
    static constexpr const char* defaultText = "0";
    static constexpr const char* constructionText = "0";
    static Value read(PanelPin pin) { return pin.getInt(); }
    static void writeZero(PanelPin pin) { pin.setInt(0); }
    static std::string text(Value v) { return intText(v); }
};

struct BoolRule {
    using Value = std::uint8_t;    // kept as 1 or 0
    using Variable = std::uint8_t; // one byte; nonzero is true
    static constexpr PinDataType dataType = DataBool;
    static constexpr const char* pinName = "Bool";
    static constexpr const char* pinDefault = "0";
    static constexpr const char* defaultText = "FALSE";
    static constexpr const char* constructionText = "False";
    // All four bytes the host fills count: any nonzero bit is true.
    static Value read(PanelPin pin) { return pin.getInt() != 0 ? 1 : 0; }
    static void writeZero(PanelPin pin) { pin.setInt(0); }
    static std::string text(Value v) { return boolText(v); }
};

struct TextRule {
    using Value = std::string;
    using Variable = const char*; // a text the host owns
    static constexpr PinDataType dataType = DataText;
    static constexpr const char* pinName = "Text";
    static constexpr const char* pinDefault = "";
    static constexpr const char* defaultText = "";
    static constexpr const char* constructionText = "";
    // The bytes up to the terminator, as they came; a null answer is the
    // empty text.
    static Value read(PanelPin pin) { return pin.getText(); }
    static void writeZero(PanelPin pin) { pin.setText(std::string()); }
    static std::string text(const Value& v) { return v; }
};

} // namespace qem
