#include "modules/midi/midi_text.h"

#include <array>
#include <cstring>

namespace qem {
namespace {

// A line under construction in a fixed buffer: no allocation until the
// finished line becomes the returned string.
class Line {
public:
    Line& operator<<(std::string_view s) {
        put(s.data(), s.size());
        return *this;
    }
    Line& operator<<(unsigned n) {
        char digits[10];
        char* p = digits + sizeof digits;
        do {
            *--p = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0);
        put(p, static_cast<std::size_t>(digits + sizeof digits - p));
        return *this;
    }
    std::string str() const { return std::string(buf_.data(), size_); }

private:
    // Whatever does not fit is dropped.
    void put(const char* s, std::size_t n) {
        if (n > buf_.size() - size_) n = buf_.size() - size_;
        std::memcpy(buf_.data() + size_, s, n);
        size_ += n;
    }
    std::array<char, kMaxMidiTextLength> buf_; // only the first size_ are written and read
    std::size_t size_ = 0;
};

struct ControllerRow {
    const char* name;
    bool isSwitch;
};

constexpr bool kSwitch = true;

// One row per controller number.
constexpr ControllerRow kControllers[128] = {
    /*   0 */ {"Bank Select", false},
    /*   1 */ {"Mod Wheel", false},
    /*   2 */ {"Breath", false},
    /*   3 */ {"undefined", false},
    /*   4 */ {"Foot", false},
    /*   5 */ {"Portamento", false},
    /*   6 */ {"Data Entry Slider", false},
    /*   7 */ {"Main Volume", false},
    /*   8 */ {"Balance", false},
    /*   9 */ {"undefined", false},
    /*  10 */ {"Pan", false},
    /*  11 */ {"Expression", false},
    /*  12 */ {"EffControl 1", false},
    /*  13 */ {"EffControl 2", false},
    /*  14 */ {"undefined", false},
    /*  15 */ {"undefined", false},
    /*  16 */ {"GenPurpose 1", false},
    /*  17 */ {"GenPurpose 2", false},
    /*  18 */ {"GenPurpose 3", false},
    /*  19 */ {"GenPurpose 4", false},
    /*  20 */ {"undefined", false},
    /*  21 */ {"undefined", false},
    /*  22 */ {"undefined", false},
    /*  23 */ {"undefined", false},
    /*  24 */ {"undefined", false},
    /*  25 */ {"undefined", false},
    /*  26 */ {"undefined", false},
    /*  27 */ {"undefined", false},
    /*  28 */ {"undefined", false},
    /*  29 */ {"undefined", false},
    /*  30 */ {"undefined", false},
    /*  31 */ {"undefined", false},
    /*  32 */ {"Bank Select LSB", false},
    /*  33 */ {"Mod Wheel LSB", false},
    /*  34 */ {"Breath LSB", false},
    /*  35 */ {"undefined", false},
    /*  36 */ {"Foot LSB", false},
    /*  37 */ {"Portamento LSB", false},
    /*  38 */ {"Data Entry Slider LSB", false},
    /*  39 */ {"Main Volume LSB", false},
    /*  40 */ {"Balance LSB", false},
    /*  41 */ {"undefined", false},
    /*  42 */ {"Pan LSB", false},
    /*  43 */ {"Expression LSB", false},
    /*  44 */ {"EffControl 1 LSB", false},
    /*  45 */ {"EffControl 2 LSB", false},
    /*  46 */ {"undefined", false},
    /*  47 */ {"undefined", false},
    /*  48 */ {"GenPurpose 1 LSB", false},
    /*  49 */ {"GenPurpose 2 LSB", false},
    /*  50 */ {"GenPurpose 3 LSB", false},
    /*  51 */ {"GenPurpose 4 LSB", false},
    /*  52 */ {"undefined", false},
    /*  53 */ {"undefined", false},
    /*  54 */ {"undefined", false},
    /*  55 */ {"undefined", false},
    /*  56 */ {"undefined", false},
    /*  57 */ {"undefined", false},
    /*  58 */ {"undefined", false},
    /*  59 */ {"undefined", false},
    /*  60 */ {"undefined", false},
    /*  61 */ {"undefined", false},
    /*  62 */ {"undefined", false},
    /*  63 */ {"undefined", false},
    /*  64 */ {"Hold Pedal", kSwitch},
    /*  65 */ {"Portamento", kSwitch},
    /*  66 */ {"Sostenuto", kSwitch},
    /*  67 */ {"Soft Pedal", kSwitch},
    /*  68 */ {"Legato", kSwitch},
    /*  69 */ {"Hold 2 Pedal", kSwitch},
    /*  70 */ {"Sound Variation", false},
    /*  71 */ {"Sound Timbre", false},
    /*  72 */ {"Sound Release Time", false},
    /*  73 */ {"Sound Attack Time", false},
    /*  74 */ {"Sound Brightness", false},
    /*  75 */ {"Sound Control 6", false},
    /*  76 */ {"Sound Control 7", false},
    /*  77 */ {"Sound Control 8", false},
    /*  78 */ {"Sound Control 9", false},
    /*  79 */ {"Sound Control 10", false},
    /*  80 */ {"GenPurpose Button 1", kSwitch},
    /*  81 */ {"GenPurpose Button 2", kSwitch},
    /*  82 */ {"GenPurpose Button 3", kSwitch},
    /*  83 */ {"GenPurpose Button 4", kSwitch},
    /*  84 */ {"undefined", false},
    /*  85 */ {"undefined", false},
    /*  86 */ {"undefined", false},
    /*  87 */ {"undefined", false},
    /*  88 */ {"undefined", false},
    /*  89 */ {"undefined", false},
    /*  90 */ {"undefined", false},
    /*  91 */ {"Effects Level", false},
    /*  92 */ {"Tremolo Level", false},
    /*  93 */ {"Chorus Level", false},
    /*  94 */ {"Celeste (Detune)", false},
    /*  95 */ {"Phaser Level", false},
    /*  96 */ {"Data Increment", false},
    /*  97 */ {"Data Decrement", false},
    /*  98 */ {"Non-Reg Param LSB", false},
    /*  99 */ {"Non-Reg Param MSB", false},
    /* 100 */ {"Reg Param LSB", false},
    /* 101 */ {"Reg Param MSB", false},
    /* 102 */ {"undefined", false},
    /* 103 */ {"undefined", false},
    /* 104 */ {"undefined", false},
    /* 105 */ {"undefined", false},
    /* 106 */ {"undefined", false},
    /* 107 */ {"undefined", false},
    /* 108 */ {"undefined", false},
    /* 109 */ {"undefined", false},
    /* 110 */ {"undefined", false},
    /* 111 */ {"undefined", false},
    /* 112 */ {"undefined", false},
    /* 113 */ {"undefined", false},
    /* 114 */ {"undefined", false},
    /* 115 */ {"undefined", false},
    /* 116 */ {"undefined", false},
    /* 117 */ {"undefined", false},
    /* 118 */ {"undefined", false},
    /* 119 */ {"undefined", false},
    /* 120 */ {"All Sound Off", false},
    /* 121 */ {"All Controllers Off", false},
    /* 122 */ {"Local Keyboard", kSwitch},
    /* 123 */ {"All Notes Off", false},
    /* 124 */ {"Omni Mode Off", false},
    /* 125 */ {"Omni Mode On", false},
    /* 126 */ {"Mono Operation", false},
    /* 127 */ {"Poly Operation", false},
};

constexpr const char* kPitchClasses[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

// Quarter-frame pieces, by bits 4 to 6 of the first data byte.
constexpr const char* kQuarterFrames[8] = {
    "|Frame Low Nibble",   "|Frame High Nibble",   "|Seconds Low Nibble", "|Seconds High Nibble",
    "|Minutes Low Nibble", "|Minutes High Nibble", "|Hours Low Nibble",   "|Hours High Nibble & SMPTE Type",
};

void putNoteName(Line& line, unsigned note) {
    if (note > 127) {
        line << "??";
        return;
    }
    line << kPitchClasses[note % 12];
    if (note < 12) line << "-1"; // the one octave below zero
    else line << (note / 12 - 1);
}

void putKey(Line& line, unsigned key) {
    line << "|Key:" << key << " (";
    putNoteName(line, key);
    line << ")";
}

void putSystem(Line& line, unsigned status, unsigned d1, unsigned d2) {
    switch (status) {
    case 0xF0: line << "SYSTEM: Begin SysEx|Vender ID:" << d1 << "|Data:" << d2; break;
    case 0xF1:
        line << "SYSTEM: MTC Quarter Frame (Unofficial)" << kQuarterFrames[(d1 >> 4) & 7] << "|Value:" << (d1 & 0xF);
        break;
    case 0xF2: line << "SYSTEM: Song Position|Pos LSB:" << d1 << "|Pos MSB:" << d2; break;
    case 0xF3: line << "SYSTEM: Song Select|Song Number:" << d1; break;
    case 0xF5: line << "SYSTEM: Bus Select (Unofficial)|Bus Number:" << d1; break;
    case 0xF6: line << "SYSTEM: Tune Request"; break;
    case 0xF7: line << "SYSTEM: End Of SysEx"; break;
    case 0xF8: line << "SYSTEM: MIDI Clock"; break;
    case 0xF9: line << "SYSTEM: MIDI Tick (Unofficial)"; break;
    case 0xFA: line << "SYSTEM: Start Song"; break;
    case 0xFB: line << "SYSTEM: Continue Song"; break;
    case 0xFC: line << "SYSTEM: Stop Song"; break;
    case 0xFE: line << "SYSTEM: Active Sensing"; break;
    case 0xFF: line << "SYSTEM: System Reset"; break;
    default: line << "SYSTEM: UNKNOWN"; break; // 0xF4, 0xFD
    }
}

} // namespace

std::string formatMidiMessage(std::int32_t message) {
    const auto bits = static_cast<std::uint32_t>(message);
    const unsigned status = bits & 0xFF;
    const unsigned d1 = (bits >> 8) & 0xFF;
    const unsigned d2 = (bits >> 16) & 0xFF;

    Line line;
    if ((status & 0xF0) == 0xF0) {
        putSystem(line, status, d1, d2);
        return line.str();
    }

    line << "Ch:" << ((status & 0xF) + 1);
    switch (status >> 4) {
    case 0x8:
        line << "|St:NoteOff";
        putKey(line, d1);
        line << "|Vel:" << d2;
        break;
    case 0x9:
        line << (d2 > 0 ? "|St:NoteOn" : "|St:NoteOff"); // velocity 0 is a note off
        putKey(line, d1);
        line << "|Vel:" << d2;
        break;
    case 0xA:
        line << "|St:KeyPres";
        putKey(line, d1);
        line << "|Pres:" << d2;
        break;
    case 0xB: {
        const ControllerName c = midiControllerName(static_cast<int>(d1));
        line << "|St:CntrChange|Cntr:" << d1 << " (" << c.name << ")|Value:" << d2;
        if (c.isSwitch) line << " (" << switchStateName(static_cast<int>(d2)) << ")";
        break;
    }
    case 0xC: line << "|St:ProgChange|Preset:" << d1 << "|N/A:" << d2; break;
    case 0xD: line << "|St:ChnlPres|Pressure:" << d1 << "|N/A:" << d2; break;
    case 0xE: line << "|St:PitchBend|BendLSB:" << d1 << "|BendMSB:" << d2; break;
    default: // 0x0..0x7: the first byte is a data byte, not a status byte
        line << "|DATA:" << (status & 0xF0) << "|MsgByte1:" << d1 << "|MsgByte2:" << d2;
        break;
    }
    return line.str();
}

std::string midiNoteName(int note) {
    Line line;
    putNoteName(line, note < 0 ? 128u : static_cast<unsigned>(note));
    return line.str();
}

ControllerName midiControllerName(int controller) {
    if (controller < 0 || controller > 127) return {"unknown", false};
    const ControllerRow& row = kControllers[controller];
    return {row.name, row.isSwitch};
}

std::string_view switchStateName(int value) { return value >= 64 ? "On" : "Off"; }

} // namespace qem
