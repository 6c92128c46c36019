// Decoding of one packed MIDI message into the line the MIDI monitor shows.
//
// A packed message is a 32-bit integer: status byte in bits 0-7, data byte 1
// in bits 8-15, data byte 2 in bits 16-23. Bits 24-31 are not looked at.
// Every function here is pure: no state, no locks, the same answer for the
// same argument on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qem {

// The whole line, e.g. "Ch:1|St:NoteOn|Key:60 (C4)|Vel:100". At most
// kMaxMidiTextLength characters, all printable ASCII.
std::string formatMidiMessage(std::int32_t message);

// "C-1" for 0 .. "G9" for 127, sharps only; "??" outside 0..127.
std::string midiNoteName(int note);

struct ControllerName {
    std::string_view name; // a constant of the library
    bool isSwitch;         // the value is shown with an On/Off label
};

// The controller's name from the table; "unknown" (no switch) outside 0..127.
ControllerName midiControllerName(int controller);

// "On" for 64 and above, "Off" below.
std::string_view switchStateName(int value);

inline constexpr std::size_t kMaxMidiTextLength = 96;

} // namespace qem
