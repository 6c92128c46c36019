// Small Standard MIDI Files built byte by byte, for the reader's tests, the
// shipped demo file and the fuzzer's seeds.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace qem::test {

using Bytes = std::vector<std::uint8_t>;

// A file under construction: a header, then chunks with their lengths.
class SmfBuilder {
public:
    SmfBuilder& header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division) {
        append("MThd");
        be32(6);
        be16(format);
        be16(tracks);
        be16(division);
        return *this;
    }
    SmfBuilder& chunk(const char* id, const Bytes& body) {
        append(id);
        be32(static_cast<std::uint32_t>(body.size()));
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        return *this;
    }
    SmfBuilder& track(const Bytes& events) { return chunk("MTrk", events); }
    SmfBuilder& raw(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

private:
    void append(const char* s) {
        for (; *s != 0; ++s) bytes_.push_back(static_cast<std::uint8_t>(*s));
    }
    void be32(std::uint32_t v) {
        be16(static_cast<std::uint16_t>(v >> 16));
        be16(static_cast<std::uint16_t>(v));
    }
    void be16(std::uint16_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
        bytes_.push_back(static_cast<std::uint8_t>(v));
    }
    Bytes bytes_;
};

// Concatenates event byte groups into one track body.
inline Bytes events(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes text(std::uint8_t delta, std::uint8_t type, const std::string& s) {
    Bytes out{delta, 0xFF, type, static_cast<std::uint8_t>(s.size())};
    out.insert(out.end(), s.begin(), s.end());
    return out;
}

// The demo file shipped as tests/midi/demo.mid: format 1 at 96 ticks per
// quarter note, a tempo track going from 120 to 240 bpm at tick 192, and a
// track of notes (with running status), controllers, a program change, pitch
// bend, a SysEx message and a MIDI clock (escaped, as files carry
// real-time messages), which the "Running Mode" shows or hides.
inline Bytes demoMidiFile() {
    const Bytes tempoTrack = events({
        text(0, 0x03, "QEM Show MIDI demo"),
        {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}, // 4/4
        {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},       // 500000 us per quarter: 120 bpm
        {0x81, 0x40, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90}, // tick 192: 250000 us, 240 bpm
        {0x00, 0xFF, 0x2F, 0x00},
    });
    const Bytes noteTrack = events({
        text(0, 0x03, "Notes"),
        {0x00, 0xC0, 0x05},                         // program 5
        {0x00, 0xB0, 0x07, 0x64},                   // main volume 100
        {0x00, 0x90, 0x3C, 0x64},                   // C4 on
        {0x30, 0x40, 0x64},                         // tick 48, running status: E4 on
        {0x30, 0x3C, 0x00},                         // tick 96: C4 off as velocity 0
        {0x00, 0x40, 0x00},                         //          E4 off
        {0x60, 0xB0, 0x40, 0x7F},                   // tick 192: hold pedal on
        {0x00, 0xE0, 0x00, 0x40},                   // pitch bend centre
        {0x00, 0xF0, 0x05, 0x43, 0x10, 0x4C, 0x00, 0xF7}, // SysEx (Yamaha)
        {0x30, 0xF7, 0x01, 0xF8},                   // tick 240: a MIDI clock, escaped
        {0x30, 0x80, 0x3C, 0x40},                   // tick 288: note off C4, velocity 64
        {0x00, 0xB0, 0x40, 0x00},                   // hold pedal off
        {0x00, 0xFF, 0x2F, 0x00},
    });
    return SmfBuilder().header(1, 2, 96).track(tempoTrack).track(noteTrack).bytes();
}

} // namespace qem::test
