// The decoded MIDI line: worked examples, the edge cases that matter, the
// note names and the controller table.
#include "modules/midi/midi_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

namespace qem {
namespace {

struct TextCase {
    std::uint32_t message;
    const char* text;
};

void expectTexts(const TextCase* begin, const TextCase* end) {
    for (const TextCase* c = begin; c != end; ++c)
        EXPECT_EQ(formatMidiMessage(static_cast<std::int32_t>(c->message)), c->text)
            << "message 0x" << std::hex << c->message;
}

TEST(FormatMidiMessage, WorkedExamples) {
    const TextCase cases[] = {
        {0x00643C90, "Ch:1|St:NoteOn|Key:60 (C4)|Vel:100"},
        {0x00004599, "Ch:10|St:NoteOff|Key:69 (A4)|Vel:0"},
        {0x00503CA0, "Ch:1|St:KeyPres|Key:60 (C4)|Pres:80"},
        {0x007F40B0, "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:127 (On)"},
        {0x000040B0, "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:0 (Off)"},
        {0x006407B3, "Ch:4|St:CntrChange|Cntr:7 (Main Volume)|Value:100"},
        {0x00000CC5, "Ch:6|St:ProgChange|Preset:12|N/A:0"},
        {0x000022D0, "Ch:1|St:ChnlPres|Pressure:34|N/A:0"},
        {0x004000E0, "Ch:1|St:PitchBend|BendLSB:0|BendMSB:64"},
        {0x001043F0, "SYSTEM: Begin SysEx|Vender ID:67|Data:16"},
        {0x000035F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Seconds High Nibble|Value:5"},
        {0x002010F2, "SYSTEM: Song Position|Pos LSB:16|Pos MSB:32"},
        {0x000000F8, "SYSTEM: MIDI Clock"},
        {0x0000007F, "Ch:16|DATA:112|MsgByte1:0|MsgByte2:0"},
    };
    expectTexts(std::begin(cases), std::end(cases));
}

TEST(FormatMidiMessage, ChannelMessages) {
    const TextCase cases[] = {
        // Channel nibble 0 and 15.
        {0x00403C80, "Ch:1|St:NoteOff|Key:60 (C4)|Vel:64"},
        {0x00403C8F, "Ch:16|St:NoteOff|Key:60 (C4)|Vel:64"},
        // Note on: velocity 0 reads as note off, 1 and 127 as note on.
        {0x00003C90, "Ch:1|St:NoteOff|Key:60 (C4)|Vel:0"},
        {0x00013C90, "Ch:1|St:NoteOn|Key:60 (C4)|Vel:1"},
        {0x007F7F9F, "Ch:16|St:NoteOn|Key:127 (G9)|Vel:127"},
        {0x00010090, "Ch:1|St:NoteOn|Key:0 (C-1)|Vel:1"},
        // Key numbers of 128 and more have no note name.
        {0x00408090, "Ch:1|St:NoteOn|Key:128 (?" "?)|Vel:64"},
        {0x00FFFFA2, "Ch:3|St:KeyPres|Key:255 (?" "?)|Pres:255"},
        // Switch controllers and their On/Off threshold.
        {0x003F40B0, "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:63 (Off)"},
        {0x004040B0, "Ch:1|St:CntrChange|Cntr:64 (Hold Pedal)|Value:64 (On)"},
        {0x004041B0, "Ch:1|St:CntrChange|Cntr:65 (Portamento)|Value:64 (On)"},
        {0x004005B0, "Ch:1|St:CntrChange|Cntr:5 (Portamento)|Value:64"},
        {0x00FF45B0, "Ch:1|St:CntrChange|Cntr:69 (Hold 2 Pedal)|Value:255 (On)"},
        {0x000050B0, "Ch:1|St:CntrChange|Cntr:80 (GenPurpose Button 1)|Value:0 (Off)"},
        {0x007F53B0, "Ch:1|St:CntrChange|Cntr:83 (GenPurpose Button 4)|Value:127 (On)"},
        {0x00007ABF, "Ch:16|St:CntrChange|Cntr:122 (Local Keyboard)|Value:0 (Off)"},
        {0x007F46B0, "Ch:1|St:CntrChange|Cntr:70 (Sound Variation)|Value:127"},
        {0x007F54B0, "Ch:1|St:CntrChange|Cntr:84 (undefined)|Value:127"},
        {0x007F7BB0, "Ch:1|St:CntrChange|Cntr:123 (All Notes Off)|Value:127"},
        // Controller numbers of 128 and more: "unknown", never a switch.
        {0x007F80B0, "Ch:1|St:CntrChange|Cntr:128 (unknown)|Value:127"},
        {0x007FC0B0, "Ch:1|St:CntrChange|Cntr:192 (unknown)|Value:127"},
        {0x0000FFB0, "Ch:1|St:CntrChange|Cntr:255 (unknown)|Value:0"},
        // The second byte of program change and channel pressure is always shown.
        {0x00050CC5, "Ch:6|St:ProgChange|Preset:12|N/A:5"},
        {0x000000C0, "Ch:1|St:ProgChange|Preset:0|N/A:0"},
        {0x00FF7FDF, "Ch:16|St:ChnlPres|Pressure:127|N/A:255"},
        // Pitch bend halves stay apart.
        {0x007F7FE0, "Ch:1|St:PitchBend|BendLSB:127|BendMSB:127"},
        {0x000000EF, "Ch:16|St:PitchBend|BendLSB:0|BendMSB:0"},
    };
    expectTexts(std::begin(cases), std::end(cases));
}

TEST(FormatMidiMessage, DataBytesInTheStatusPlace) {
    const TextCase cases[] = {
        {0x00000000, "Ch:1|DATA:0|MsgByte1:0|MsgByte2:0"},
        {0x00000001, "Ch:2|DATA:0|MsgByte1:0|MsgByte2:0"},
        {0x00020110, "Ch:1|DATA:16|MsgByte1:1|MsgByte2:2"},
        {0x00FFFF45, "Ch:6|DATA:64|MsgByte1:255|MsgByte2:255"},
        {0x0000007F, "Ch:16|DATA:112|MsgByte1:0|MsgByte2:0"},
    };
    expectTexts(std::begin(cases), std::end(cases));
}

TEST(FormatMidiMessage, SystemMessages) {
    const TextCase cases[] = {
        {0x000000F0, "SYSTEM: Begin SysEx|Vender ID:0|Data:0"},
        {0x00FF7FF0, "SYSTEM: Begin SysEx|Vender ID:127|Data:255"},
        {0x000000F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Frame Low Nibble|Value:0"},
        {0x00001FF1, "SYSTEM: MTC Quarter Frame (Unofficial)|Frame High Nibble|Value:15"},
        {0x000020F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Seconds Low Nibble|Value:0"},
        {0x000035F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Seconds High Nibble|Value:5"},
        {0x0000B5F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Seconds High Nibble|Value:5"}, // bit 7 ignored
        {0x000049F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Minutes Low Nibble|Value:9"},
        {0x00005AF1, "SYSTEM: MTC Quarter Frame (Unofficial)|Minutes High Nibble|Value:10"},
        {0x00FF60F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Hours Low Nibble|Value:0"},
        {0x000076F1, "SYSTEM: MTC Quarter Frame (Unofficial)|Hours High Nibble & SMPTE Type|Value:6"},
        {0x0000FFF1, "SYSTEM: MTC Quarter Frame (Unofficial)|Hours High Nibble & SMPTE Type|Value:15"},
        {0x007F00F2, "SYSTEM: Song Position|Pos LSB:0|Pos MSB:127"},
        {0x00FF05F3, "SYSTEM: Song Select|Song Number:5"},
        {0x00FFFFF4, "SYSTEM: UNKNOWN"},
        {0x00FF09F5, "SYSTEM: Bus Select (Unofficial)|Bus Number:9"},
        {0x00FFFFF6, "SYSTEM: Tune Request"},
        {0x00FFFFF7, "SYSTEM: End Of SysEx"},
        {0x00FFFFF8, "SYSTEM: MIDI Clock"},
        {0x000000F9, "SYSTEM: MIDI Tick (Unofficial)"},
        {0x000101FA, "SYSTEM: Start Song"},
        {0x00000AFB, "SYSTEM: Continue Song"},
        {0x000000FC, "SYSTEM: Stop Song"},
        {0x001212FD, "SYSTEM: UNKNOWN"},
        {0x000000FE, "SYSTEM: Active Sensing"},
        {0x00FFFFFF, "SYSTEM: System Reset"},
    };
    expectTexts(std::begin(cases), std::end(cases));
}

TEST(FormatMidiMessage, IgnoresBitsAboveTheSecondDataByte) {
    EXPECT_EQ(formatMidiMessage(static_cast<std::int32_t>(0xFF643C90u)), "Ch:1|St:NoteOn|Key:60 (C4)|Vel:100");
    EXPECT_EQ(formatMidiMessage(static_cast<std::int32_t>(0x80000000u)), "Ch:1|DATA:0|MsgByte1:0|MsgByte2:0");
    EXPECT_EQ(formatMidiMessage(-1), "SYSTEM: System Reset");
}

TEST(MidiNoteName, PitchClassesOctavesAndOutOfRange) {
    const struct {
        int note;
        const char* name;
    } cases[] = {
        {0, "C-1"},  {1, "C#-1"}, {11, "B-1"}, {12, "C0"},  {13, "C#0"},  {23, "B0"},   {24, "C1"},
        {59, "B3"},  {60, "C4"},  {61, "C#4"}, {62, "D4"},  {63, "D#4"},  {64, "E4"},   {65, "F4"},
        {66, "F#4"}, {67, "G4"},  {68, "G#4"}, {69, "A4"},  {70, "A#4"},  {71, "B4"},   {119, "B8"},
        {120, "C9"}, {127, "G9"}, {128, "??"}, {255, "??"}, {-1, "??"},   {-12, "??"},  {1000, "??"},
    };
    for (const auto& c : cases) EXPECT_EQ(midiNoteName(c.note), c.name) << "note " << c.note;
}

TEST(SwitchStateName, ThresholdAt64) {
    EXPECT_EQ(switchStateName(0), "Off");
    EXPECT_EQ(switchStateName(63), "Off");
    EXPECT_EQ(switchStateName(64), "On");
    EXPECT_EQ(switchStateName(127), "On");
    EXPECT_EQ(switchStateName(255), "On");
    EXPECT_EQ(switchStateName(-1), "Off");
}

TEST(MidiControllerName, NamedControllers) {
    const struct {
        int number;
        const char* name;
    } cases[] = {
        {0, "Bank Select"},          {1, "Mod Wheel"},           {2, "Breath"},
        {4, "Foot"},                 {5, "Portamento"},          {6, "Data Entry Slider"},
        {7, "Main Volume"},          {8, "Balance"},             {10, "Pan"},
        {11, "Expression"},          {12, "EffControl 1"},       {13, "EffControl 2"},
        {16, "GenPurpose 1"},        {17, "GenPurpose 2"},       {18, "GenPurpose 3"},
        {19, "GenPurpose 4"},        {32, "Bank Select LSB"},    {33, "Mod Wheel LSB"},
        {34, "Breath LSB"},          {36, "Foot LSB"},           {37, "Portamento LSB"},
        {38, "Data Entry Slider LSB"}, {39, "Main Volume LSB"},  {40, "Balance LSB"},
        {42, "Pan LSB"},             {43, "Expression LSB"},     {44, "EffControl 1 LSB"},
        {45, "EffControl 2 LSB"},    {48, "GenPurpose 1 LSB"},   {49, "GenPurpose 2 LSB"},
        {50, "GenPurpose 3 LSB"},    {51, "GenPurpose 4 LSB"},   {64, "Hold Pedal"},
        {65, "Portamento"},          {66, "Sostenuto"},          {67, "Soft Pedal"},
        {68, "Legato"},              {69, "Hold 2 Pedal"},       {70, "Sound Variation"},
        {71, "Sound Timbre"},        {72, "Sound Release Time"}, {73, "Sound Attack Time"},
        {74, "Sound Brightness"},    {75, "Sound Control 6"},    {76, "Sound Control 7"},
        {77, "Sound Control 8"},     {78, "Sound Control 9"},    {79, "Sound Control 10"},
        {80, "GenPurpose Button 1"}, {81, "GenPurpose Button 2"}, {82, "GenPurpose Button 3"},
        {83, "GenPurpose Button 4"}, {91, "Effects Level"},      {92, "Tremolo Level"},
        {93, "Chorus Level"},        {94, "Celeste (Detune)"},   {95, "Phaser Level"},
        {96, "Data Increment"},      {97, "Data Decrement"},     {98, "Non-Reg Param LSB"},
        {99, "Non-Reg Param MSB"},   {100, "Reg Param LSB"},     {101, "Reg Param MSB"},
        {120, "All Sound Off"},      {121, "All Controllers Off"}, {122, "Local Keyboard"},
        {123, "All Notes Off"},      {124, "Omni Mode Off"},     {125, "Omni Mode On"},
        {126, "Mono Operation"},     {127, "Poly Operation"},
    };
    for (const auto& c : cases) EXPECT_EQ(midiControllerName(c.number).name, c.name) << "controller " << c.number;
}

TEST(MidiControllerName, UndefinedAndUnknownRanges) {
    std::set<int> undefined = {3, 9, 14, 15, 35, 41, 46, 47};
    for (int n = 20; n <= 31; ++n) undefined.insert(n);
    for (int n = 52; n <= 63; ++n) undefined.insert(n);
    for (int n = 84; n <= 90; ++n) undefined.insert(n);
    for (int n = 102; n <= 119; ++n) undefined.insert(n);
    for (int n = 0; n <= 127; ++n)
        EXPECT_EQ(midiControllerName(n).name == "undefined", undefined.count(n) == 1) << "controller " << n;
    for (int n : {128, 200, 255, 1000, -1, -128}) {
        EXPECT_EQ(midiControllerName(n).name, "unknown") << "controller " << n;
        EXPECT_FALSE(midiControllerName(n).isSwitch) << "controller " << n;
    }
}

TEST(MidiControllerName, SwitchControllersExactly) {
    std::set<int> switches = {64, 65, 66, 67, 68, 69, 80, 81, 82, 83, 122};
    for (int n = 0; n <= 127; ++n)
        EXPECT_EQ(midiControllerName(n).isSwitch, switches.count(n) == 1) << "controller " << n;
}

} // namespace
} // namespace qem
