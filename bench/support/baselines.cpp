#include "bench/support/baselines.h"

#include "modules/midi/midi_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace qem::bench {
namespace {

// The texts that are not numbers, or null for a finite value.
const char* specialText(std::uint32_t bits) {
    if (((bits >> 23) & 0xFF) != 0xFF) return nullptr;
    if ((bits & 0x7FFFFF) == 0) return bits >> 31 ? "-1.#INF" : "1.#INF";
    if (bits == 0xFFC00000u) return "-1.#IND";
    return bits >> 31 ? "-1.#QNAN" : "1.#QNAN";
}

// Whether |v| lies exactly halfway between two ten-digit decimals whose
// first digit is at 10^exponent. v = m * 2^q; scaled by 10^(9 - exponent)
// it is m * 5^s * 2^(q + s), a half when the power of two left is 2^-1.
// (Above 10^10 no float is a tie.)
bool isTie(std::uint32_t bits, int exponent) {
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    const std::uint32_t m = biased != 0 ? (bits & 0x7FFFFF) | 0x800000u : bits & 0x7FFFFF;
    const int q = (biased != 0 ? biased : 1) - 150;
    const int s = 9 - exponent;
    return m != 0 && s >= 0 && std::countr_zero(m) + q + s == -1;
}

// The rule's text from ten digits (d[0] first) and the first digit's
// decimal exponent, written into one buffer and copied out once.
std::string shape(bool negative, const char* d, int exponent) {
    char out[24];
    char* p = out;
    if (negative) *p++ = '-';
    int last = 9; // the last digit kept: trailing zeros of the fraction go
    if (exponent >= -1 && exponent <= 9) {
        while (last > exponent && d[last] == '0') --last;
        if (exponent == -1) {
            *p++ = '0';
            *p++ = '.';
            std::memcpy(p, d, static_cast<std::size_t>(last + 1));
            p += last + 1;
        } else {
            std::memcpy(p, d, static_cast<std::size_t>(exponent + 1));
            p += exponent + 1;
            *p++ = '.';
            std::memcpy(p, d + exponent + 1, static_cast<std::size_t>(last - exponent));
            p += last - exponent;
        }
        return std::string(out, p);
    }
    while (last > 0 && d[last] == '0') --last;
    *p++ = d[0];
    *p++ = '.';
    std::memcpy(p, d + 1, static_cast<std::size_t>(last));
    p += last;
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    const int e = exponent < 0 ? -exponent : exponent;
    *p++ = static_cast<char>('0' + e / 100);
    *p++ = static_cast<char>('0' + e / 10 % 10);
    *p++ = static_cast<char>('0' + e % 10);
    return std::string(out, p);
}

// Eleven exact digits "d.dddddddddd" (the tie) rounded half up to ten,
// in place; the exponent moves when 9.999999999|5 carries.
void roundTieUp(char* d, int& exponent) {
    int i = 9;
    while (i >= 0 && d[i] == '9') d[i--] = '0';
    if (i >= 0) {
        ++d[i];
    } else {
        d[0] = '1';
        ++exponent;
    }
}

// d.ddddddddde+XX (or more digits) as the library writes it: the digits
// without the point into d, and the exponent.
void readScientific(const char* text, int digits, char* d, int& exponent) {
    d[0] = text[0];
    std::memcpy(d + 1, text + 2, static_cast<std::size_t>(digits - 1));
    exponent = std::atoi(std::strchr(text, 'e') + 1);
}

// The rule on a library's scientific form: print(magnitude, precision, out)
// writes "d.<precision digits>e<sign><exponent>" into out (40 chars).
template <class Print>
std::string byScientific(float v, Print print) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    if (const char* special = specialText(bits)) return special;
    if ((bits & 0x7FFFFFFF) == 0) return "0.";
    const double magnitude = std::fabs(static_cast<double>(v));
    char text[40], d[11];
    int exponent;
    print(magnitude, 9, text);
    readScientific(text, 10, d, exponent);
    if (isTie(bits, exponent)) {
        print(magnitude, 10, text);
        readScientific(text, 10, d, exponent); // the eleventh digit is the 5
        roundTieUp(d, exponent);
    }
    return shape(bits >> 31, d, exponent);
}

} // namespace

std::string floatTextBySnprintf(float v) {
    return byScientific(v, [](double m, int precision, char* out) { std::snprintf(out, 40, "%.*e", precision, m); });
}

std::string floatTextByToChars(float v) {
    return byScientific(v, [](double m, int precision, char* out) {
        *std::to_chars(out, out + 39, m, std::chars_format::scientific, precision).ptr = '\0';
    });
}

namespace {

constexpr const char* kNotes[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
constexpr const char* kQuarterFrame[8] = {"Frame Low Nibble",   "Frame High Nibble",   "Seconds Low Nibble",
                                          "Seconds High Nibble", "Minutes Low Nibble", "Minutes High Nibble",
                                          "Hours Low Nibble",   "Hours High Nibble & SMPTE Type"};

} // namespace

std::string midiTextBySnprintf(std::int32_t message) {
    const auto bits = static_cast<std::uint32_t>(message);
    const unsigned status = bits & 0xFF, d1 = (bits >> 8) & 0xFF, d2 = (bits >> 16) & 0xFF;
    char out[160];
    if (status >= 0xF0) {
        switch (status) {
        case 0xF0: std::snprintf(out, sizeof out, "SYSTEM: Begin SysEx|Vender ID:%u|Data:%u", d1, d2); break;
        case 0xF1:
            std::snprintf(out, sizeof out, "SYSTEM: MTC Quarter Frame (Unofficial)|%s|Value:%u",
                          kQuarterFrame[(d1 >> 4) & 7], d1 & 0xF);
            break;
        case 0xF2: std::snprintf(out, sizeof out, "SYSTEM: Song Position|Pos LSB:%u|Pos MSB:%u", d1, d2); break;
        case 0xF3: std::snprintf(out, sizeof out, "SYSTEM: Song Select|Song Number:%u", d1); break;
        case 0xF5: std::snprintf(out, sizeof out, "SYSTEM: Bus Select (Unofficial)|Bus Number:%u", d1); break;
        case 0xF6: return "SYSTEM: Tune Request";
        case 0xF7: return "SYSTEM: End Of SysEx";
        case 0xF8: return "SYSTEM: MIDI Clock";
        case 0xF9: return "SYSTEM: MIDI Tick (Unofficial)";
        case 0xFA: return "SYSTEM: Start Song";
        case 0xFB: return "SYSTEM: Continue Song";
        case 0xFC: return "SYSTEM: Stop Song";
        case 0xFE: return "SYSTEM: Active Sensing";
        case 0xFF: return "SYSTEM: System Reset";
        default: return "SYSTEM: UNKNOWN";
        }
        return out;
    }
    const unsigned channel = (status & 0xF) + 1;
    auto key = [&](const char* st, const char* last) {
        char note[8];
        if (d1 > 127) std::snprintf(note, sizeof note, "??");
        else std::snprintf(note, sizeof note, "%s%d", kNotes[d1 % 12], static_cast<int>(d1 / 12) - 1);
        std::snprintf(out, sizeof out, "Ch:%u|St:%s|Key:%u (%s)|%s:%u", channel, st, d1, note, last, d2);
    };
    switch (status >> 4) {
    case 0x8: key("NoteOff", "Vel"); break;
    case 0x9: key(d2 > 0 ? "NoteOn" : "NoteOff", "Vel"); break;
    case 0xA: key("KeyPres", "Pres"); break;
    case 0xB: {
        const ControllerName c = midiControllerName(static_cast<int>(d1));
        const int n = static_cast<int>(c.name.size());
        if (c.isSwitch)
            std::snprintf(out, sizeof out, "Ch:%u|St:CntrChange|Cntr:%u (%.*s)|Value:%u (%s)", channel, d1, n,
                          c.name.data(), d2, d2 >= 64 ? "On" : "Off");
        else
            std::snprintf(out, sizeof out, "Ch:%u|St:CntrChange|Cntr:%u (%.*s)|Value:%u", channel, d1, n, c.name.data(),
                          d2);
        break;
    }
    case 0xC: std::snprintf(out, sizeof out, "Ch:%u|St:ProgChange|Preset:%u|N/A:%u", channel, d1, d2); break;
    case 0xD: std::snprintf(out, sizeof out, "Ch:%u|St:ChnlPres|Pressure:%u|N/A:%u", channel, d1, d2); break;
    case 0xE: std::snprintf(out, sizeof out, "Ch:%u|St:PitchBend|BendLSB:%u|BendMSB:%u", channel, d1, d2); break;
    default:
        std::snprintf(out, sizeof out, "Ch:%u|DATA:%u|MsgByte1:%u|MsgByte2:%u", channel, status & 0xF0, d1, d2);
        break;
    }
    return out;
}

std::vector<float> randomBitPatterns(std::size_t n) {
    std::mt19937 rng(1);
    std::vector<float> v(n);
    for (float& f : v) f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    return v;
}

std::vector<float> everydayValues(std::size_t n) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> wide(-1000.0f, 1000.0f), knob(0.0f, 1.0f);
    std::uniform_int_distribution<int> step(-1000, 1000), small(-128, 127);
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        switch (i % 4) {
        case 0: v[i] = wide(rng); break;                                  // a signal or a parameter in +-1000
        case 1: v[i] = knob(rng); break;                                  // a knob's position
        case 2: v[i] = static_cast<float>(step(rng)) * 0.01f; break;     // a value stepped by hundredths
        default: v[i] = static_cast<float>(small(rng)); break;            // a whole number
        }
    }
    return v;
}

std::vector<std::int32_t> realisticMidiMix(std::size_t n) {
    auto pack = [](unsigned status, unsigned d1 = 0, unsigned d2 = 0) {
        return static_cast<std::int32_t>(status | (d1 << 8) | (d2 << 16));
    };
    std::mt19937 rng(5);
    std::uniform_int_distribution<unsigned> data(0, 127), channel(0, 15), pick(0, 99);
    std::vector<std::int32_t> out;
    out.reserve(n);
    while (out.size() < n) {
        const unsigned p = pick(rng), ch = channel(rng) & 3;
        if (p < 30) out.push_back(pack(0x90 | ch, data(rng), 1 + data(rng) % 127)); // note on
        else if (p < 45) out.push_back(pack(0x80 | ch, data(rng), 64));             // note off
        else if (p < 50) out.push_back(pack(0x90 | ch, data(rng), 0));              // note off as velocity 0
        else if (p < 70) out.push_back(pack(0xF8));                                 // clock
        else if (p < 80) out.push_back(pack(0xB0 | ch, data(rng), data(rng)));      // controllers, switches among them
        else if (p < 88) out.push_back(pack(0xE0 | ch, data(rng), data(rng)));      // pitch bend
        else if (p < 92) out.push_back(pack(0xD0 | ch, data(rng)));                 // channel pressure
        else if (p < 94) out.push_back(pack(0xA0 | ch, data(rng), data(rng)));      // key pressure
        else if (p < 95) out.push_back(pack(0xC0 | ch, data(rng)));                 // program change
        else if (p < 97) out.push_back(pack(0xFE));                                 // active sensing
        else if (p < 98) out.push_back(pack(0xF0, 0x43, 0x10));                     // SysEx start
        else if (p < 99) out.push_back(pack(0xF2, data(rng), data(rng)));           // song position
        else out.push_back(pack(0xFA + pick(rng) % 3));                             // start, continue, stop
    }
    return out;
}

} // namespace qem::bench
