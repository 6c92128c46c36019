// A DSP half's pin descriptions as a table of rows, one per pin, in the
// order of its description indexes:
//
//   constexpr PinRow kPins[] = {
//       {.direction = DirOut, .dataType = DataFloat, .name = "DSP 2 GUI - Out", .flags = PinFlagsDspToGuiOut},
//       {.direction = DirIn, .dataType = DataFloat, .name = "Float", .defaultValue = "0.", .flags = PinFlagsInput},
//   };
//   bool getPinProperties(std::int32_t i, PinProperties* p) override {
//       return describePin(kPins, i, {&out_, &in_}, p);
//   }
//
// A row names only what the pin has; describePin writes exactly those
// fields and leaves every other one as the host left it (the host zeroes
// the record first), the reserved word included.
#pragma once

#include "framework/host_interface.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace qem {

inline constexpr char kDspToGuiOutName[] = "DSP 2 GUI - Out"; // the DSP half's hand-over output
inline constexpr char kDspToGuiInName[] = "DSP 2 GUI - In";   // the panel's view of it (panel pin 1)

// One pin's description; the fields follow the record's order.
struct PinRow {
    PinDirection direction = DirIn;
    PinDataType dataType = DataFloat;
    const char* name = nullptr;         // library constant
    const char* defaultValue = nullptr; // written only when set
    const char* listChoices = nullptr;  // written only when set (DataList pins)
    std::int32_t flags = 0;
};

// Fills props from rows[index], with variables[index] as the bound variable
// (null: not written, as for a MIDI pin). False, writing nothing, for an
// index past the table or a null record.
template <std::size_t N>
bool describePin(const PinRow (&rows)[N], std::int32_t index, std::initializer_list<void*> variables,
                 PinProperties* props) {
    if (props == nullptr || index < 0 || static_cast<std::size_t>(index) >= N) return false;
    const PinRow& row = rows[index];
    if (static_cast<std::size_t>(index) < variables.size() && variables.begin()[index] != nullptr)
        props->variable = variables.begin()[index];
    props->direction = row.direction;
    props->dataType = row.dataType;
    props->name = row.name;
    if (row.defaultValue != nullptr) props->defaultValue = row.defaultValue;
    if (row.listChoices != nullptr) props->listChoices = row.listChoices;
    props->flags = row.flags;
    return true;
}

} // namespace qem
